// The unit learning page, the daily post and the question analysis: what
// they show, what they write, bad picture tags, and requests that arrive
// while a page is composed or shown.
#include "report_fixture.h"

#include <QMouseEvent>

namespace {

bool blue(QRgb c) { return qBlue(c) > 150 && qRed(c) < 60 && qGreen(c) < 60; }

// Separate runs of blue rows in column x of the page image.
int blueBlocks(const QImage& page, int x) {
    int blocks = 0;
    bool in = false;
    for (int y = 0; y < page.height(); ++y) {
        const bool b = blue(page.pixel(x, y));
        blocks += b && !in ? 1 : 0;
        in = b;
    }
    return blocks;
}

}  // namespace

class LearningTest : public ReportTest {
public:
    // Unit `unit` of grade 3 gets this text (UTF-8 lines); its pictures are
    // b6 rows added with b6Picture.
    void unitText(int unit, const std::vector<std::string>& lines) {
        std::string text;
        for (const std::string& l : lines) text += l + "\r\n";
        dbExec("update b4 set zd5='" + text + "' where zd3=3 and zd4=" + std::to_string(unit));
    }
    void b6Picture(int grade, int owner, int number, const std::string& blobSql) {
        dbExec("insert into b6 (zd1,zd2,zd3,zd4,zd5) values ((select max(zd1)+1 from b6)," + std::to_string(grade) +
               "," + std::to_string(owner) + "," + std::to_string(number) + "," + blobSql + ")");
    }
    std::string blueJpeg() {
        putQuestion({99999, "q", 'A', "", 100, 0});
        return "(select zd12 from b1 where zd1=99999)";
    }
    void chooseUnit(int grade, int unit) {
        dbExec("update b5 set zd5=" + std::to_string(grade) + ", zd6=" + std::to_string(unit) + " where zd1=1");
    }
    std::vector<std::string> pageLines() { return reportLines(); }
    long long shown(int post) { return dbInt("select zd4 from b4 where zd1=" + std::to_string(post)); }
    void back() { handle([this] { form->BJSClick(); }); }
};

TEST_F(LearningTest, TheUnitPageFromTheSmallButtonAndFromTheToolButton) {
    unitText(0, {"甲", "<pic3>", "乙", "<pic3>word"});
    unitText(2, {"<pic3>"});  // a unit marked "空" still has its text read
    b6Picture(3, 0, 3, blueJpeg());
    b6Picture(3, 2, 3, blueJpeg());
    chooseUnit(3, 0);
    start();
    ASSERT_TRUE(form->sp1->enabled());
    handle([this] { form->sp1->click(); });
    EXPECT_TRUE(errors.empty()) << errors.front();
    EXPECT_TRUE(form->SBOX1->isVisible());
    EXPECT_EQ(blueBlocks(form->Image2->picture(), 200), 2);  // the same picture twice, "word" not drawn
    EXPECT_EQ(pageLines(), (std::vector<std::string>{"甲", "<pic3>", "乙", "<pic3>word"}));
    back();
    EXPECT_FALSE(form->SBOX1->isVisible());
    EXPECT_TRUE(form->Panel_cy->isVisible());
    EXPECT_EQ(u8(form->BJS->caption()), "退出系统");

    form->c2->setItemIndex(2);
    form->c2Change();
    ASSERT_EQ(u8(form->sp1->hint()), "空");
    ASSERT_FALSE(form->sp1->enabled());
    handle([this] { form->SpeedButton69Click(); });  // "知识学习"
    EXPECT_TRUE(errors.empty());
    EXPECT_TRUE(form->SBOX1->isVisible());
    EXPECT_TRUE(form->SBOX1->hasFocus());
    EXPECT_EQ(blueBlocks(form->Image2->picture(), 200), 1);
}

TEST_F(LearningTest, APictureTagThatNamesNoPictureEndsThePageAndNothingIsLost) {
    b6Picture(3, 0, 4, "X''");            // an empty picture
    b6Picture(3, 0, 5, "X'48656C6C6F'");  // not a JPEG
    const long long questions = dbInt("select count(*) from b1");
    for (const char* tag : {"<pic1 or 1=1>", "<pic1;drop table b1>", "<pic>", "<pic1234567890>", "<pic7>", "<pic4>",
                            "<pic5>"}) {
        SCOPED_TRACE(tag);
        freshDatabase();
        b6Picture(3, 0, 4, "X''");
        b6Picture(3, 0, 5, "X'48656C6C6F'");
        unitText(0, {"甲", tag, "乙"});
        chooseUnit(3, 0);
        start();
        handle([this] { form->sp1->click(); });
        ASSERT_EQ(errors.size(), 1u);
        EXPECT_NE(errors[0].find("图片"), std::string::npos) << errors[0];
        EXPECT_FALSE(form->SBOX1->isVisible());
        EXPECT_EQ(u8(form->BJS->caption()), "返  回");
        EXPECT_EQ(dbInt("select count(*) from b1"), questions);
        back();
        EXPECT_EQ(u8(form->BJS->caption()), "退出系统");
        EXPECT_TRUE(form->Panel_cy->isVisible());
        EXPECT_FALSE(form->ComposingPage());
    }
}

TEST_F(LearningTest, DailyPostsTakeTurnsLeastShownFirst) {
    dbExec("update b4 set zd4=9 where zd1=201");
    dbExec("update b4 set zd4=4 where zd1=202");
    dbExec("update b4 set zd4=2 where zd1 in (203, 204)");
    chooseUnit(3, 0);
    start();
    std::vector<std::string> firstLines;
    for (int request = 1; request <= 2; ++request) {
        SCOPED_TRACE(request);
        handle([this] { form->SpeedButton6Click(); });
        EXPECT_TRUE(errors.empty());
        EXPECT_TRUE(form->SBOX1->isVisible());
        EXPECT_EQ(u8(form->BJS->caption()), "返  回");
        if (request == 1) firstLines = pageLines();
        // A request while the post shows changes nothing.
        handle([this] { form->SpeedButton6Click(); });
        EXPECT_EQ(shown(203) + shown(204), 4 + request);
        back();
        EXPECT_EQ(u8(form->BJS->caption()), "退出系统");
    }
    EXPECT_EQ(shown(203), 3);
    EXPECT_EQ(shown(204), 3);
    EXPECT_EQ(shown(202), 4);
    EXPECT_NE(pageLines(), firstLines);  // the other post the second time
}

TEST_F(LearningTest, AnEmptyUnitShowsTheFixedPostAlsoFromStart) {
    chooseUnit(3, 2);  // "空"
    start();
    const long long before = shown(201);
    handle([this] { form->BT1Click(); });  // "开始作业"
    EXPECT_TRUE(errors.empty());
    EXPECT_EQ(shown(201), before + 1);
    EXPECT_EQ(form->hw.QuestionCount, 0);  // no homework drawn
    EXPECT_FALSE(form->page1->isVisible());
    std::string shownText;
    for (const std::string& line : form->m_pd->lines()) shownText += (shownText.empty() ? "" : "\r\n") + line;
    EXPECT_EQ(shownText, gbk::fromUtf8(dbText("select zd5 from b4 where zd1=201")));
}

TEST_F(LearningTest, WithoutPostsThePageHasItsHeadAndFootOnly) {
    dbExec("update b4 set zd3=13 where zd3=12");
    chooseUnit(3, 0);
    start();
    handle([this] { form->SpeedButton6Click(); });
    EXPECT_TRUE(errors.empty());
    EXPECT_TRUE(form->SBOX1->isVisible());
    EXPECT_EQ(form->m_pd->lineCount(), 0u);
    EXPECT_EQ(form->Image2->width(), 815);  // an empty page fills the box
}

TEST_F(LearningTest, AQueuedSecondRequestWaitsForThePageInHand) {
    chooseUnit(3, 0);
    start();
    const long long before = shown(202) + shown(203) + shown(204) + shown(201);
    queueClick(form->SpeedButton6);  // arrives while the first post is composed
    queueClick(form->BJS);           // so does a click on "返  回"
    handle([this] { form->SpeedButton6Click(); });
    QCoreApplication::processEvents();
    EXPECT_EQ(shown(202) + shown(203) + shown(204) + shown(201), before + 1);
    EXPECT_EQ(u8(form->RememberedCaption()), "退出系统");
    EXPECT_EQ(u8(form->BJS->caption()), "返  回");
    EXPECT_TRUE(form->SBOX1->isVisible());
    back();
    EXPECT_EQ(u8(form->BJS->caption()), "退出系统");
}

class AnalysisTest : public LearningTest {
public:
    // A homework of grade 3 graded six times, its answers shown.
    void showAnswers() {
        startHomework();
        answerRight(18);
        for (int grading = 1; grading <= 6; ++grading) {
            finishAfter(10);
            if (grading < 6) form->BT1Click();
        }
        form->BT1Click();
    }
    void analysisOfSlot1(const std::string& clearUtf8) {
        dbExec("update b1 set zd14='" + scramble(gbk::fromUtf8(clearUtf8), 3) + "' where zd1=" +
               std::to_string(form->hw.QuestionIds(1)));
    }
    ui::SpeedButton& button(int slot) { return *form->hw.AnalysisButtons[static_cast<std::size_t>(slot - 1)]; }
};

TEST_F(AnalysisTest, TheAnalysisLiesOverTheHomeworkAndGoesBackToIt) {
    showAnswers();
    putPicture(form->hw.QuestionIds(1), "zd15", flatPicture(200, 100));
    ASSERT_TRUE(button(1).isVisible());
    const std::string longText(9000, 'x');
    const struct {
        std::string clear;
        std::size_t lines;
        int pictures;
    } cases[] = {
        {"分析", 0, 0},                                   // four bytes: head and foot only
        {"分析" + longText, 1, 0},                        // cut after 8000 bytes
        {"分析甲\r\n<picture>\r\n乙\r\n<picture>", 4, 2},  // one picture, twice
        {"分析<picture>x\r\n<picture> ", 2, 1},            // trailing text makes a line of text; trailing blanks go
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.clear.substr(0, 20));
        analysisOfSlot1(c.clear);
        handle([this] { button(1).click(); });
        EXPECT_TRUE(errors.empty()) << errors.front();
        EXPECT_EQ(form->m_pd->lineCount(), c.lines);
        if (c.clear.size() > 9000) {
            EXPECT_EQ(form->m_pd->lines()[0].size(), 8000u);
        }
        EXPECT_EQ(blueBlocks(form->Image2->picture(), 200), c.pictures);
        EXPECT_EQ(form->SBOX1->y(), form->page1->y() + 32);  // the tabs stay in view
        // Another analysis, or a post, while this one shows: nothing.
        handle([this] { button(2).click(); });
        handle([this] { form->SpeedButton6Click(); });
        EXPECT_EQ(form->m_pd->lineCount(), c.lines);
        back();
        EXPECT_FALSE(form->SBOX1->isVisible());
        EXPECT_TRUE(form->page1->isVisible() && form->page1->isEnabled());
        EXPECT_EQ(u8(form->BJS->caption()), "退出作业");
        EXPECT_EQ(u8(form->SpeedButton69->caption()), "打印预览");
    }
}
