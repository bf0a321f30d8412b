// The content version a built database carries in dbinfo: the sequence
// number the content authors raise with each release of the content
// (content/version.toml, "sequence = N"; 0 when the file is absent) and a
// SHA-256 digest of every source file under the content folder, so that
// any change of the content gives another version even when the number
// was not raised.  A user's copy whose version differs from the installed
// one is merged at start-up (data/upgrade.h).
#pragma once

#include "content.h"

#include <filesystem>
#include <string>

namespace content {

struct ContentVersion {
    long long sequence = 0;
    std::string digest;  // lowercase hex
};

// Reads the sequence number and digests the folder; a malformed
// version.toml adds a problem.
ContentVersion readContentVersion(const std::filesystem::path& contentDir, Problems& problems);

// Writes the version and the schema version into the dbinfo of the database
// file at path.  Throws WriteError.
void stampVersion(const std::filesystem::path& path, const ContentVersion& version);

}  // namespace content
