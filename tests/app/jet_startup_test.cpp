// The window started on a Jet 4.0 data file: converted at the start-up
// completion, then used as usual; a bad Jet file gets the database error box
// with what was wrong.
#include "form_fixture.h"

#include "inputs.h"
#include "jet_fixtures.h"

#include <QFile>

#include <filesystem>

namespace {

class JetStartUpTest : public ProgramTest {
public:
    void SetUp() override {
        if (!jetfixtures::present()) GTEST_SKIP() << jetfixtures::skipMessage();
        ProgramTest::SetUp();
    }
    std::string databaseToCopy() const override { return jetfixtures::path(jetFile); }

    // Starts again on the same files, as a second run of the program.
    void restart() {
        form.reset();
        datam.reset();
        start();
    }

    bool exists(const std::string& suffix) const { return std::filesystem::exists(dbPath + suffix); }

    static std::string readFile(const std::string& path) {
        QFile f(QString::fromStdString(path));
        return f.open(QIODevice::ReadOnly) ? f.readAll().toStdString() : std::string();
    }

    std::string jetFile = "kelvma-full.mdb";
};

TEST_F(JetStartUpTest, TheFullFileIsConvertedAndAHomeworkWithPicturesIsDrawnAndGraded) {
    const std::string jet = readFile(dbPath);
    start();
    EXPECT_TRUE(messageBoxes.empty());
    EXPECT_TRUE(errors.empty());
    EXPECT_EQ(u8(form->BT1->caption()), "开始作业");
    EXPECT_EQ(readFile(dbPath + ".jet4"), jet);
    EXPECT_EQ(dbInt("select count(*) from b1"), 266);

    // 三年级上, its second unit: a homework of 20 questions, some with pictures.
    form->c1->setItemIndex(3);
    handle([this] { form->c1Change(); });
    form->c2->setItemIndex(1);
    handle([this] { form->c2Change(); });
    handle([this] { form->BT1Click(); });
    ASSERT_TRUE(errors.empty()) << errors[0];
    ASSERT_EQ(form->hw.QuestionCount, 20);
    EXPECT_GE(dbInt("select count(*) from b1 where zd11=1 and zd1 in (select zd3 from b3)"), 5);
    for (int slot = 1; slot <= 20; ++slot) {
        ASSERT_NE(form->hw.CardImages.at(static_cast<std::size_t>(slot - 1)), nullptr);
        const int key = form->hw.AnswerKeys(slot);
        ASSERT_GE(key, 0) << slot;
        // 15 right, 5 wrong: 75 points.
        const int option = slot <= 15 ? key : (key + 1) % 4;
        form->hw.AnswerGroups.at(static_cast<std::size_t>(slot - 1))->setItemIndex(option);
    }
    form->hw.SecondsLeft() -= 300;
    handle([this] { form->BJSClick(); });
    EXPECT_TRUE(errors.empty());
    EXPECT_EQ(dbInt("select zd6 from b2 where zd1=1"), 75);
    EXPECT_EQ(dbInt("select sum(zd6) from b3"), 15);
    EXPECT_EQ(dbText("select zd5 || ',' || zd6 from b5 where zd1=1"), "3,1");

    // The next run opens the converted file as it is and restores the unit.
    restart();
    EXPECT_TRUE(messageBoxes.empty());
    EXPECT_FALSE(exists(".jet4.1"));
    EXPECT_EQ(readFile(dbPath + ".jet4"), jet);
    EXPECT_EQ(form->c1->itemIndex(), 3);
    EXPECT_EQ(form->c2->itemIndex(), 1);
    EXPECT_EQ(dbInt("select zd6 from b2 where zd1=1"), 75);
}

TEST_F(JetStartUpTest, ABadJetFileGetsTheDatabaseErrorBoxSayingWhatIsWrong) {
    jetFile = "small-no-b6.mdb";
    freshDatabase();
    const std::string jet = readFile(dbPath);
    create();
    form->show();
    tick(2);
    EXPECT_EQ(endsWith([this] { tick(); }), 1);
    ASSERT_EQ(messageBoxes.size(), 1u);
    EXPECT_EQ(messageBoxes[0].first,
              "数据库出错，请重新安装！\n\n" + dbPath + "：Access 数据库里没有表 b6");
    EXPECT_EQ(messageBoxes[0].second, "系统提示");
    EXPECT_EQ(readFile(dbPath), jet);
    EXPECT_FALSE(exists(".jet4"));
}

}  // namespace
