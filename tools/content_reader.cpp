#include "content_reader.h"

#include "gbk.h"
#include "text_rules.h"

#include <toml++/toml.h>

#include <cstdio>
#include <initializer_list>
#include <optional>
#include <set>

namespace fs = std::filesystem;

namespace content {

const char* const kGradeNames[kGradeCount] = {
    "一年级", "二年级上", "二年级下", "三年级上", "三年级下", "四年级上",
    "四年级下", "五年级上", "五年级下", "六年级上", "六年级下", "模拟考场",
};

namespace {

const std::string kEmptyStatus = "空";
const std::string kMockPrefix = "模拟试卷";

std::string inQuotes(std::string_view s) { return "\"" + std::string(s) + "\""; }

std::string gradeFileName(int code) {
    char name[32];
    std::snprintf(name, sizeof name, "grade%02d.toml", code);
    return name;
}

// One table of a source file (the file itself, a unit, a question, a post)
// with the prefix that names it in rejections.
class Entry {
public:
    Entry(const toml::table& table, std::string prefix, Problems& problems, const fs::path& dir)
        : table_(table), prefix_(std::move(prefix)), problems_(problems), dir_(dir) {}

    void reject(const std::string& what) const { problems_.push_back(prefix_ + what); }
    void reject(const Findings& findings) const {
        for (const auto& f : findings)
            reject(f);
    }

    bool has(std::string_view key) const { return table_.contains(key); }

    void allowOnly(std::initializer_list<std::string_view> keys) const {
        for (auto&& [k, v] : table_) {
            bool known = false;
            for (auto key : keys)
                known = known || k.str() == key;
            if (!known)
                reject("unknown key " + inQuotes(k.str()));
        }
    }

    std::optional<std::string> string(std::string_view key, bool required) const {
        const toml::node* node = table_.get(key);
        if (!node) {
            if (required)
                reject(std::string(key) + " is missing");
            return std::nullopt;
        }
        if (!node->is_string()) {
            reject(std::string(key) + " must be a string");
            return std::nullopt;
        }
        return normalizeText(node->as_string()->get());
    }

    std::optional<long long> integer(std::string_view key, bool required) const {
        const toml::node* node = table_.get(key);
        if (!node) {
            if (required)
                reject(std::string(key) + " is missing");
            return std::nullopt;
        }
        if (!node->is_integer()) {
            reject(std::string(key) + " must be an integer");
            return std::nullopt;
        }
        return node->as_integer()->get();
    }

    bool boolean(std::string_view key) const {
        const toml::node* node = table_.get(key);
        if (node && !node->is_boolean())
            reject(std::string(key) + " must be true or false");
        return node && node->is_boolean() && node->as_boolean()->get();
    }

    // An array of tables ([[unit]], [[question]], [[post]]).
    std::vector<const toml::table*> tables(std::string_view key) const {
        std::vector<const toml::table*> out;
        const toml::node* node = table_.get(key);
        if (!node)
            return out;
        const toml::array* array = node->as_array();
        if (!array || !array->is_array_of_tables()) {
            reject(std::string(key) + " must be written as [[" + std::string(key) + "]] tables");
            return out;
        }
        for (const auto& item : *array)
            out.push_back(item.as_table());
        return out;
    }

    // A picture file: relative to the content folder, an existing .svg file.
    std::string picturePath(std::string_view key) const {
        auto path = string(key, false);
        if (!path)
            return {};
        if (!checkPictureFile(std::string(key), *path))
            return {};
        return *path;
    }

    bool checkPictureFile(const std::string& what, const std::string& path) const {
        fs::path p(path);
        if (path.empty() || p.is_absolute() || p.extension() != ".svg") {
            reject(what + " " + inQuotes(path) + " must be an .svg file relative to the content folder");
            return false;
        }
        if (!fs::is_regular_file(dir_ / p)) {
            reject(what + " " + inQuotes(path) + " does not exist");
            return false;
        }
        return true;
    }

    // [x.pictures]: number 1..999 -> picture file.
    PictureList pictures() const {
        PictureList out;
        const toml::node* node = table_.get("pictures");
        if (!node)
            return out;
        const toml::table* list = node->as_table();
        if (!list) {
            reject("pictures must be a table of number = \"file\"");
            return out;
        }
        for (auto&& [k, v] : *list) {
            int n = pictureTagNumber("<pic" + std::string(k.str()) + ">");
            if (n == 0) {
                reject("picture number " + inQuotes(k.str()) + " is not 1 to 999");
                continue;
            }
            if (!v.is_string()) {
                reject("picture " + std::string(k.str()) + " must be a file name");
                continue;
            }
            std::string path(v.as_string()->get());
            if (checkPictureFile("picture " + std::string(k.str()), path))
                out[n] = path;
        }
        return out;
    }

private:
    const toml::table& table_;
    std::string prefix_;
    Problems& problems_;
    const fs::path& dir_;
};

std::optional<toml::table> parse(const fs::path& path, const std::string& name, Problems& problems) {
    try {
        return toml::parse_file(path.string());
    } catch (const toml::parse_error& e) {
        problems.push_back(name + ": line " + std::to_string(e.source().begin.line) + ": " +
                           std::string(e.description()));
    }
    return std::nullopt;
}

// The unit tag names a unit of the question's own grade; stored by position.
int unitPosition(const Entry& e, const std::vector<Unit>& units) {
    auto name = e.string("unit", false);
    if (!name)
        return -1;
    for (std::size_t i = 0; i < units.size(); ++i)
        if (units[i].name == *name)
            return static_cast<int>(i);
    e.reject("unit " + inQuotes(*name) + " is not a unit of this grade");
    return -1;
}

Question readQuestion(const Entry& e, int grade, const std::vector<Unit>& units) {
    Question q;
    e.allowOnly({"level", "unit", "pool", "paper", "key", "text", "picture", "analysis", "analysis_picture"});
    q.unit = unitPosition(e, units);
    auto level = e.integer("level", true);
    if (level && (*level < 1 || *level > 5))
        e.reject("level " + std::to_string(*level) + " is not 1 to 5");
    q.level = level ? static_cast<int>(*level) : 0;

    auto pool = e.string("pool", false).value_or("homework");
    if (pool != "homework" && pool != "mock")
        e.reject("pool " + inQuotes(pool) + " is not \"homework\" or \"mock\"");
    else if (pool == "mock" && grade != 11)
        e.reject("pool \"mock\" belongs to grade 11 only");
    q.mock = pool == "mock";
    auto paper = e.integer("paper", false);
    if (paper && !q.mock)
        e.reject("paper belongs to \"mock\" questions only");
    else if (paper && (*paper < 1 || *paper > 99))
        e.reject("paper " + std::to_string(*paper) + " is not 1 to 99");
    else if (q.mock)
        q.paper = paper ? static_cast<int>(*paper) : 1;

    auto key = e.string("key", true);
    if (key && (key->size() != 1 || (*key)[0] < 'A' || (*key)[0] > 'D'))
        e.reject("key " + inQuotes(*key) + " is not A to D");
    else if (key)
        q.key = (*key)[0];

    q.picture = e.picturePath("picture");
    auto text = e.string("text", true);
    if (text) {
        q.text = *text;
        e.reject(checkQuestionText(q.text, e.has("picture")));
    }

    q.analysisPicture = e.picturePath("analysis_picture");
    auto analysis = e.string("analysis", false);
    if (analysis && gbk::trim(*analysis).empty())
        e.reject("analysis is empty (leave the key out when there is none)");
    else if (analysis) {
        q.analysis = *analysis;
        e.reject(checkAnalysis(q.analysis, e.has("analysis_picture")));
    } else if (e.has("analysis_picture"))
        e.reject("analysis_picture is given but there is no analysis");
    return q;
}

Unit readUnit(const Entry& e, int grade) {
    Unit u;
    e.allowOnly({"name", "status", "page", "pictures"});
    if (auto name = e.string("name", true)) {
        u.name = *name;
        e.reject(checkShortText("name", u.name, kUnitNameBytes));
        bool mockPaper = u.name.rfind(kMockPrefix, 0) == 0;
        if (mockPaper && grade != 11)
            e.reject("only grade 11 may have a unit named \"" + kMockPrefix + "...\"");
    }
    if (auto status = e.string("status", true)) {
        u.status = *status;
        e.reject(checkShortText("status", u.status, kStatusBytes));
    }
    u.pictures = e.pictures();
    auto page = e.string("page", false);
    if (u.status == kEmptyStatus) {
        if (page || e.has("pictures"))
            e.reject("a unit with status \"空\" has no page and no pictures");
        return u;
    }
    if (!page || gbk::trim(*page).empty()) {
        e.reject("has no page (give one, or set status \"空\")");
        return u;
    }
    u.page = *page;
    e.reject(checkPageText("page", u.page, u.pictures));
    return u;
}

std::string unitPrefix(const std::string& file, std::size_t index, const toml::table& t) {
    std::string prefix = file + ": unit " + std::to_string(index + 1);
    if (auto name = t["name"].value<std::string>())
        prefix += " " + inQuotes(*name);
    return prefix + ": ";
}

void checkUnitNames(const Grade& g, Problems& problems) {
    std::set<std::string> seen;
    for (std::size_t i = 0; i < g.units.size(); ++i)
        if (!g.units[i].name.empty() && !seen.insert(g.units[i].name).second)
            problems.push_back(g.file + ": unit " + std::to_string(i + 1) + ": name " +
                               inQuotes(g.units[i].name) + " is used twice in this grade");
}

// Papers are numbered 1, 2, ... without a gap, and a paper is drawn whole:
// one holds at most a homework's 20 questions.
void checkPapers(const Grade& g, Problems& problems) {
    std::map<int, int> sizes;
    for (const auto& q : g.questions)
        if (q.mock && q.paper > 0)
            ++sizes[q.paper];
    int expected = 1;
    for (const auto& [paper, size] : sizes) {
        if (paper != expected)
            problems.push_back(g.file + ": mock paper " + std::to_string(expected) +
                               " has no questions (papers are numbered 1, 2, ... without a gap)");
        if (size > kPaperSize)
            problems.push_back(g.file + ": mock paper " + std::to_string(paper) + " has " +
                               std::to_string(size) + " questions (at most " + std::to_string(kPaperSize) + ")");
        expected = paper + 1;
    }
}

// The mock paper is drawn for a grade-11 unit named "模拟试卷...": both must exist.
void checkMockPaper(const Grade& g, Problems& problems) {
    bool mockUnit = false, mockQuestions = false;
    for (const auto& u : g.units)
        mockUnit = mockUnit || u.name.rfind(kMockPrefix, 0) == 0;
    for (const auto& q : g.questions)
        mockQuestions = mockQuestions || q.mock;
    if (mockQuestions && !mockUnit)
        problems.push_back(g.file + ": there are \"mock\" questions but no unit named \"" +
                           kMockPrefix + "...\" to draw them");
    if (mockUnit && !mockQuestions)
        problems.push_back(g.file + ": a unit is named \"" + kMockPrefix +
                           "...\" but there are no \"mock\" questions");
    checkPapers(g, problems);
}

Grade readGrade(const fs::path& dir, int code, Problems& problems) {
    Grade g;
    g.code = code;
    std::string name = gradeFileName(code);
    fs::path path = dir / "grades" / name;
    if (!fs::exists(path))
        return g;
    g.file = name;
    auto table = parse(path, name, problems);
    if (!table)
        return g;
    Entry file(*table, name + ": ", problems, dir);
    file.allowOnly({"grade", "name", "unit", "question"});
    auto gradeNo = file.integer("grade", true);
    if (gradeNo && *gradeNo != code)
        file.reject("grade is " + std::to_string(*gradeNo) + ", the file is for grade " +
                    std::to_string(code));
    auto gradeName = file.string("name", true);
    if (gradeName && *gradeName != kGradeNames[code])
        file.reject("name " + inQuotes(*gradeName) + " is not " + inQuotes(kGradeNames[code]));

    auto units = file.tables("unit");
    for (std::size_t i = 0; i < units.size(); ++i)
        g.units.push_back(readUnit(Entry(*units[i], unitPrefix(name, i, *units[i]), problems, dir), code));
    auto questions = file.tables("question");
    for (std::size_t i = 0; i < questions.size(); ++i) {
        std::string prefix = name + ": question " + std::to_string(i + 1) + ": ";
        g.questions.push_back(readQuestion(Entry(*questions[i], prefix, problems, dir), code, g.units));
    }
    if (g.questions.size() > 999)
        file.reject(std::to_string(g.questions.size()) + " questions (at most 999)");
    checkUnitNames(g, problems);
    if (code == 11)
        checkMockPaper(g, problems);
    return g;
}

// Files in grades/ that no grade code reads are most likely misnamed.
void checkGradeFolder(const fs::path& dir, Problems& problems) {
    std::set<std::string> known;
    for (int code = 0; code < kGradeCount; ++code)
        known.insert(gradeFileName(code));
    std::error_code ec;
    for (const auto& item : fs::directory_iterator(dir / "grades", ec))
        if (item.path().extension() == ".toml" && !known.count(item.path().filename().string()))
            problems.push_back("grades/" + item.path().filename().string() +
                               ": not a grade file (grade00.toml to grade11.toml)");
}

Post readPost(const Entry& e) {
    Post p;
    e.allowOnly({"fixed", "title", "text", "pictures"});
    p.fixed = e.boolean("fixed");
    if (auto title = e.string("title", true)) {
        p.title = *title;
        e.reject(checkShortText("title", p.title, kPageLineBytes));
    }
    p.pictures = e.pictures();
    auto text = e.string("text", true);
    if (text && gbk::trim(*text).empty())
        e.reject("text is empty");
    else if (text) {
        p.text = *text;
        e.reject(checkPageText("text", p.text, p.pictures));
    }
    return p;
}

std::vector<Post> readPosts(const fs::path& dir, Problems& problems) {
    const std::string name = "posts.toml";
    std::vector<Post> posts;
    if (!fs::exists(dir / name)) {
        problems.push_back(name + ": missing (it must hold the fixed post)");
        return posts;
    }
    auto table = parse(dir / name, name, problems);
    if (!table)
        return posts;
    Entry file(*table, name + ": ", problems, dir);
    file.allowOnly({"post"});
    auto list = file.tables("post");
    int fixed = 0;
    for (std::size_t i = 0; i < list.size(); ++i) {
        std::string prefix = name + ": post " + std::to_string(i + 1) + ": ";
        posts.push_back(readPost(Entry(*list[i], prefix, problems, dir)));
        fixed += posts.back().fixed ? 1 : 0;
    }
    if (fixed != 1)
        file.reject(std::to_string(fixed) + " fixed posts (exactly one post must be fixed = true)");
    return posts;
}

}  // namespace

std::string normalizeText(std::string_view text) {
    std::string lines;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
            continue;
        lines += text[i];
    }
    while (!lines.empty() && lines.back() == '\n')
        lines.pop_back();
    std::string out;
    for (char c : lines) {
        if (c == '\n')
            out += '\r';
        out += c;
    }
    return out;
}

Content readContent(const fs::path& dir, Problems& problems) {
    Content c;
    if (!fs::is_directory(dir)) {
        problems.push_back(dir.string() + ": not a folder");
        return c;
    }
    std::size_t units = 0;
    for (int code = 0; code < kGradeCount; ++code) {
        c.grades.push_back(readGrade(dir, code, problems));
        units += c.grades.back().units.size();
    }
    if (units > static_cast<std::size_t>(kMaxUnitId))
        problems.push_back("grades: " + std::to_string(units) + " units in all (at most " +
                           std::to_string(kMaxUnitId) + ", the ids below the posts)");
    checkGradeFolder(dir, problems);
    c.posts = readPosts(dir, problems);
    return c;
}

}  // namespace content
