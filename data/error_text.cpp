#include "error_text.h"

#include <regex>
#include <vector>

namespace data {
namespace {

struct Rule {
    std::regex english;
    const char* chinese;  // $1, $2: the names the English text carries
};

// The first rule that matches a whole problem wins; "PATH: " in front of a
// problem is kept as the place, "：" after it.
const std::vector<Rule>& rules() {
    static const std::vector<Rule> table = [] {
        std::vector<std::pair<const char*, const char*>> text = {
            {R"(wrong database password)", "数据库的密码不对"},
            {R"(file is not a database)", "这不是一个数据库文件"},
            {R"(the database file is damaged(: .*)?)", "数据库文件已损坏"},
            {R"(database disk image is malformed)", "数据库文件已损坏"},
            {R"(the database file is read-only)", "数据库文件是只读的，无法写入"},
            {R"(the database has no table (\S+))", "数据库里没有表 $1"},
            {R"(the database has no (\S+))", "数据库里没有 $1"},
            {R"(the table (\S+) has no column (\S+))", "表 $1 缺少列 $2"},
            {R"(the column (\S+) is declared .*)", "列 $1 的类型不对"},
            {R"((\S+) is an? (\S+), not a table)", "$1 不是表"},
            {R"(the connection string names no Data Source)", "连接字符串没有指明数据库文件"},
            {R"(the Jet file has no table (\S+))", "Access 数据库里没有表 $1"},
            {R"(the Jet file's table (\S+) has no column (\S+))", "Access 数据库的表 $1 缺少列 $2"},
            {R"(the Jet file's column (\S+) is .*)", "Access 数据库的列 $1 的类型不对"},
            {R"((?:libmdb cannot open the Jet file|the Jet file is damaged.*))", "Access 数据库文件已损坏"},
            {R"(scrambled text is damaged.*)", "题目的加密文字已损坏"},
            {R"((.+) is .*, not a Jet 4\.0 file)", "$1 不是 Access 2000 格式的数据库文件"},
            {R"((.+) is an empty file)", "$1 是一个空文件"},
            {R"((.+) is a file of unknown format.*)", "$1 的格式无法识别"},
            {R"(the program opens its own database files and converts Jet 4\.0 ones)",
             "程序只能打开自己的数据库文件，或者转换 Access 2000 格式的文件"},
            {R"(no such table: (\S+))", "数据库里没有表 $1"},
            {R"(cannot open (.+?): .*)", "无法打开 $1"},
            {R"(cannot (?:read|lock) (.+?)(?:: .*)?)", "无法读取 $1"},
            {R"(cannot (?:write|create|sync|replace) (.+?)(?:: .*)?)", "无法写入 $1"},
            {R"(the folder (.+?) cannot be written.*)", "文件夹 $1 不能写入"},
        };
        std::vector<Rule> compiled;
        // "." stops at a line break; SQLite's check reports span lines.
        for (const auto& [english, chinese] : text) {
            std::string pattern = english;
            for (std::size_t at = 0; (at = pattern.find(".*", at)) != std::string::npos; at += 6)
                pattern.replace(at, 2, "[\\s\\S]*");
            compiled.push_back({std::regex(pattern), chinese});
        }
        return compiled;
    }();
    return table;
}

std::string sayOne(const std::string& problem) {
    // A path in front ("/x/kelvma.dat: ...") is the place of the problem.
    static const std::regex placed(R"((/[^:]*): ([\s\S]*))");
    std::smatch parts;
    std::string place, rest = problem;
    if (std::regex_match(problem, parts, placed)) {
        place = parts[1];
        rest = parts[2];
    }
    for (const Rule& rule : rules()) {
        std::smatch m;
        if (!std::regex_match(rest, m, rule.english)) continue;
        std::string said = m.format(rule.chinese);
        return place.empty() ? said : place + "：" + said;
    }
    return problem;
}

}  // namespace

std::string chineseDetail(const std::string& englishDetail) {
    std::string out;
    std::size_t from = 0;
    while (true) {
        std::size_t end = englishDetail.find("; ", from);
        std::string one = englishDetail.substr(from, end == std::string::npos ? std::string::npos : end - from);
        if (!out.empty()) out += "；";
        out += sayOne(one);
        if (end == std::string::npos) return out;
        from = end + 2;
    }
}

}  // namespace data
