// The question bank's tags as stored, and the near-duplicate check that
// keeps the same problem from entering the bank twice.
#include "builder.h"
#include "content_reader.h"
#include "near_duplicates.h"
#include "temp_content.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <fstream>

using namespace testing_content;

namespace {

const std::string kOptions = "A) 1    B) 3    C) 2    D) 4";

std::string unitEntry(const std::string& name) {
    return "[[unit]]\nname = \"" + name + "\"\nstatus = \"空\"\n\n";
}

std::string grade11(const std::string& entries) {
    return "grade = 11\nname = \"模拟考场\"\n\n" + unitEntry("模拟试卷一") + unitEntry("综合练习") + entries;
}

struct StoredTags {
    const char* what;
    std::string extra;   // TOML lines of the question
    std::string stored;  // zd10|zd16|zd17
};

const std::vector<StoredTags> kStored = {
    {"homework tagged with its unit", "unit = \"综合练习\"\n", "2|1|NULL"},
    {"untagged homework", "", "2|NULL|NULL"},
    {"first mock paper is the fixed one", "pool = \"mock\"\npaper = 1\n", "0|NULL|1"},
    {"later mock paper waits in the bank", "pool = \"mock\"\npaper = 2\nunit = \"模拟试卷一\"\n", "1|0|2"},
    {"mock question without paper is paper 1", "pool = \"mock\"\n", "0|NULL|1"},
};

std::string storedRow(const std::string& path, int id) {
    sqlite3* db = nullptr;
    sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt* stmt = nullptr;
    sqlite3_prepare_v2(db, "SELECT ifnull(zd10,'NULL')||'|'||ifnull(zd16,'NULL')||'|'||ifnull(zd17,'NULL') "
                           "FROM b1 WHERE zd1 = ?", -1, &stmt, nullptr);
    sqlite3_bind_int(stmt, 1, id);
    std::string out = sqlite3_step(stmt) == SQLITE_ROW ? reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0))
                                                       : "<no row>";
    sqlite3_finalize(stmt);
    sqlite3_close(db);
    return out;
}

TEST(QuestionBank, TagsAndPoolsAreStoredPerQuestion) {
    std::string entries;
    for (const auto& c : kStored)
        entries += "[[question]]\nlevel = 2\nkey = \"C\"\n" + c.extra + "text = \"\"\"\n1 + 1 = ？\n" + kOptions +
                   "\n\"\"\"\n";
    Files files = validContent();
    files["grades/grade11.toml"] = grade11(entries);
    TempContent content(files);
    ASSERT_EQ(content::buildDatabase(content.dir(), content.output()), content::Problems{});
    for (std::size_t i = 0; i < kStored.size(); ++i)
        EXPECT_EQ(storedRow(content.output().string(), 11001 + static_cast<int>(i)), kStored[i].stored)
            << kStored[i].what;
}

struct Pair {
    const char* what;
    std::string first;
    std::string second;
    bool flagged;
};

const std::vector<Pair> kPairs = {
    {"same story, other numbers",
     "一个圆形花坛一周长20米，沿着花坛一周每隔2米放一盆花。\n一共要放几盆花？\nA) 10    B) 11    C) 9    D) 12",
     "一个圆形花坛一周长60米，沿着花坛一周每隔3米放一盆花。\n一共要放几盆花？\nA) 21    B) 19    C) 18    D) 20",
     true},
    {"same words, line broken elsewhere, full-width digits",
     "甲、乙两人从相距１０００米的两地同时出发，相向而行，\n几分钟后相遇？\n" + kOptions,
     "甲、乙两人从相距800米的两地同时\n出发，相向而行，几分钟后相遇？\n" + kOptions, true},
    {"different problems of one unit",
     "笼子里有鸡和兔共20只，数一数共有56条腿。兔有多少只？\n" + kOptions,
     "小明把一根绳子对折三次，从中间剪一刀，绳子被剪成几段？\n" + kOptions, false},
    {"bare calculations are drills", "计算：7+8+3+2=（  ）\n" + kOptions, "计算：6+9+4+1=（  ）\n" + kOptions,
     false},
    {"the options alone do not make a pair", "今天是星期三，再过十天是星期几？\nA) 星期五    B) 星期六    C) 星期日    D) 星期一",
     "一根木头锯成五段要锯几次？每次锯多久？\nA) 星期五    B) 星期六    C) 星期日    D) 星期一", false},
};

content::Content twoQuestions(const std::string& first, const std::string& second) {
    content::Content c;
    c.grades.resize(content::kGradeCount);
    c.grades[3].file = "grade03.toml";
    c.grades[3].questions.push_back({.text = first});
    c.grades[5].file = "grade05.toml";
    c.grades[5].questions.push_back({.text = second});
    return c;
}

TEST(NearDuplicates, SameProblemWithOtherNumbersIsFlaggedOthersAreNot) {
    for (const auto& p : kPairs) {
        auto found = content::findNearDuplicates(twoQuestions(p.first, p.second));
        EXPECT_EQ(!found.empty(), p.flagged) << p.what;
    }
}

TEST(NearDuplicates, AcceptedPairsAreNotWarnedAbout) {
    const auto c = twoQuestions(kPairs[0].first, kPairs[0].second);
    TempContent folder(Files{{"near-duplicates.txt", "# kept on purpose\n"}});
    auto warnings = content::nearDuplicateWarnings(c, folder.dir());
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_EQ(warnings[0].rfind("warning: near-duplicate questions: grade03.toml question 1 and grade05.toml "
                                "question 1 (", 0), 0u) << warnings[0];

    TempContent accepted(Files{{"near-duplicates.txt", "grade05.toml 1 grade03.toml 1  # needs grade 5's method\n"}});
    EXPECT_TRUE(content::nearDuplicateWarnings(c, accepted.dir()).empty());
}

}  // namespace

// A question added to the bundled content that repeats another one fails
// here; a pair kept on purpose is listed in content/near-duplicates.txt.
TEST(BundledContent, HasNoNearDuplicatesBeyondTheAcceptedPairs) {
    content::Problems problems;
    const content::Content bundled = content::readContent(BUNDLED_CONTENT_DIR, problems);
    ASSERT_EQ(problems, content::Problems{});
    std::string list;
    for (const auto& w : content::nearDuplicateWarnings(bundled, BUNDLED_CONTENT_DIR))
        list += w + "\n";
    EXPECT_EQ(list, "");
}
