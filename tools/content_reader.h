// Reads content/ (grades/gradeNN.toml, posts.toml) and checks every entry.
#pragma once

#include "content.h"

#include <filesystem>
#include <string>

namespace content {

// Reads and checks the sources under dir.  Every rejection is appended to
// problems as "file: entry: what is wrong"; the content is only good when
// problems stays empty.  Pictures are checked for existence here; their SVG
// is checked when they are rendered.
Content readContent(const std::filesystem::path& dir, Problems& problems);

// A TOML string as stored: line breaks become CR LF, trailing ones dropped.
std::string normalizeText(std::string_view text);

}  // namespace content
