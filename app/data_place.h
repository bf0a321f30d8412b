// Where the program keeps its database.  From a writable folder (the build
// tree) it uses dat/kelvma.dat beside the executable, as it always has.
// Installed system-wide it cannot write there, so every user gets a copy of
// the installed database in their own data folder, $XDG_DATA_HOME/aoshu
// (by default ~/.local/share/aoshu), made the first time and kept from then
// on: this file never replaces it.  New content reaches it through the
// merge of the start-up (data_upgrade.h), which keeps the pupil's record.
// The connection string is still built from the folder holding dat/.
#pragma once

#include <filesystem>
#include <string>

namespace app {

// The parts of the environment that name the user's data folder.
struct UserDirs {
    std::string xdgDataHome;  // $XDG_DATA_HOME; used only when absolute
    std::string home;         // $HOME
};

UserDirs userDirsFromEnvironment();

struct DataPlace {
    std::filesystem::path folder;  // the folder holding dat/kelvma.dat
    std::string problem;           // why no per-user copy could be made; empty when fine
};

// The folder holding dat/ for a program in programDir.  Beside the program
// when its dat/ folder and the database in it can be written to (for root:
// and grant someone write permission, as root may write anything), or when
// there is no dat/ there at all (nothing to copy); otherwise the user's
// data folder, where the installed database is copied if it is not there
// yet.  When that copy cannot be made, problem says why and folder is still
// the user's folder, where the database then fails to open.
DataPlace chooseDataFolder(const std::filesystem::path& programDir, const UserDirs& dirs);

// Makes userFolder/dat/kelvma.dat a copy of installed unless it exists:
// copied to a temporary name beside it, flushed to disk, then renamed to
// kelvma.dat without replacing a file that another start made meanwhile.
// Returns the problem, or an empty string.
std::string provideUserDatabase(const std::filesystem::path& installed, const std::filesystem::path& userFolder);

}  // namespace app
