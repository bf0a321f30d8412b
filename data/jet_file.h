// Recognising a data file by its first page, and the database password a
// Jet 4.0 (Access 2000) file keeps in its header.
#pragma once

#include <array>
#include <string>

namespace data {

// The size of a Jet 4.0 page, and of its header page 0.
inline constexpr std::size_t kJetPageSize = 4096;

enum class FileFormat {
    SQLite,  // our own format
    Jet4,    // Jet 4.0: converted once into ours
    Other,   // anything else, among them Jet 3 and Access 2007 files
};

struct DetectedFormat {
    FileFormat format = FileFormat::Other;
    // What the file is, for messages: "a Jet 3 (Access 97) file", "an empty
    // file", "a file of unknown format (it begins 3c 21 44 4f)", ...
    std::string description;
};

// Reads the start of the file.  Throws DataError when it cannot be read.
DetectedFormat detectFileFormat(const std::string& path);

// The database password held in a Jet 4.0 header page, in UTF-8; empty when
// the file has none.  Throws DataError when the header cannot hold one (a
// creation date that is not a number).
std::string jetDatabasePassword(const std::array<unsigned char, kJetPageSize>& page0);

// Checks the Jet 4.0 file's password against the one of the connection
// string (UTF-8 bytes, as the connection layer hashes them) as the Jet
// engine does: the same characters, case included.  A file without a
// password is refused when a password is given.  Throws DataError naming
// the file.
void checkJetPassword(const std::string& path, const std::string& password);

}  // namespace data
