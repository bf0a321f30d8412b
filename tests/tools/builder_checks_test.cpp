// Every check of the builder, each with a bad sample it must reject by
// naming the file and the entry, without writing a database.
#include "builder.h"
#include "temp_content.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

using namespace testing_content;

namespace {

const std::string kGrade = "grades/grade03.toml";
const std::string kOptions = "A) 1    B) 3    C) 2    D) 4";
const std::string kKey = "key = \"C\"\n";
const std::string kPicture = "picture = \"p/a.svg\"\n";

std::string repeat(const std::string& s, int n) {
    std::string out;
    for (int i = 0; i < n; ++i)
        out += s;
    return out;
}

std::string unit(const std::string& name, const std::string& status, const std::string& rest = "") {
    return "[[unit]]\nname = \"" + name + "\"\nstatus = \"" + status + "\"\n" + rest + "\n";
}

std::string page(const std::string& text) { return "page = \"\"\"\n" + text + "\n\"\"\"\n"; }

const std::string kPictures = "[unit.pictures]\n1 = \"p/a.svg\"\n";

std::string svg(int width, int height, const std::string& body = "") {
    return "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + std::to_string(width) + "\" height=\"" +
           std::to_string(height) + "\">" + body + "</svg>";
}

std::string manyUnits(int n) {
    std::string out;
    for (int i = 0; i < n; ++i)
        out += unit("单元" + std::to_string(i), "空");
    return out;
}

struct Case {
    const char* what;
    std::string file;      // replaced (or added) file
    std::string text;      // its new text; empty removes the file
    std::string expected;  // beginning of one rejection
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.what; }


const std::vector<Case> kCases = {
    {"key outside A..D", kGrade, grade3(question("1 + 1 = ？\n" + kOptions, "key = \"E\"\n")),
     "grade03.toml: question 1: key \"E\" is not A to D"},
    {"missing option marker", kGrade, grade3(question("1 + 1 = ？\nA) 1    B) 3    C) 2")),
     "grade03.toml: question 1: text has no option marker \"D)\""},
    {"stray option marker", kGrade, grade3(question("在(A)组里：\n" + kOptions)),
     "grade03.toml: question 1: text has option marker \"A)\" 2 times"},
    {"stray full-width marker", kGrade, grade3(question("甲B）乙\n" + kOptions)),
     "grade03.toml: question 1: text has option marker \"B)\" 2 times"},
    {"options out of reading order", kGrade, grade3(question("1 + 1 = ？\nB) 3    A) 1    C) 2    D) 4")),
     "grade03.toml: question 1: option B does not come after option A in reading order"},
    {"option on an earlier line", kGrade, grade3(question("D) 4\nA) 1    B) 3    C) 2")),
     "grade03.toml: question 1: option D does not come after option C"},
    {"picture line without picture", kGrade, grade3(question("看图：\n<picture>\n" + kOptions)),
     "grade03.toml: question 1: text has a \"<picture>\" line but no picture"},
    {"picture without its line", kGrade, grade3(question("看图：\n" + kOptions, kKey + kPicture)),
     "grade03.toml: question 1: picture is given but text has no \"<picture>\" line"},
    {"picture line first", kGrade, grade3(question("<picture>\n" + kOptions, kKey + kPicture)),
     "grade03.toml: question 1: text: the \"<picture>\" line cannot be the first line"},
    {"two picture lines", kGrade, grade3(question("看图：\n<picture>\n<picture>\n" + kOptions, kKey + kPicture)),
     "grade03.toml: question 1: text has 2 \"<picture>\" lines"},
    {"picture tag not alone", kGrade, grade3(question("看图：\n<picture> 图一\n" + kOptions, kKey + kPicture)),
     "grade03.toml: question 1: text line 2: \"<picture>\" must stand alone on its line"},
    {"analysis picture without its line", kGrade,
     grade3(question("1 + 1 = ？\n" + kOptions,
                     kKey + "analysis = \"所以选C。\"\nanalysis_picture = \"p/a.svg\"\n")),
     "grade03.toml: question 1: analysis_picture is given but analysis has no \"<picture>\" line"},
    {"analysis picture line without picture", kGrade,
     grade3(question("1 + 1 = ？\n" + kOptions, kKey + "analysis = \"\"\"\n<picture>\n所以选C。\"\"\"\n")),
     "grade03.toml: question 1: analysis has a \"<picture>\" line but no analysis_picture"},
    {"analysis picture without analysis", kGrade,
     grade3(question("1 + 1 = ？\n" + kOptions, kKey + "analysis_picture = \"p/a.svg\"\n")),
     "grade03.toml: question 1: analysis_picture is given but there is no analysis"},
    {"question line too long", kGrade, grade3(question(repeat("一", 37) + "\n" + kOptions)),
     "grade03.toml: question 1: text line 1 is 74 bytes long (at most 72)"},
    {"analysis line too long", kGrade,
     grade3(question("1 + 1 = ？\n" + kOptions, kKey + "analysis = \"" + repeat("二", 41) + "\"\n")),
     "grade03.toml: question 1: analysis line 1 is 82 bytes long (at most 80)"},
    {"analysis too long for the report", kGrade,
     grade3(question("1 + 1 = ？\n" + kOptions,
                     kKey + "analysis = \"\"\"\n" + repeat(repeat("三", 40) + "\n", 62) + "\"\"\"\n")),
     "grade03.toml: question 1: analysis is 5082 bytes long (at most 5000)"},
    {"text GBK cannot encode", kGrade, grade3(question("1 • 1 = ？\n" + kOptions)),
     "grade03.toml: question 1: text: \"•\" cannot be written in GBK"},
    {"control character", kGrade, grade3(question("1 + 1\t= ？\n" + kOptions)),
     "grade03.toml: question 1: text line 1 holds a control character"},
    {"report markup in analysis", kGrade,
     grade3(question("1 + 1 = ？\n" + kOptions, kKey + "analysis = \"`01 所以选C。\"\n")),
     "grade03.toml: question 1: analysis line 1 begins with \"`\""},
    {"blank analysis", kGrade, grade3(question("1 + 1 = ？\n" + kOptions, kKey + "analysis = \"  \"\n")),
     "grade03.toml: question 1: analysis is empty"},
    {"level out of range", kGrade, grade3("[[question]]\nlevel = 6\nkey = \"C\"\ntext = \"" + kOptions + "\"\n"),
     "grade03.toml: question 1: level 6 is not 1 to 5"},
    {"level missing", kGrade, grade3("[[question]]\nkey = \"C\"\ntext = \"" + kOptions + "\"\n"),
     "grade03.toml: question 1: level is missing"},
    {"level of the wrong type", kGrade, grade3("[[question]]\nlevel = \"2\"\nkey = \"C\"\ntext = \"" + kOptions + "\"\n"),
     "grade03.toml: question 1: level must be an integer"},
    {"mock pool outside grade 11", kGrade, grade3(question(kOptions, kKey + "pool = \"mock\"\n")),
     "grade03.toml: question 1: pool \"mock\" belongs to grade 11 only"},
    {"unknown pool", kGrade, grade3(question(kOptions, kKey + "pool = \"extra\"\n")),
     "grade03.toml: question 1: pool \"extra\" is not \"homework\" or \"mock\""},
    {"unknown key", kGrade, grade3(question(kOptions, kKey + "answer = \"C\"\n")),
     "grade03.toml: question 1: unknown key \"answer\""},
    {"picture file missing", kGrade, grade3(question("看图：\n<picture>\n" + kOptions, kKey + "picture = \"p/none.svg\"\n")),
     "grade03.toml: question 1: picture \"p/none.svg\" does not exist"},
    {"picture not an SVG file", kGrade, grade3(question("看图：\n<picture>\n" + kOptions, kKey + "picture = \"p/a.png\"\n")),
     "grade03.toml: question 1: picture \"p/a.png\" must be an .svg file"},
    {"question picture too large", kGrade,
     grade3(question("看图：\n<picture>\n" + kOptions, kKey + "picture = \"p/big.svg\"\n")),
     "grade03.toml: question 1: p/big.svg is 800x300 pixels (at most 700x400)"},
    {"page picture too large", "p/a.svg", svg(601, 100),
     "grade03.toml: unit 1 \"速算\": p/a.svg is 601x100 pixels (at most 600x600)"},
    {"unsupported SVG", "p/a.svg", svg(40, 30, "<image href=\"x.png\"/>"),
     "grade03.toml: unit 1 \"速算\": p/a.svg: line 1: <image> is not supported"},
    {"page tag without its picture", kGrade, grade3(unit("速算", "巧算", page("<pic1>\n<pic2>") + kPictures)),
     "grade03.toml: unit 1 \"速算\": page line 2: <pic2> has no picture 2 listed"},
    {"listed picture not used", kGrade, grade3(unit("速算", "巧算", page("第一行") + kPictures)),
     "grade03.toml: unit 1 \"速算\": picture 1 (p/a.svg) is not used in the page"},
    {"picture tag after blanks", kGrade, grade3(unit("速算", "巧算", page(" <pic1>\n<pic1>") + kPictures)),
     "grade03.toml: unit 1 \"速算\": page line 1: a picture tag must begin the line"},
    {"malformed picture tag", kGrade, grade3(unit("速算", "巧算", page("<pic01>\n<pic1>") + kPictures)),
     "grade03.toml: unit 1 \"速算\": page line 1: \"<pic01>\" is not a picture tag"},
    {"bad picture number", kGrade, grade3(unit("速算", "巧算", page("<pic1>") + "[unit.pictures]\n0 = \"p/a.svg\"\n")),
     "grade03.toml: unit 1 \"速算\": picture number \"0\" is not 1 to 999"},
    {"page line too long", kGrade, grade3(unit("速算", "巧算", page(repeat("四", 41)))),
     "grade03.toml: unit 1 \"速算\": page line 1 is 82 bytes long (at most 80)"},
    {"page too long for the page image", kGrade, grade3(unit("速算", "巧算", page(repeat("一行\n", 500) + "末行"))),
     "grade03.toml: unit 1 \"速算\": page is too long"},
    {"empty unit with a page", kGrade, grade3(unit("速算", "空", page("第一行"))),
     "grade03.toml: unit 1 \"速算\": a unit with status \"空\" has no page and no pictures"},
    {"unit without page", kGrade, grade3(unit("速算", "巧算")),
     "grade03.toml: unit 1 \"速算\": has no page"},
    {"unit name too long", kGrade, grade3(unit(repeat("长", 13), "空")),
     "grade03.toml: unit 1 \"" + repeat("长", 13) + "\": name is 26 bytes long (at most 24)"},
    {"unit name with a run of spaces", kGrade, grade3(unit("速算  巧算", "空")),
     "grade03.toml: unit 1 \"速算  巧算\": name holds a run of spaces"},
    {"status too long", kGrade, grade3(unit("速算", repeat("状", 35))),
     "grade03.toml: unit 1 \"速算\": status is 70 bytes long (at most 68)"},
    {"status missing", kGrade, grade3("[[unit]]\nname = \"速算\"\n"),
     "grade03.toml: unit 1 \"速算\": status is missing"},
    {"duplicate unit names", kGrade, grade3(unit("速算", "空") + unit("速算", "空")),
     "grade03.toml: unit 2: name \"速算\" is used twice in this grade"},
    {"unit tag naming no unit of the grade", kGrade, grade3(unit("速算", "空") + question(kOptions, kKey + "unit = \"巧算\"\n")),
     "grade03.toml: question 1: unit \"巧算\" is not a unit of this grade"},
    {"paper on a homework question", kGrade, grade3(question(kOptions, kKey + "paper = 1\n")),
     "grade03.toml: question 1: paper belongs to \"mock\" questions only"},
    {"mock papers with a gap", "grades/grade11.toml",
     "grade = 11\nname = \"模拟考场\"\n" + unit("模拟试卷一", "空") +
         question(kOptions, kKey + "pool = \"mock\"\npaper = 2\n"),
     "grade11.toml: mock paper 1 has no questions"},
    {"mock paper longer than a homework", "grades/grade11.toml",
     "grade = 11\nname = \"模拟考场\"\n" + unit("模拟试卷一", "空") +
         repeat(question(kOptions, kKey + "pool = \"mock\"\npaper = 1\n"), 21),
     "grade11.toml: mock paper 1 has 21 questions (at most 20)"},
    {"mock paper outside grade 11", kGrade, grade3(unit("模拟试卷一", "空")),
     "grade03.toml: unit 1 \"模拟试卷一\": only grade 11 may have a unit named"},
    {"mock questions without a paper unit", "grades/grade11.toml",
     "grade = 11\nname = \"模拟考场\"\n" + question(kOptions, kKey + "pool = \"mock\"\n"),
     "grade11.toml: there are \"mock\" questions but no unit named"},
    {"units written as one table", kGrade, grade3("[unit]\nname = \"速算\"\nstatus = \"空\"\n"),
     "grade03.toml: unit must be written as [[unit]] tables"},
    {"units numbered past their ids", "grades/grade05.toml",
     "grade = 5\nname = \"四年级上\"\n" + manyUnits(200), "grades: 201 units in all (at most 200"},
    {"grade number not the file's", kGrade, "grade = 4\nname = \"三年级上\"\n",
     "grade03.toml: grade is 4, the file is for grade 3"},
    {"grade name not the list's", kGrade, "grade = 3\nname = \"三年级\"\n",
     "grade03.toml: name \"三年级\" is not \"三年级上\""},
    {"TOML syntax error", kGrade, "grade = 3\nname = \"三年级上\n", "grade03.toml: line 2:"},
    {"misnamed grade file", "grades/grade3.toml", "grade = 3\n", "grades/grade3.toml: not a grade file"},
    {"no fixed post", "posts.toml", "[[post]]\ntitle = \"甲\"\ntext = \"一行\"\n",
     "posts.toml: 0 fixed posts"},
    {"two fixed posts", "posts.toml",
     repeat("[[post]]\nfixed = true\ntitle = \"甲\"\ntext = \"一行\"\n", 2), "posts.toml: 2 fixed posts"},
    {"posts.toml missing", "posts.toml", "", "posts.toml: missing"},
    {"post tag without its picture", "posts.toml", "[[post]]\nfixed = true\ntitle = \"甲\"\ntext = \"<pic1>\"\n",
     "posts.toml: post 1: text line 1: <pic1> has no picture 1 listed"},
    {"post without title", "posts.toml", "[[post]]\nfixed = true\ntext = \"一行\"\n",
     "posts.toml: post 1: title is missing"},
};

class BuilderCheck : public ::testing::TestWithParam<Case> {};

TEST_P(BuilderCheck, RejectsNamingFileAndEntryAndWritesNothing) {
    const Case& c = GetParam();
    Files files = validContent();
    files["p/big.svg"] = svg(800, 300);
    if (c.text.empty())
        files.erase(c.file);
    else
        files[c.file] = c.text;
    TempContent content(files);

    content::Problems problems = content::buildDatabase(content.dir(), content.output());

    std::ostringstream all;
    bool found = false;
    for (const auto& p : problems) {
        all << "  " << p << "\n";
        found = found || p.rfind(c.expected, 0) == 0;
    }
    EXPECT_TRUE(found) << "expected: " << c.expected << "\ngot:\n" << all.str();
    EXPECT_FALSE(std::filesystem::exists(content.output()));
}

INSTANTIATE_TEST_SUITE_P(Checks, BuilderCheck, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<Case>& info) {
                             std::string name;
                             for (char ch : std::string(info.param.what))
                                 name += std::isalnum(static_cast<unsigned char>(ch)) ? ch : '_';
                             return name;
                         });

TEST(Builder, ValidContentBuildsWithoutComplaint) {
    TempContent content(validContent());
    EXPECT_EQ(content::buildDatabase(content.dir(), content.output()), content::Problems{});
    EXPECT_TRUE(std::filesystem::exists(content.output()));
}

TEST(Builder, ReportsEveryProblemNotJustTheFirst) {
    Files files = validContent();
    files[kGrade] = grade3(question(kOptions, "key = \"E\"\n") + question("A) 1"));
    files["posts.toml"] = "";
    TempContent content(files);
    content::Problems problems = content::buildDatabase(content.dir(), content.output());
    // key E; markers B, C, D missing; no fixed post.
    EXPECT_EQ(problems.size(), 5u);
}

TEST(Builder, RejectedBuildLeavesTheOldFileAsItWas) {
    Files files = validContent();
    files[kGrade] = grade3(question(kOptions, "key = \"E\"\n"));
    TempContent content(files);
    std::filesystem::create_directories(content.output().parent_path());
    std::ofstream(content.output()) << "old";

    EXPECT_FALSE(content::buildDatabase(content.dir(), content.output()).empty());

    std::ifstream in(content.output());
    std::string text((std::istreambuf_iterator<char>(in)), {});
    EXPECT_EQ(text, "old");
    int entries = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(content.output().parent_path()))
        ++entries;
    EXPECT_EQ(entries, 1);  // no temporary file left behind
}

TEST(Builder, RebuildReplacesAnExistingFile) {
    TempContent content(validContent());
    std::filesystem::create_directories(content.output().parent_path());
    std::ofstream(content.output()) << "old";
    EXPECT_EQ(content::buildDatabase(content.dir(), content.output()), content::Problems{});
    EXPECT_GT(std::filesystem::file_size(content.output()), 3u);
}

}  // namespace
