// The teacher's report on a small class whose figures are known, on an
// empty class, as CSV and through the command line.
#include "class_command.h"
#include "class_fixture.h"
#include "class_report.h"
#include "server_schema.h"
#include "shared_server.h"
#include "upload.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

using namespace classroom;
using namespace classroom::testing;

constexpr int kDay = 2461102;  // 2026-03-02
const std::string kClass = "五年级1班";
const std::string kOddName = "=1+1,\"x\"";

// 学生01: 50 on day 1 and 70 a week later (then 100 on a second try of that
// homework); 学生02: 100 on day 1; 学生03: nothing; kOddName: 0 on day 2.
void MakeKnownClass() {
    static bool made = false;
    if (made) return;
    made = true;
    Connection admin = MakeClass("rep", kClass, 3);
    AddPupil(admin, kSchool, kClass, kOddName, "repodd");
    auto entry = [](int pupil, int n, int day, int right) {
        const std::string name = pupil == 4 ? kOddName : "学生0" + std::to_string(pupil);
        return MakeEntry(pupil == 4 ? "repodd" : PupilLogin("rep", pupil), kClass, name, n, day, right);
    };
    data::outbox::Entry again = entry(1, 1, kDay + 7, 20);
    again.id[0] = 'f';
    again.grading = 2;
    again.seconds = 1500;
    Connection p1 = ConnectAs(PupilLogin("rep", 1));
    ASSERT_EQ(Upload(p1, {entry(1, 0, kDay, 10), entry(1, 1, kDay + 7, 14), again}), 3);
    Connection p2 = ConnectAs(PupilLogin("rep", 2));
    ASSERT_EQ(Upload(p2, {entry(2, 0, kDay, 20)}), 1);
    Connection odd = ConnectAs("repodd");
    ASSERT_EQ(Upload(odd, {entry(4, 0, kDay + 1, 0)}), 1);
}

TEST(ClassReport, FiguresOfAKnownClass) {
    MakeKnownClass();
    Connection teacher = ConnectAs("repteacher");
    const std::vector<ClassFigures> all = ReadReport(teacher, {});
    ASSERT_EQ(all.size(), 1u);
    const ClassFigures& c = all[0];
    EXPECT_EQ(c.school, kSchool);
    ASSERT_EQ(c.pupils.size(), 4u);
    struct Expected {
        const char* pupil;
        long long days, homeworks;
        double mean;
        std::optional<double> trend;
        std::size_t units;
    };
    const Expected expected[] = {
        {"=1+1,\"x\"", 1, 1, 0, std::nullopt, 1},
        {"学生01", 2, 2, 60, 20, 2},
        {"学生02", 1, 1, 100, std::nullopt, 1},
        {"学生03", 0, 0, 0, std::nullopt, 0},
    };
    for (std::size_t i = 0; i < 4; ++i) {
        const PupilFigures& p = c.pupils[i];
        SCOPED_TRACE(p.pupil);
        EXPECT_EQ(p.pupil, expected[i].pupil);
        EXPECT_EQ(p.daysPractised, expected[i].days);
        EXPECT_EQ(p.homeworks, expected[i].homeworks);
        EXPECT_EQ(p.meanScore.has_value(), p.homeworks > 0);
        EXPECT_DOUBLE_EQ(p.meanScore.value_or(0), expected[i].mean);
        ASSERT_EQ(p.trendPerWeek.has_value(), expected[i].trend.has_value());
        if (p.trendPerWeek) EXPECT_NEAR(*p.trendPerWeek, *expected[i].trend, 1e-9);
        EXPECT_EQ(p.units.size(), expected[i].units);
    }
    // 学生01's units: 10 of 20 right in 单元0, 14 of 20 in 单元1; the
    // second try does not count.
    EXPECT_EQ(c.pupils[1].units[0].unit, "单元0");
    EXPECT_EQ(c.pupils[1].units[0].right, 10);
    EXPECT_EQ(c.pupils[1].units[1].right, 14);
    EXPECT_EQ(c.pupils[1].units[1].answers, 20);

    // Misses on first tries: questions 1011-1014 once (学生01's first)
    // and the odd pupil's; 1015-1020 three times; 1001-1010 once (odd).
    ASSERT_EQ(c.mostMissed.size(), 10u);
    EXPECT_EQ(c.mostMissed[0].question, 1015);
    EXPECT_EQ(c.mostMissed[0].misses, 3);
    EXPECT_EQ(c.mostMissed[0].answers, 4);
    EXPECT_EQ(c.mostMissed[0].rightLetter, "D");
    EXPECT_EQ(c.mostMissed[5].question, 1020);
    EXPECT_EQ(c.mostMissed[6].question, 1011);
    EXPECT_EQ(c.mostMissed[6].misses, 2);
    EXPECT_EQ(c.mostMissed[9].question, 1014);
    EXPECT_NE(c.mostMissed[0].text.find("第15题"), std::string::npos);

    const ReportRequest since{kClass, "2026-03-03"};
    const std::vector<ClassFigures> later = ReadReport(teacher, since);
    ASSERT_EQ(later.size(), 1u);
    EXPECT_EQ(later[0].pupils[1].homeworks, 1);
    EXPECT_DOUBLE_EQ(later[0].pupils[1].meanScore.value_or(-1), 70);
    EXPECT_EQ(later[0].pupils[2].homeworks, 0);
    EXPECT_NE(ReportText(later, since).find("学生02：还没有作业"), std::string::npos);
}

TEST(ClassReport, CsvRowsPerPupilAndHomework) {
    MakeKnownClass();
    // Dates keep their form whatever date style the server is set to.
    Connection teacher = OpenServer(SharedServer().uriFor("repteacher") + "&options=-c%20DateStyle%3DSQL%2CDMY");
    std::ostringstream csv;
    EXPECT_EQ(WriteCsv(teacher, {kClass, std::nullopt}, csv), 4);
    EXPECT_EQ(csv.str(),
              "\xEF\xBB\xBF学生,班级,年级,单元,日期,首次成绩,用时(秒)\r\n"
              "\"'=1+1,\"\"x\"\"\",五年级1班,三年级,单元0,2026-03-03,0,1200\r\n"
              "学生01,五年级1班,三年级,单元0,2026-03-02,50,1200\r\n"
              "学生01,五年级1班,三年级,单元1,2026-03-09,70,1500\r\n"
              "学生02,五年级1班,三年级,单元0,2026-03-02,100,1200\r\n");
}

struct CommandCase {
    std::vector<std::string> args;  // "URI" stands for the teacher's URI
    int exit;
    const char* inOut;  // expected in the output, or in the messages
};

TEST(ClassCommand, ReportsAndErrorsWithTheirExitCodes) {
    MakeKnownClass();
    Connection admin = OpenServer(SharedServer().superuserUri());
    if (admin.exec("SELECT 1 FROM pg_database WHERE datname = 'latin'").rows() == 0)
        admin.script("CREATE DATABASE latin ENCODING 'LATIN1' LC_COLLATE 'C' LC_CTYPE 'C' TEMPLATE template0");
    const std::string uri = SharedServer().uriFor("repteacher");
    const CommandCase cases[] = {
        {{"report", "--server", "URI", "--class", "六年级9班"}, kExitOk, "这个班级还没有学生，也还没有作业。"},
        {{"report", "--server", "URI", "--class", kClass}, kExitOk, "学生01：练习2天，作业2份，首次平均分60.0，趋势每周+20.0分（上升）"},
        {{"report", "--server", "URI", "--class", kClass}, kExitOk, "1. 第1015题，错3次/共4次，正确答案：D"},
        {{"report", "--server", "URI", "--csv", "--since", "2026-03-09"}, kExitOk, "学生01,五年级1班,三年级,单元1,2026-03-09,70,1500\r\n"},
        {{"report", "--server", "URI", "--since", "2026-3-9"}, kExitUsage, "日期“2026-3-9”不对"},
        {{"report", "--server", "URI", "--csv", "--pdf", "x.pdf"}, kExitUsage, "只能选一个"},
        {{"report", "--class", kClass}, kExitUsage, "缺少参数“--server”"},
        {{"report", "--server"}, kExitUsage, "后面缺少内容"},
        {{"grade", "--server", "URI"}, kExitUsage, "不认识的命令“grade”"},
        {{"report", "--server", SharedServer().uriFor("repp01")}, kExitServer, "不能查看班级报告"},
        {{"report", "--server", SharedServer().uriFor("rep p01")}, kExitServer, "无法连接班级服务器"},
        {{"init", "--server", "URI"}, kExitServer, "没有权限"},
        {{"init", "--server", SharedServer().superuserUri() + "&dbname=latin"}, kExitServer, "需要 UTF8 编码的数据库"},
        {{"report", "--server", "URI", "--pdf", "/proc/no/such/folder/x.pdf"}, kExitFile, "PDF没有保存"},
    };
    for (const CommandCase& c : cases) {
        std::vector<std::string> args = c.args;
        for (std::string& a : args)
            if (a == "URI") a = uri;
        SCOPED_TRACE(args[0] + " " + (args.size() > 3 ? args[3] : ""));
        std::ostringstream out, err;
        EXPECT_EQ(RunCommand(args, out, err), c.exit) << err.str();
        EXPECT_NE((out.str() + err.str()).find(c.inOut), std::string::npos) << out.str() << err.str();
    }
}

}  // namespace
