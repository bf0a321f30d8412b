// The learning record: its lines for a history the test writes, the page in
// the viewer behind "学习记录", and "保存PDF" for the record, the report and
// a learning page (pdftotext, pdffonts and pdfinfo read the files back).
#include "report_fixture.h"

#include "daily_choice.h"

#include "page_figures.h"
#include "pdf_tools.h"
#include "pdf_export.h"
#include "progress_page.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPainter>
#include <QProcess>
#include <QRandomGenerator>

#include <algorithm>
#include <csignal>
#include <sys/resource.h>

namespace {

using pdftools::run;

bool contains(const std::vector<std::string>& lines, const std::string& part) {
    return std::any_of(lines.begin(), lines.end(), [&](const std::string& l) { return l.find(part) != std::string::npos; });
}

std::vector<std::string> figures(const std::vector<std::string>& lines, const std::string& kind) {
    std::vector<std::string> out;
    for (const std::string& l : lines)
        if (l.rfind("<figure>" + kind + "|", 0) == 0) out.push_back(l);
    return out;
}

const int kToday = static_cast<int>(QDate(2026, 12, 7).toJulianDay());

}  // namespace

// The homework's clock on the test's day, whatever day the test runs.
class TestDayClock : public daily::Clock {
public:
    QDateTime now() const override { return QDateTime(QDate::fromJulianDay(kToday), QTime(18, 30)); }
};

class ProgressTest : public ReportTest {
public:
    TestDayClock clock;
    void SetUp() override {
        ReportTest::SetUp();
        daily::setClock(&clock);
        home.reset(new QTemporaryDir);
        qputenv("HOME", home->path().toUtf8());
        qputenv("XDG_CONFIG_HOME", (home->path() + "/.config").toUtf8());
    }
    void TearDown() override {
        daily::setClock(nullptr);
        ReportTest::TearDown();
    }

    // One graded homework on questions 3001.. of grade 3: the first `right`
    // answers right, the rest wrong.
    void putHomework(int day, int score, int seconds, int right, int grade = 3, int unit = 0, int grading = 1) {
        dbExec("insert into history_homework (grade, unit, paper, day, start, finish, seconds, score, grading) "
               "values (" + std::to_string(grade) + "," + std::to_string(unit) + ",null," + std::to_string(day) +
               ",'2026-12-07 18:00:00','2026-12-07 18:20:00'," + std::to_string(seconds) + "," +
               std::to_string(score) + "," + std::to_string(grading) + ")");
        const long long id = dbInt("select max(id) from history_homework");
        for (int slot = 1; slot <= 20; ++slot)
            dbExec("insert into history_answer values (" + std::to_string(id) + "," + std::to_string(slot) + "," +
                   std::to_string(3000 + slot) + ",'A'," + (slot <= right ? "1" : "0") + ")");
    }
    void putDays(int days) {
        for (int d = 0; d < days; ++d) putHomework(kToday - d, 50 + d, 600 + d, 10 + d % 10);
    }

    std::vector<std::string> lines(int grade = 3) {
        if (!form) start();
        pages::progress::Request request{grade, kToday, {}};
        for (int i = 0; i < form->c1->count(); ++i) request.gradeNames.push_back(form->c1->item(i));
        std::vector<std::string> out;
        for (const std::string& l : pages::progress::BuildProgressLines(datam->ADOConnection1, request))
            out.push_back(u8(l));
        return out;
    }

    void openRecord() {
        if (!form) start();
        form->c1->setItemIndex(3);  // the grade of the history written
        handle([this] { form->c1Change(); });
        handle([this] { form->SpeedButtonJL->click(); });
    }
    // "保存PDF"; the file named in the message box.
    QString savePdf() {
        messageBoxes.clear();
        handle([this] { form->spbPdf->click(); });
        if (messageBoxes.size() != 1) return {};
        const std::string text = messageBoxes[0].first;
        const std::size_t at = text.find('\n');
        return at == std::string::npos ? QString() : QString::fromStdString(text.substr(at + 1));
    }
    QString documents() const { return home->path() + "/Documents"; }

    std::unique_ptr<QTemporaryDir> home;
};

TEST_F(ProgressTest, TheRecordSaysWhatTheHistoryHolds) {
    const struct {
        const char* what;
        int days;
        const char* heading;
        std::size_t bars;
        std::size_t scores;  // points of the score chart
        const char* practised;
    } cases[] = {
        {"no history", 0, "还没有作业记录", 0, 0, nullptr},
        {"one homework", 1, "共 1 次作业", 1, 1, "最近30天练习了 1 天"},
        {"30 days", 30, "2026-11-08 至 2026-12-07  共 30 次作业", 1, 30, "最近30天练习了 30 天"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        freshDatabase();
        start();  // the history tables come with the first opening
        putDays(c.days);
        const std::vector<std::string> got = lines();
        EXPECT_EQ(got.front(), "`11学习记录");
        EXPECT_TRUE(contains(got, c.heading));
        EXPECT_EQ(figures(got, "bar").size(), c.bars);
        const std::vector<std::string> chart = figures(got, "scores");
        if (!c.practised) {
            EXPECT_TRUE(chart.empty());
            EXPECT_TRUE(contains(got, "开始作业"));  // how to start
            continue;
        }
        ASSERT_EQ(chart.size(), 1u);
        EXPECT_EQ(static_cast<std::size_t>(std::count(chart[0].begin(), chart[0].end(), ',')) + 1, c.scores);
        EXPECT_TRUE(contains(got, c.practised));
        const std::vector<std::string> days = figures(got, "days");
        ASSERT_EQ(days.size(), 1u);
        const std::string cells = days[0].substr(days[0].rfind('|') + 1);
        EXPECT_EQ(cells.size(), 30u);
        EXPECT_EQ(std::count(cells.begin(), cells.end(), '1'), c.days) << days[0];
        // The questions answered wrong: text, right answer, analysis.
        EXPECT_TRUE(contains(got, "最常做错的题"));
        EXPECT_TRUE(contains(got, "标准答案: "));
    }
    EXPECT_TRUE(errors.empty());
}

TEST_F(ProgressTest, TheWorstQuestionsComeMostOftenWrongFirstAndAtMostTen) {
    start();
    putHomework(kToday, 10, 900, 2);   // 3003..3020 wrong
    putHomework(kToday, 60, 900, 12);  // 3013..3020 wrong again
    const std::vector<std::string> got = lines();
    std::vector<std::string> numbered;
    for (const std::string& l : got)
        if (l.rfind("`00", 0) == 0 && l.find("、") != std::string::npos) numbered.push_back(l);
    ASSERT_EQ(numbered.size(), 10u);
    EXPECT_TRUE(contains(got, "做错 2 次"));
    // The first wrong twice come first: 3013..3020, then 3003 and 3004.
    const std::size_t twice = static_cast<std::size_t>(
        std::count_if(got.begin(), got.end(), [](const std::string& l) { return l.find("做错 2 次") != std::string::npos; }));
    EXPECT_EQ(twice, 8u);
}

TEST_F(ProgressTest, SeveralGradesShowAllAndOnlyTheChosenGradeOtherwise) {
    start();
    putHomework(kToday, 80, 600, 16, 3, 0);
    EXPECT_TRUE(contains(lines(3), "共 1 次作业"));
    EXPECT_TRUE(contains(lines(4), "还没有作业记录"));
    putHomework(kToday - 1, 40, 600, 8, 4, 1);
    const std::vector<std::string> all = lines(3);
    EXPECT_TRUE(contains(all, "全部年级"));
    EXPECT_TRUE(contains(all, "共 2 次作业"));
    EXPECT_EQ(figures(all, "bar").size(), 2u);
    // Later gradings of a homework are not first tries.
    putHomework(kToday, 100, 700, 20, 3, 0, 2);
    EXPECT_TRUE(contains(lines(3), "共 2 次作业"));
}

TEST(PageFigures, EachKindHasItsHeightAndCarriesItsData) {
    EXPECT_EQ(pages::figureHeight("plain text"), 0);
    EXPECT_EQ(pages::figureHeight("<figure>unknown|1"), 0);
    const std::string days = pages::daysFigure(2461000, {0, 1, 12});
    EXPECT_EQ(days, "<figure>days|2461000|019");
    EXPECT_EQ(pages::scoresFigure({100, 0, 55}), "<figure>scores|100,0,55");
    // A GBK label may hold the byte '|': the label is the line's rest.
    const std::string label = "A|B";
    EXPECT_EQ(pages::barFigure(85, label), "<figure>bar|85|A|B");
    for (const std::string& f : {days, pages::scoresFigure({1}), pages::barFigure(1, "x")})
        EXPECT_GT(pages::figureHeight(f), 0) << f;
}

TEST_F(ProgressTest, TheButtonSitsBesideTheDailyPostAndFollowsIt) {
    start();
    ui::SpeedButton* jl = form->SpeedButtonJL;
    ui::SpeedButton* post = form->SpeedButton6;
    EXPECT_EQ(jl->x(), 840);  // 1280 x 1024
    EXPECT_EQ(jl->y(), post->y());
    EXPECT_EQ(jl->size(), post->size());
    EXPECT_EQ(u8(jl->caption()), "学习记录");
    EXPECT_TRUE(jl->visible());
    post->hide();
    EXPECT_FALSE(jl->visible());
    EXPECT_FALSE(form->ImageJL->visible());
    post->show();
    EXPECT_TRUE(jl->visible());
}

TEST_F(ProgressTest, TheRecordShowsTurnsAndGoesBackLikeTheReport) {
    start();
    putDays(30);
    openRecord();
    ASSERT_TRUE(form->SBOX1->visible());
    EXPECT_TRUE(form->PYL->visible());
    EXPECT_TRUE(form->spbPdf->visible());
    EXPECT_EQ(u8(form->BJS->caption()), "返  回");
    EXPECT_GE(form->PageCount(), 2) << form->PageTable() << " lines " << form->m_pd->lineCount();
    EXPECT_EQ(form->CurrentPage, 1);
    handle([this] { form->SpB2->click(); });
    EXPECT_EQ(form->CurrentPage, 2);
    // A second click while the page shows does nothing.
    handle([this] { form->SpeedButtonJL->click(); });
    EXPECT_EQ(form->CurrentPage, 2);
    handle([this] { form->SpeedButton9Click(); });
    EXPECT_FALSE(form->SBOX1->visible());
    EXPECT_EQ(u8(form->BJS->caption()), "退出系统");
    EXPECT_EQ(u8(form->SpeedButton69->caption()), "知识学习");
    EXPECT_TRUE(errors.empty());
}

TEST_F(ProgressTest, SavedPdfHoldsEveryPageAsTextOnA4WithEmbeddedFonts) {
    start();
    putDays(30);
    openRecord();
    const int pages = form->PageCount();
    handle([this] { form->SpB2->click(); });
    const QString file = savePdf();
    ASSERT_FALSE(file.isEmpty()) << (messageBoxes.empty() ? "no box" : messageBoxes[0].first);
    EXPECT_TRUE(file.startsWith(documents() + "/学习记录-")) << file.toStdString();
    EXPECT_EQ(form->CurrentPage, 2);  // the page shown stays
    const std::string text = pdftools::text(file);
    EXPECT_NE(text.find("学习记录"), std::string::npos);
    EXPECT_NE(text.find("最近30天练习了 30 天"), std::string::npos);
    EXPECT_NE(text.find("第" + std::to_string(pages) + "页,共" + std::to_string(pages) + "页"), std::string::npos);
    const std::string info = run("pdfinfo", {file});
    EXPECT_EQ(pdftools::pages(file), pages);
    EXPECT_NE(info.find("(A4)"), std::string::npos) << info;
    // pdffonts: two header lines, then "... emb sub uni": every font embedded.
    const QStringList fonts = QString::fromStdString(run("pdffonts", {file})).split('\n', Qt::SkipEmptyParts);
    ASSERT_GT(fonts.size(), 2);
    for (int i = 2; i < fonts.size(); ++i) {
        const QStringList cols = fonts[i].split(' ', Qt::SkipEmptyParts);
        ASSERT_GE(cols.size(), 4);
        EXPECT_EQ(cols[cols.size() - 5], "yes") << fonts[i].toStdString();
    }
    // Saved again within the minute: a second name, the first file kept.
    const QString again = savePdf();
    ASSERT_FALSE(again.isEmpty());
    EXPECT_NE(again, file);
    EXPECT_TRUE(again.endsWith("-2.pdf")) << again.toStdString();
    EXPECT_TRUE(QFile::exists(file));
    EXPECT_TRUE(errors.empty());
}

TEST_F(ProgressTest, TheReportAndALearningPageAreSavedToo) {
    paginate(std::vector<std::string>(120, "第三页也有的一行"));
    ASSERT_EQ(form->PageCount(), 3) << form->PageTable();
    const QString report = savePdf();
    ASSERT_FALSE(report.isEmpty());
    EXPECT_TRUE(QFileInfo(report).fileName().startsWith("奥数作业-"));
    EXPECT_EQ(pdftools::pages(report), 3);
    EXPECT_NE(pdftools::text(report).find("第三页也有的一行"), std::string::npos);
    handle([this] { form->SpeedButton9Click(); });

    handle([this] { form->sp1->click(); });
    ASSERT_TRUE(form->SBOX1->visible());
    EXPECT_TRUE(form->spbPdf->visible());
    const QString learning = savePdf();
    ASSERT_FALSE(learning.isEmpty());
    EXPECT_TRUE(QFileInfo(learning).fileName().startsWith("奥数学习-"));
    EXPECT_NE(run("pdfinfo", {learning}).find("(A4)"), std::string::npos);
    // The page as far as it goes, not the whole bitmap behind it.
    const int sheet = 800 * 297 / 210;
    EXPECT_EQ(pdftools::pages(learning), (form->Image2->height() + sheet - 1) / sheet);
    EXPECT_TRUE(errors.empty());
}

TEST_F(ProgressTest, AFailedSaveSaysSoInChineseAndLeavesNoFile) {
    start();
    openRecord();
    // No documents folder can be made: a file stands in its place.
    QFile blocker(documents());
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    EXPECT_TRUE(savePdf().isEmpty());
    ASSERT_EQ(messageBoxes.size(), 1u);
    EXPECT_EQ(messageBoxes[0].first.rfind("保存PDF失败：", 0), 0u) << messageBoxes[0].first;
    QFile::remove(documents());

    // The disk fills up in the middle of the file (a file size limit makes
    // the writes fail as a full disk does).
    QDir().mkpath(documents());
    const auto draw = [](QPainter& p, int page, int) {
        QImage noise(800, 800, QImage::Format_RGB32);
        QRandomGenerator random(static_cast<quint32>(page));
        for (int y = 0; y < 800; ++y)
            for (int x = 0; x < 800; ++x) noise.setPixel(x, y, random.generate() | 0xFF000000u);
        p.drawImage(0, 0, noise);
    };
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    rlimit small = old;
    small.rlim_cur = 200000;
    setrlimit(RLIMIT_FSIZE, &small);
    const pages::pdf::Saved saved =
        pages::pdf::savePdf(documents(), "学习记录", QDateTime::currentDateTime(), 5, draw);
    setrlimit(RLIMIT_FSIZE, &old);
    EXPECT_TRUE(saved.path.isEmpty()) << QFileInfo(saved.path).size();
    EXPECT_EQ(saved.error, gbk::fromUtf8("磁盘已满或不能写入，PDF没有保存。"));
    EXPECT_TRUE(QDir(documents()).entryList(QDir::Files | QDir::Hidden).isEmpty());
}
