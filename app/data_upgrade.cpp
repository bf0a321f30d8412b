#include "data_upgrade.h"

#include "connection_string.h"
#include "datam.h"
#include "upgrade_start.h"

#include <iostream>

namespace app {

namespace {

// The password the program opens its database with.
std::string databasePassword() {
    return data::parseConnectionString(data::Tdatam::BuildConnectionString("."))["jet oledb:database password"];
}

}  // namespace

std::string upgradeDatabase(const std::filesystem::path& programDir, const std::filesystem::path& dataFolder) {
    const std::filesystem::path copy = dataFolder / "dat" / "kelvma.dat";
    std::error_code ec;
    const bool beside = programDir == dataFolder || std::filesystem::equivalent(programDir, dataFolder, ec);
    const std::filesystem::path source = programDir / "dat" / (beside ? "kelvma.dat.new" : "kelvma.dat");
    const data::upgrade::StartResult result =
        data::upgrade::upgradeAtStart(source.string(), copy.string(), databasePassword(), beside);
    if (!result.detail.empty()) std::cerr << "aoshu: " << result.detail << "\n";
    return result.notice;
}

}  // namespace app
