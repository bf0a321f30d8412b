// Class mode on a pupil's machine: which class server this machine sends
// its gradings to, and as whom.  Two optional TOML files, the school's and
// the user's; a key in the user's file wins over the same key in the
// school's:
//
//   [class]
//   server = "postgresql://aoshu@school-server/aoshu"   # libpq URI, no password
//   class  = "三年级二班"
//   pupil  = "王小明"      # default: the account's full name, else its login
//   school = "实验小学"    # optional
//
// Without a [class] table in either file nothing changes.  A file that
// cannot be used (bad TOML, a key of the wrong type, a URI that is not one
// or holds a password: passwords belong in libpq's password file) is left
// out as if it were absent, and said so once.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace classroom {

struct Settings {
    std::string server;     // libpq connection URI
    std::string className;
    std::string pupil;
    std::string school;     // may be empty
};

struct Config {
    std::optional<Settings> settings;  // class mode when set
    std::vector<std::string> problems;  // one line per file left out, for stderr
    std::string notice;                 // the pupil's line (UTF-8) when a file was left out
};

// The files, the school's first: /etc/aoshu/aoshu.toml and
// $XDG_CONFIG_HOME/aoshu/aoshu.toml ($HOME/.config when unset or relative).
std::vector<std::filesystem::path> configFiles(const char* xdgConfigHome, const char* home);

// Reads the files in order (a missing one is skipped); defaultPupil names
// the pupil when no file does.
Config readConfig(const std::vector<std::filesystem::path>& files, const std::string& defaultPupil);

// The pupil's default name: the full name of the GECOS field (up to its
// first comma), else the login name.
std::string defaultPupil(const std::string& gecos, const std::string& login);
// The same for the account the program runs under.
std::string accountPupil();

// The pupil's line for a file left out.
inline constexpr const char* kBadConfigNotice = "班级设置文件有误，已忽略";

}  // namespace classroom
