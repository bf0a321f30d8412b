// Start-up, the notice, the exit confirmation and the ways out.
#include "application.h"
#include "daily_choice.h"
#include "datam.h"
#include "gbk.h"
#include "mainform.h"
#include "transaction.h"
#include "wayland.h"

#include <QCloseEvent>
#include <QDate>
#include <QScreen>
#include <QWindow>
#include <algorithm>

#include <iostream>

using namespace ui;

std::string DateLine(const QDate& d) {
    static const char* const weekdays[] = {" 星期一", " 星期二", " 星期三", " 星期四",
                                           " 星期五", " 星期六", " 星期日"};
    std::string text = QStringLiteral("%1年%2月%3日")
                           .arg(d.year(), 4, 10, QChar('0'))
                           .arg(d.month(), 2, 10, QChar('0'))
                           .arg(d.day(), 2, 10, QChar('0'))
                           .toStdString();
    text += weekdays[d.dayOfWeek() - 1];
    return gbk::fromUtf8(text);
}

namespace {

// UTF-8 text in GBK, each character GBK cannot hold shown as "?".
std::string shownAsGbk(std::string utf8) {
    std::string offending;
    while (!gbk::encodable(utf8, &offending)) {
        std::size_t at = offending.empty() ? std::string::npos : utf8.find(offending);
        if (at == std::string::npos) return "?";
        utf8.replace(at, offending.size(), "?");
    }
    return gbk::fromUtf8(utf8);
}

void placeBackdrop(Image* backdrop, const QWidget* button) {
    backdrop->move(button->x() - 2, button->y() - 2);
}

}  // namespace

void TmainForm::FormCreate() {
    Timer2.setEnabled(false);
    ClosePermission = 0;
    for (Control* c : std::initializer_list<Control*>{pdydlg, Panel_ZY, Panel_END, page1}) c->setAlign(Align::Client);
    for (QWidget* w : std::initializer_list<QWidget*>{Label1, c1, c2, im1, sp1}) w->hide();
}

void TmainForm::FormShow() {
    followWorkArea(screen());
    // Taken to another screen, the window fills that screen's work area.
    if (QWindow* w = windowHandle()) QObject::connect(w, &QWindow::screenChanged, this, [this](QScreen* s) { followWorkArea(s); });
    SpeedButton69->setCaption("知识学习"_gbk);
    layOutToWindow();
    laidOut_ = true;

    Lpy->setCaption(DateLine(QDate::currentDate()));

    BJS->setCaption("退出系统"_gbk);
    Lkssj->setCaption("00分00秒"_gbk);

    for (QWidget* w : std::initializer_list<QWidget*>{Image5, Image4, BT2, BT1}) w->hide();

    Timer2.setEnabled(true);
    hw.SecondsLeft() = 3;

    for (QWidget* w : std::initializer_list<QWidget*>{pdydlg, BJS, BEND, Image8, Image9}) w->hide();
    Pts->setGeometry(Pts->x(), 208, Pts->width(), 49);
    for (QWidget* w : std::initializer_list<QWidget*>{SpeedButton69, Image69, SpeedButton6, Image6}) w->hide();
    page1->setEnabled(true);
    page1->hide();
    Panel_cy->show();
}

void TmainForm::followWorkArea(QScreen* s) {
    QObject::disconnect(workAreaWatch_);
    if (!s) return;
    // A Wayland client can neither place itself nor learn the work area: it
    // asks the compositor for the whole screen, and resizeEvent lays the
    // controls out to the size given.
    if (fillScreenOnWayland(*this)) return;
    setGeometry(s->availableGeometry());
    // A dock or panel that appears, goes or moves later changes the work
    // area: the window follows it and lays its controls out again.
    workAreaWatch_ = QObject::connect(s, &QScreen::availableGeometryChanged, this, [this](const QRect& area) { setGeometry(area); });
}

void TmainForm::layOutToWindow() {
    const int W = screenWidth();

    BEND->move(W - BEND->width() - 3, 2);
    Image8->move(BEND->x() - 2, BEND->y() - 2);
    BJS->move(W - 110, BJS->y());
    SpeedButton69->move(BJS->x() - 110, SpeedButton69->y());
    SpeedButton6->move(SpeedButton69->x() - 110, SpeedButton6->y());
    placeBackdrop(Image9, BJS);
    placeBackdrop(Image69, SpeedButton69);
    placeBackdrop(Image6, SpeedButton6);

    CentrePanelCy();
    // The countdown sits in the middle of the bar, but on a narrow bar (1024
    // wide and less) it keeps left of the learning record's button, which
    // takes the slot left of the daily post.
    const int recordLeft = SpeedButton6->x() - 110;
    Panel8->move(std::min((W - Panel8->width()) / 2, recordLeft - 4 - Panel8->width()), Panel8->y());

    Imagefm0->setGeometry(0, Panel5->height(), Panel_ZY->width(), Panel_ZY->height());
    Imagefm0->clearPicture();
    TileCanvas(Imagefm0->canvas(), *Imicon0, Imagefm0->width(), Imagefm0->height());

    // The title sits at the same fraction of the width as on a 1024-wide screen.
    ldw0->move(W * kTitleLeft / 1024, ldw0->y());
    ldw1->move(ldw0->x() + 1, ldw1->y());
}

void TmainForm::FormClose(QCloseEvent* e) {
    // Requests from outside (the window manager, Alt+F4) are refused until
    // the program itself decides to close.
    if (ClosePermission == 0)
        e->ignore();
    else
        e->accept();
}

void TmainForm::Timer2Timer() {
    hw.SecondsLeft() -= 1;
    if (StartupCompleted) {
        CountdownTick();
        return;
    }
    if (hw.SecondsLeft() > 0) return;
    CompleteStartup();
}

void TmainForm::CompleteStartup() {
    Timer2.setEnabled(false);
    StartupCompleted = true;
    for (QWidget* w : std::initializer_list<QWidget*>{BJS, BEND, Image8, Image9}) w->show();

    try {
        datam.OpenDatabase();
    } catch (const data::DataError& e) {
        // What went wrong (a format found, a table or column missing, ...)
        // goes below the sentence and to stderr.
        std::cerr << e.what() << "\n";
        messageBox("数据库出错，请重新安装！"_gbk + "\n\n" + shownAsGbk(data::chineseDetail(e.what())), "系统提示"_gbk);
        terminate(1);
    }

    datam.RunQuery("SELECT zd2,zd5,zd6 FROM b5 where zd1=1"_gbk);
    if (!datam.a_ls.active()) {
        EndStartupWithDataError();
        return;
    }

    Pts->setCaption("");
    Pts->setGeometry(Pts->x(), 184, Pts->width(), 78);
    processMessages();

    for (QWidget* w : std::initializer_list<QWidget*>{SpeedButton69, Image69, SpeedButton6, Image6}) w->show();
    for (QWidget* w : std::initializer_list<QWidget*>{Image5, BEND, BT1, Label1, c2, c1, im1, sp1}) w->show();

    // Both remembered positions are read before c1Change replaces the result.
    const long long grade = datam.a_ls.fieldByName("zd5").asInteger();
    const long long unit = datam.a_ls.fieldByName("zd6").asInteger();
    c1->setItemIndex(static_cast<int>(grade));
    c1Change();
    c2->setItemIndex(static_cast<int>(unit));
    c2Change();
    if (Pts->caption() == "系统数据错!"_gbk) {  // the unit list could not be read
        EndStartupWithDataError();
        return;
    }

    setBT1("开始作业"_gbk, 112);
    BT2->setCaption("上次作业"_gbk);
    showBT2(true);
}

void TmainForm::EndStartupWithDataError() {
    // The start screen is not built: only the notice stays, with the one
    // button that confirms it, and confirming it ends the program.
    for (QWidget* w : std::initializer_list<QWidget*>{Label1, c1, c2, im1, sp1}) w->hide();
    Pts->setGeometry(Pts->x(), 208, Pts->width(), 49);
    ShowNotice("系统数据错!"_gbk);
    BT1->show();
    Image5->show();
}

bool TmainForm::UnitWithoutLearningPage() const { return sp1->hint() == "空"_gbk; }

int TmainForm::TodayJulianDay() const { return static_cast<int>(daily::clock().now().date().toJulianDay()); }

std::vector<std::string> TmainForm::GradeNames() const {
    std::vector<std::string> names;
    for (int i = 0; i < c1->count(); ++i) names.push_back(c1->item(i));
    return names;
}

void TmainForm::HideSelectors() {
    for (QWidget* w : std::initializer_list<QWidget*>{c1, c2, Label1, im1, sp1}) w->hide();
}

void TmainForm::CentrePanelCy() {
    Panel_cy->move((screenWidth() - Panel_cy->width()) / 2, (screenHeight() - Panel_cy->height()) / 2 + 50);
}

void TmainForm::setBT1(const std::string& gbkCaption, int width) {
    BT1->setCaption(gbkCaption);
    BT1->resize(width, BT1->height());
    Image5->resize(width + 3, Image5->height());
}

void TmainForm::showBT2(bool show) {
    BT2->setVisible(show);
    Image4->setVisible(show);
}

void TmainForm::ShowNotice(const std::string& gbkText) {
    CentrePanelCy();
    pdydlg->hide();
    Panel_cy->show();
    showBT2(false);
    setBT1(BT1->caption(), 228);
    Pts->setCaption(gbkText);
    BT1->setCaption("确    认"_gbk);
}

void TmainForm::ConfirmNotice() {
    if (Pts->caption() == "系统数据错!"_gbk) terminate(1);
    page1->setEnabled(true);
    Panel_cy->hide();
}

void TmainForm::BENDClick() {
    if (SBOX1->visible()) {
        CloseProgram();
        return;
    }
    ShowExitConfirmation();
}

void TmainForm::ShowExitConfirmation() {
    setBT1(BT1->caption(), 112);
    if (!c1->visible()) Pts->setCaption(ldw0->caption());
    BT1->setCaption("确认退出"_gbk);
    BT2->setCaption("放弃退出"_gbk);
    showBT2(true);
    CentrePanelCy();
    pdydlg->hide();
    Panel_cy->show();
}

void TmainForm::ExitWithCounters() {
    data::Transaction transaction(datam);
    datam.RunCommand("update b1 set zd7=zd7+1 where zd5<=3 and zd1 in (select zd3 from b3 where zd2="_gbk +
                     gbk::num(hw.HomeworkNo) + ")");
    transaction.commit();
    CloseProgram();
}

void TmainForm::CloseProgram() {
    ClosePermission = 2;
    close();
}
