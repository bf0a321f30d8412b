// Writes the database file of docs/database.md from checked content, with
// the tables of data/schema.h.
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

// Values of b1.zd10, the pool a question is drawn from.
inline constexpr int kMockPaper = 0;
inline constexpr int kInBank = 1;
inline constexpr int kHomeworkPool = 2;

// Creates a new database file at path (which must not exist) holding the
// tables, the required rows and the content.  Throws WriteError.
void writeDatabase(const std::filesystem::path& path, const Content& content,
                   const PictureData& pictures);

}  // namespace content
