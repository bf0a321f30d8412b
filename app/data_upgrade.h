// The start-up step after the data folder is chosen: brings new content
// into the database the program is about to open, keeping the pupil's
// record (data/upgrade_start.h).  In the user's own folder the source is
// the installed database; beside the program it is dat/kelvma.dat.new,
// which is removed once merged.
#pragma once

#include <filesystem>
#include <string>

namespace app {

// Returns a sentence for the pupil (UTF-8) when something went wrong, else
// an empty string; what happened goes to standard error.
std::string upgradeDatabase(const std::filesystem::path& programDir, const std::filesystem::path& dataFolder);

}  // namespace app
