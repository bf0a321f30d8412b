// The homework report: its lines, where pages are cut, what a page shows,
// and the text file it leaves.
#include "report_fixture.h"

#include "page_markup.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

namespace {

const std::string kHead[] = {"`11Tarvix作业明细", "",
                             "`10作业开始时间: 9时5分0秒；作业完成时间: 10时1分7秒；用时：61分 1秒；   作业成绩：85 分", "",
                             "`01选择题 (分数: 100 分，得分：85分)", ""};

std::vector<std::string> head() { return {std::begin(kHead), std::end(kHead)}; }

std::vector<std::string> textLines(int n, const std::string& text = "x") { return std::vector<std::string>(n, text); }

std::vector<std::string> operator+(std::vector<std::string> a, const std::vector<std::string>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

}  // namespace

TEST_F(ReportTest, EveryQuestionWithItsAnswersVerdictAndAnalysis) {
    putRecord("2026-12-07 09:05:00", "2026-12-07 10:01:07", 3661, 85);
    putQuestion({90001, "甲题\r\n<picture>\r\nA) 1  B) 2   ", 'B', "分析先想\r\n<picture>\r\n再算", 40, 30});
    putQuestion({90002, "<picture>\r\n乙题", 'C', "分析", 0, 0});  // picture tag first; a bare four-byte lead
    putQuestion({90003, "丙题", 'A', "", 0, 0});
    putSlots({{90001, "B"}, {90002, "@"}, {90003, "D"}});
    openLastHomework();
    const std::vector<std::string> questions = {
                                 "`00 1、甲题", "<picture>090001", "A) 1  B) 2", "",
                                 "标准答案: B     你选择的答案: B   结果:(√)", "",
                                 "试题分析：", "", "先想", "<picture>190001", "再算", "",
                                 "`00 2、<picture>", "乙题", "",
                                 "标准答案: C     你选择的答案: ＿   结果:(×)", "",
                                 "`00 3、丙题", "",
                                 "标准答案: A     你选择的答案: D   结果:(×)", ""};
    EXPECT_EQ(reportLines(), head() + questions);
    EXPECT_TRUE(errors.empty()) << errors.front();
    EXPECT_EQ(form->PageCount(), 1);
    EXPECT_TRUE(form->SBOX1->isVisible());
    EXPECT_EQ(u8(form->BJS->caption()), "返  回");
    EXPECT_EQ(u8(form->SpeedButton69->caption()), "打印作业");
}

TEST_F(ReportTest, NumbersAndEmptySlots) {
    const struct {
        int questions;
        std::vector<std::string> numbered;  // the numbered lines, in order
    } cases[] = {
        {0, {}},  // no homework drawn yet: every slot is empty
        {1, {"`00 1、题"}},
        {9, {"`00 1、题", "`00 2、题", "`00 3、题", "`00 4、题", "`00 5、题", "`00 6、题", "`00 7、题", "`00 8、题", "`00 9、题"}},
        {10, {"`00 1、题", "`00 2、题", "`00 3、题", "`00 4、题", "`00 5、题", "`00 6、题", "`00 7、题", "`00 8、题",
              "`00 9、题", "`0010、题"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.questions);
        freshDatabase();
        putRecord("2026-12-07 09:05:00", "2026-12-07 10:01:07", 3661, 85);
        std::vector<Slot> filled;
        for (int n = 1; n <= c.questions; ++n) {
            putQuestion({90000 + n, "题", 'A', "", 0, 0});
            filled.push_back({90000 + n, "A"});
        }
        putSlots(filled);
        openLastHomework();
        std::vector<std::string> numbered;
        for (const std::string& line : reportLines())
            if (line.starts_with("`00")) numbered.push_back(line);
        EXPECT_EQ(numbered, c.numbered);
        const std::vector<std::string> lines = reportLines();
        EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.begin() + 6), head());
    }
    // A full homework of 20 ends with question 20 and its verdict.
    freshDatabase();
    std::vector<Slot> filled;
    for (int n = 1; n <= 20; ++n) {
        putQuestion({90000 + n, "题", 'A', "", 0, 0});
        filled.push_back({90000 + n, "@"});
    }
    putSlots(filled);
    openLastHomework();
    const std::vector<std::string> lines = reportLines();
    ASSERT_GE(lines.size(), 4u);
    EXPECT_EQ(lines[lines.size() - 4], "`0020、题");
    EXPECT_EQ(lines[lines.size() - 2], "标准答案: A     你选择的答案: ＿   结果:(×)");
}

TEST_F(ReportTest, PagesAreCutWhereAScreenPageEnds) {
    putQuestion({90001, "q", 'A', "", 100, 0});
    putQuestion({90002, "q", 'A', "", 120, 0});
    putQuestion({90003, "q", 'A', "", 1200, 0});
    const struct {
        const char* what;
        std::vector<std::string> lines;
        const char* table;
    } cases[] = {
        {"120 text lines", textLines(120), "@1,0|@2,51|@3,102|"},
        {"blank lines at a page top take no room", textLines(5, "") + textLines(60), "@1,0|@2,56|"},
        {"blank lines later do", textLines(1) + textLines(5, "") + textLines(60), "@1,0|@2,51|"},
        {"100 pixels at 2900 fit", textLines(45) + std::vector<std::string>{"<picture>090001"} + textLines(3),
         "@1,0|@2,46|"},
        {"120 pixels at 2900 start the next page", textLines(45) + std::vector<std::string>{"<picture>090002"} + textLines(3),
         "@1,0|@2,45|"},
        {"a picture taller than a page has one of its own",
         textLines(1) + std::vector<std::string>{"<picture>090003"} + textLines(2), "@1,0|@2,1|@3,2|"},
        {"a tall picture at the top stays there", std::vector<std::string>{"<picture>090003", "x"}, "@1,0|@2,1|"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        paginate(c.lines);
        EXPECT_TRUE(errors.empty());
        EXPECT_EQ(pageTable(), c.table);
        EXPECT_EQ(form->cyl->count(), form->PageCount());
        EXPECT_EQ(form->CurrentPage, 1);
    }
}

TEST_F(ReportTest, APictureIdThatIsNotANumberStopsTheReport) {
    paginate({"x", "<picture>0abc", "y"});
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_NE(errors[0].find("图片"), std::string::npos) << errors[0];
    EXPECT_EQ(form->PageCount(), 0);
    EXPECT_FALSE(form->SBOX1->isVisible());
}

TEST_F(ReportTest, TextIsPlacedAndShrunkByItsEstimatedWidth) {
    const struct {
        int x, width, size, align;
        std::size_t bytes;
        int drawX, drawSize;
    } cases[] = {
        {100, 2360, 40, 0, 20, 115, 40},    // left
        {0, 2360, 40, 1, 20, 980, 40},      // centred: (2360 - 400) / 2
        {0, 2400, 40, 2, 22, 1945, 40},     // right: 2400 - 440 - 15 ("第2页,共3页")
        {100, 2360, 40, 0, 116, 115, 40},   // 116 x 20 + 30 = 2350 < 2360 still fits
        {100, 2360, 40, 0, 117, 115, 40},   // 2370: shrinks to Round(2330 / 117 x 2) = 40
        {100, 2360, 40, 1, 120, 115, 39},   // too wide: left-aligned whatever the alignment
        {0, 2360, 40, 2, 400, 15, 12},      // 11.65 rounds to 12
        {0, 2360, 50, 0, 93, 15, 50},       // 2325 + 30 < 2360
        {0, 2360, 50, 0, 94, 15, 50},       // 2380: Round(49.57) = 50
        {0, 2360, 50, 0, 95, 15, 49},
        {0, 100, 40, 1, 0, 15, 40},         // nothing to draw
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.bytes) + " bytes, align " + std::to_string(c.align));
        const pages::TextPlacement at = pages::fitText(c.x, c.width, c.size, c.align, c.bytes);
        EXPECT_EQ(at.x, c.drawX);
        EXPECT_EQ(at.size, c.drawSize);
    }
}

namespace {

// Pixels of a row band of the page image that are clearly of one colour.
int countPixels(const QImage& page, int top, int bottom, bool (*is)(QRgb)) {
    int n = 0;
    for (int y = top; y < bottom; ++y)
        for (int x = 0; x < page.width(); ++x) n += is(page.pixel(x, y)) ? 1 : 0;
    return n;
}

bool red(QRgb c) { return qRed(c) > 200 && qGreen(c) < 80 && qBlue(c) < 80; }
bool blue(QRgb c) { return qBlue(c) > 150 && qRed(c) < 60 && qGreen(c) < 60; }

}  // namespace

TEST_F(ReportTest, APageShowsItsLinesAndPictures) {
    // Lines at body positions 200 (picture, 300 pixels), 1150, 1210.
    putQuestion({90001, "q", 'A', "", 300, 0});
    paginate({"<picture>090001", "标准答案: A     你选择的答案: B   结果:(×)", "标准答案: A     你选择的答案: A   结果:(√)"});
    const QImage page = form->Image2->picture();
    ASSERT_EQ(page.size(), QSize(800, 1097));
    // The picture fills rows 65 to 364 from column 65.
    EXPECT_TRUE(blue(page.pixel(150, 65)));
    EXPECT_TRUE(blue(page.pixel(150, 364)));
    EXPECT_FALSE(blue(page.pixel(150, 366)));
    EXPECT_FALSE(blue(page.pixel(63, 200)));
    // A wrong answer is red, a right one black; rows 371..384 and 390..403.
    EXPECT_GT(countPixels(page, 371, 384, red), 50);
    EXPECT_EQ(countPixels(page, 390, 403, red), 0);
}

TEST_F(ReportTest, ATallPictureIsScaledIntoItsPage) {
    putQuestion({90003, "q", 'A', "", 1200, 0});
    paginate({"<picture>090003"});
    const QImage page = form->Image2->picture();
    EXPECT_TRUE(blue(page.pixel(100, 66)));
    EXPECT_TRUE(blue(page.pixel(100, 1046)));
    EXPECT_FALSE(blue(page.pixel(100, 1049)));  // the foot rule's row stays clear
}

// A picture too large to decode (8192 x 8192, 256 MB decoded) takes the
// place of a sentence saying so; the report goes on.
TEST_F(ReportTest, APictureTooLargeToDecodeBecomesASentence) {
    putQuestion({90003, "q", 'A', "", 0, 0});
    putPicture(90003, "zd12", flatPicture(8192, 8192));
    dbExec("update b1 set zd11=1 where zd1=90003");
    paginate({"<picture>090003", "x"});
    EXPECT_TRUE(errors.empty());
    const QImage page = form->Image2->picture();
    EXPECT_FALSE(blue(page.pixel(100, 66)));  // no flat blue picture
}

TEST_F(ReportTest, TheReportTextIsKeptInTheCacheFolder) {
    QTemporaryDir cache;
    qputenv("XDG_CACHE_HOME", cache.path().toUtf8());
    putSlots({});
    openLastHomework();
    QFile file(cache.path() + "/aoshu/last-report.txt");
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    std::string expected;
    for (const std::string& line : form->m_pd->lines()) expected += line + "\r\n";
    EXPECT_EQ(file.readAll().toStdString(), expected);

    // A link at the file's place is replaced, not followed.
    const QString victim = cache.path() + "/victim";
    QFile(victim).open(QIODevice::WriteOnly);
    QFile::remove(cache.path() + "/aoshu/last-report.txt");
    QFile::link(victim, cache.path() + "/aoshu/last-report.txt");
    openLastHomework();
    EXPECT_EQ(QFileInfo(victim).size(), 0);
    EXPECT_FALSE(QFileInfo(cache.path() + "/aoshu/last-report.txt").isSymLink());
    EXPECT_EQ(QFileInfo(cache.path() + "/aoshu/last-report.txt").size(), static_cast<qint64>(expected.size()));

    // A cache folder that cannot be made: the report shows all the same.
    const QString blocked = cache.path() + "/a-file";
    QFile(blocked).open(QIODevice::WriteOnly);
    qputenv("XDG_CACHE_HOME", blocked.toUtf8());
    freshDatabase();
    putSlots({});
    openLastHomework();
    EXPECT_TRUE(errors.empty());
    EXPECT_TRUE(form->SBOX1->isVisible());
    qunsetenv("XDG_CACHE_HOME");
}
