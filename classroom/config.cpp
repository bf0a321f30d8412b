#include "config.h"

#include "pg.h"

#include <pwd.h>
#include <unistd.h>

#include <toml++/toml.h>

#include <fstream>
#include <map>
#include <sstream>
#include <stdexcept>

namespace classroom {
namespace {

struct BadFile : std::runtime_error {
    using std::runtime_error::runtime_error;
};

bool startsWith(const std::string& s, const char* prefix) { return s.rfind(prefix, 0) == 0; }

// A libpq URI without a password, or BadFile.
void checkServer(const std::string& uri) {
    if (!startsWith(uri, "postgresql://") && !startsWith(uri, "postgres://"))
        throw BadFile("class.server is not a postgresql:// URI");
    try {
        ServerParams(uri);
    } catch (const ServerError& e) {
        throw BadFile(e.detail().empty() ? "class.server holds a password (it belongs in the libpq password file)"
                                         : "class.server: " + e.detail());
    }
}

// The [class] keys of one file; BadFile when it cannot be used.
std::optional<std::map<std::string, std::string>> readFile(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) throw BadFile("cannot be read");
    std::stringstream text;
    text << in.rdbuf();
    toml::table root;
    try {
        root = toml::parse(text.str(), file.string());
    } catch (const toml::parse_error& e) {
        throw BadFile("line " + std::to_string(e.source().begin.line) + ": " + std::string(e.description()));
    }
    const toml::node* node = root.get("class");
    if (!node) return std::nullopt;
    const toml::table* table = node->as_table();
    if (!table) throw BadFile("class is not a table");
    std::map<std::string, std::string> keys;
    for (const char* key : {"server", "class", "pupil", "school"}) {
        const toml::node* value = table->get(key);
        if (!value) continue;
        const auto* string = value->as_string();
        if (!string) throw BadFile(std::string("class.") + key + " is not a string");
        if (string->get().empty() && std::string(key) != "school")
            throw BadFile(std::string("class.") + key + " is empty");
        keys[key] = string->get();
    }
    if (keys.count("server")) checkServer(keys["server"]);
    return keys;
}

}  // namespace

std::vector<std::filesystem::path> configFiles(const char* xdgConfigHome, const char* home) {
    std::vector<std::filesystem::path> files{"/etc/aoshu/aoshu.toml"};
    std::filesystem::path user;
    if (xdgConfigHome && std::filesystem::path(xdgConfigHome).is_absolute())
        user = xdgConfigHome;
    else if (home && *home)
        user = std::filesystem::path(home) / ".config";
    if (!user.empty()) files.push_back(user / "aoshu" / "aoshu.toml");
    return files;
}

Config readConfig(const std::vector<std::filesystem::path>& files, const std::string& defaultPupil) {
    Config config;
    std::map<std::string, std::string> keys;
    bool classTable = false;
    std::filesystem::path lastWithClass;
    for (const std::filesystem::path& file : files) {
        std::error_code ec;
        if (!std::filesystem::exists(file, ec)) continue;
        try {
            const auto found = readFile(file);
            if (!found) continue;
            classTable = true;
            lastWithClass = file;
            for (const auto& [key, value] : *found) keys[key] = value;
        } catch (const BadFile& e) {
            config.problems.push_back(file.string() + ": " + e.what());
        }
    }
    if (classTable && (!keys.count("server") || !keys.count("class"))) {
        config.problems.push_back(lastWithClass.string() + ": [class] needs both server and class");
        classTable = false;
    }
    if (!config.problems.empty()) config.notice = kBadConfigNotice;
    if (!classTable) return config;
    config.settings = Settings{keys["server"], keys["class"], keys.count("pupil") ? keys["pupil"] : defaultPupil,
                               keys["school"]};
    return config;
}

std::string defaultPupil(const std::string& gecos, const std::string& login) {
    const std::string full = gecos.substr(0, gecos.find(','));
    return full.find_first_not_of(' ') == std::string::npos ? login : full;
}

std::string accountPupil() {
    const passwd* account = ::getpwuid(::getuid());
    if (!account) return "uid " + std::to_string(::getuid());
    return defaultPupil(account->pw_gecos ? account->pw_gecos : "", account->pw_name ? account->pw_name : "");
}

}  // namespace classroom
