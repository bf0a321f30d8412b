// Start-up: the layout at show time, the three-tick wait, the database
// check and the restored selection.
#include "form_fixture.h"

#include <QDate>

TEST_F(ProgramTest, LayoutOn1280x1024FollowsTheScreen) {
    create();
    form->show();
    EXPECT_EQ(form->geometry(), QRect(0, 0, 1280, 1024));
    const struct {
        const char* what;
        QWidget* widget;
        QPoint at;
    } places[] = {
        {"BEND", form->BEND, {1258, 2}},
        {"Image8", form->Image8, {1256, 0}},
        {"BJS", form->BJS, {1170, 4}},
        {"Image9", form->Image9, {1168, 2}},
        {"SpeedButton69", form->SpeedButton69, {1060, 4}},
        {"Image69", form->Image69, {1058, 2}},
        {"SpeedButton6", form->SpeedButton6, {950, 4}},
        {"Image6", form->Image6, {948, 2}},
        {"Panel_cy", form->Panel_cy, {405, 395}},
        {"Panel8", form->Panel8, {527, 2}},
        {"ldw0", form->ldw0, {457, 94}},
        {"ldw1", form->ldw1, {458, 96}},
        {"Imagefm0", form->Imagefm0, {0, 36}},
    };
    for (const auto& p : places) EXPECT_EQ(p.widget->pos(), p.at) << p.what;
    // Inside the window's border of one pixel.
    EXPECT_EQ(form->BEND->mapTo(form.get(), QPoint(0, 0)), QPoint(1259, 3));
    EXPECT_EQ(form->Panel_cy->mapTo(form.get(), QPoint(0, 0)), QPoint(406, 396));
    EXPECT_EQ(form->Image1->geometry(), QRect(0, 0, 1278, 120));
    EXPECT_EQ(form->Image1->mapTo(form.get(), QPoint(0, 0)), QPoint(1, 1));
    EXPECT_EQ(form->Pts->geometry(), QRect(29, 208, 268, 49));
    EXPECT_EQ(u8(form->SpeedButton69->caption()), "知识学习");
    EXPECT_EQ(u8(form->BJS->caption()), "退出系统");
    EXPECT_EQ(u8(form->Lkssj->caption()), "00分00秒");
    EXPECT_EQ(form->Lpy->caption(), DateLine(QDate::currentDate()));
}

// A dock or panel takes part of the screen: the window fills what is left
// and every control the layout places lies wholly inside it, the corner
// button at its right-hand corner.
TEST_F(ProgramTest, LayoutFollowsTheWorkAreaBesideADock) {
    const struct {
        const char* dock;
        QRect area;
    } cases[] = {
        {"left", {64, 0, 1216, 1024}},  {"right", {0, 0, 1216, 1024}},    {"top", {0, 48, 1280, 976}},
        {"bottom", {0, 0, 1280, 976}},  {"1024x768 less a dock", {0, 0, 960, 768}},
    };
    start();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.dock);
        form->setGeometry(c.area);  // what the window does when the work area changes
        const QRect inside = form->clientArea()->rect();
        const std::pair<const char*, QWidget*> placed[] = {
            {"BEND", form->BEND},       {"BJS", form->BJS},           {"SpeedButton69", form->SpeedButton69},
            {"SpeedButton6", form->SpeedButton6}, {"SpeedButtonJL", form->SpeedButtonJL},
            {"Panel_cy", form->Panel_cy}, {"Panel8", form->Panel8}, {"ldw0", form->ldw0}};
        for (const auto& [name, w] : placed) {
            const QRect at(w->mapTo(form->clientArea(), QPoint(0, 0)), w->size());
            EXPECT_TRUE(inside.contains(at)) << name << " at " << at.x() << "," << at.y();
        }
        EXPECT_EQ(form->BEND->x(), c.area.width() - 22);
        EXPECT_EQ(form->BJS->x(), c.area.width() - 110);
        EXPECT_EQ(form->Panel_cy->pos(), QPoint((c.area.width() - 469) / 2, (c.area.height() - 333) / 2 + 50));
        EXPECT_EQ(form->Imagefm0->size(), form->Panel_ZY->size());
        // The countdown is never under the learning record's button.
        EXPECT_LE(form->Panel8->x() + form->Panel8->width(), form->SpeedButtonJL->x());
        if (c.area.width() >= 1216) {
            EXPECT_EQ(form->Panel8->x(), (c.area.width() - form->Panel8->width()) / 2);
        }
    }
}

TEST_F(ProgramTest, DateLineNamesTheWeekday) {
    const struct {
        QDate date;
        const char* line;
    } cases[] = {
        {{2026, 12, 6}, "2026年12月06日 星期日"}, {{2026, 12, 7}, "2026年12月07日 星期一"},
        {{2027, 1, 5}, "2027年01月05日 星期二"},  {{2024, 2, 29}, "2024年02月29日 星期四"},
        {{2025, 10, 10}, "2025年10月10日 星期五"}, {{2026, 8, 1}, "2026年08月01日 星期六"},
    };
    for (const auto& c : cases) EXPECT_EQ(u8(DateLine(c.date)), c.line) << c.line;
}

TEST_F(ProgramTest, StartScreenAppearsOnTheThirdTickNotBefore) {
    create();
    form->show();
    for (int t = 1; t <= 2; ++t) {
        tick();
        for (QWidget* w : {static_cast<QWidget*>(form->BT1), static_cast<QWidget*>(form->BT2),
                           static_cast<QWidget*>(form->BJS), static_cast<QWidget*>(form->BEND)})
            EXPECT_FALSE(w->isVisible()) << "tick " << t;
        EXPECT_FALSE(datam->ADOConnection1.connected());
    }
    tick();
    EXPECT_TRUE(datam->ADOConnection1.connected());
    EXPECT_FALSE(form->Timer2.enabled());
    for (QWidget* w : {static_cast<QWidget*>(form->BT1), static_cast<QWidget*>(form->BT2),
                       static_cast<QWidget*>(form->BJS), static_cast<QWidget*>(form->BEND),
                       static_cast<QWidget*>(form->c1), static_cast<QWidget*>(form->c2),
                       static_cast<QWidget*>(form->sp1)})
        EXPECT_TRUE(w->isVisible());
    EXPECT_EQ(u8(form->BT1->caption()), "开始作业");
    EXPECT_EQ(u8(form->BT2->caption()), "上次作业");
    EXPECT_EQ(form->BT1->width(), 112);
    EXPECT_EQ(form->Image5->width(), 115);
    EXPECT_EQ(form->Pts->geometry(), QRect(29, 184, 268, 78));
    EXPECT_TRUE(form->Pts->caption().empty());
}

TEST_F(ProgramTest, RestoresTheRememberedGradeAndUnit) {
    const struct {
        const char* setup;
        int grade;
        int unit;
        const char* unitName;
    } cases[] = {
        {"update b5 set zd5=3, zd6=1 where zd1=1", 3, 1, "图形计数"},
        {"update b5 set zd5=11, zd6=0 where zd1=1", 11, 0, "模拟试卷一"},
        {"delete from b5", 0, 0, "数一数"},                      // no row: both read 0
        {"update b5 set zd5=15, zd6=0 where zd1=1", -1, -1, ""},  // no such grade
        {"update b5 set zd5=3, zd6=9 where zd1=1", 3, -1, ""},    // no such unit
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.setup);
        freshDatabase();
        dbExec(c.setup);
        start();
        EXPECT_EQ(form->c1->itemIndex(), c.grade);
        EXPECT_EQ(form->c2->itemIndex(), c.unit);
        const std::string name = gbk::fromUtf8(c.unitName);
        EXPECT_EQ(gbk::copy(form->c2->text(), 1, static_cast<long>(name.size())), name);
        EXPECT_TRUE(errors.empty());
    }
}

TEST_F(ProgramTest, AnUnusableDatabaseEndsTheProgramWithAMessage) {
    const struct {
        const char* what;
        std::function<void(ProgramTest&)> damage;
    } cases[] = {
        {"missing", [](ProgramTest& t) { QFile::remove(QString::fromStdString(t.dbPath)); }},
        {"not a database",
         [](ProgramTest& t) {
             QFile f(QString::fromStdString(t.dbPath));
             ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
             f.write("this is not a database\n");
         }},
        {"another password",
         [](ProgramTest& t) { t.dbExec("update dbinfo set value='00' where name='password-sha256'"); }},
        {"damaged",
         [](ProgramTest& t) {
             QFile f(QString::fromStdString(t.dbPath));
             ASSERT_TRUE(f.open(QIODevice::ReadWrite));
             f.resize(f.size() / 3);
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        freshDatabase();
        c.damage(*this);
        create();
        form->show();
        tick(2);
        EXPECT_EQ(endsWith([this] { tick(); }), 1);
        ASSERT_EQ(messageBoxes.size(), 1u);
        // The sentence, then what was wrong.
        EXPECT_EQ(messageBoxes[0].first.rfind("数据库出错，请重新安装！\n\n", 0), 0u) << messageBoxes[0].first;
        EXPECT_GT(messageBoxes[0].first.size(), std::string("数据库出错，请重新安装！\n\n").size());
        EXPECT_EQ(messageBoxes[0].second, "系统提示");
    }
}

TEST_F(ProgramTest, AFailingStatementShowsTheNoticeAndConfirmingEndsTheProgram) {
    start();
    datam->RunQuery("select * from no_such_table"_gbk);
    EXPECT_EQ(u8(form->Pts->caption()), "系统数据错!");
    EXPECT_EQ(u8(form->BT1->caption()), "确    认");
    EXPECT_EQ(form->BT1->width(), 228);
    EXPECT_EQ(form->Image5->width(), 231);
    EXPECT_FALSE(form->BT2->isVisible());
    EXPECT_TRUE(form->Panel_cy->isVisible());
    EXPECT_EQ(endsWith([this] { form->BT1Click(); }), 1);
}
