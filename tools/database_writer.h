// Writes the database file of docs/database.md from checked content.
#pragma once

#include "content.h"

#include <filesystem>
#include <map>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace content {

struct WriteError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

using Jpeg = std::vector<unsigned char>;

// Rendered pictures, by their path relative to the content folder.
using PictureData = std::map<std::string, Jpeg>;

inline constexpr const char* kDatabasePassword = "739184026551903";
inline constexpr const char* kDatabaseFormat = "1";

// Values of b1.zd10, the pool a question is drawn from.
inline constexpr int kMockPaper = 0;
inline constexpr int kInBank = 1;
inline constexpr int kHomeworkPool = 2;

// The tables, the view v_b and the rows the program needs (b2 row 1, b3
// slots 1..20, b5 row 1), as SQL statements.
const char* programTablesSql();
// The table that carries the format and the password check.
const char* infoTableSql();

// Lowercase hex SHA-256 of the salt bytes followed by the password bytes.
std::string passwordDigest(const std::vector<unsigned char>& salt, const std::string& password);

// The rows of dbinfo for a new file, name and value: the format, a fresh
// random salt (hex) and the digest of the password with it.
std::vector<std::pair<std::string, std::string>> infoRows(const std::string& password);

// Creates a new database file at path (which must not exist) holding the
// tables, the required rows and the content.  Throws WriteError.
void writeDatabase(const std::filesystem::path& path, const Content& content,
                   const PictureData& pictures);

}  // namespace content
