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

// Sets aside what the XDG rules call invalid: an XDG_DATA_HOME or
// XDG_CACHE_HOME that is not an absolute path is taken out of the
// environment, so that QStandardPaths, here and wherever the program asks
// it, falls back to the folders under HOME.  Called once at the start,
// before any other thread runs.
void ignoreRelativeXdgDirs();

// The user's data folder for this program: QStandardPaths' generic data
// location ($XDG_DATA_HOME, by default ~/.local/share) + "/aoshu".  Empty
// when neither XDG_DATA_HOME nor HOME names an absolute folder.
std::filesystem::path userDataFolder();

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
DataPlace chooseDataFolder(const std::filesystem::path& programDir);

// Makes userFolder/dat/kelvma.dat a copy of installed unless it exists:
// copied to a temporary name beside it, flushed to disk, then renamed to
// kelvma.dat without replacing a file that another start made meanwhile.
// Returns the problem, or an empty string.
std::string provideUserDatabase(const std::filesystem::path& installed, const std::filesystem::path& userFolder);

}  // namespace app
