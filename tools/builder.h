// The content builder: content/ -> database file, and SVG -> picture file.
#pragma once

#include "content.h"

#include <filesystem>

namespace content {

// Reads, checks and renders everything under contentDir and writes the
// database to out.  The file appears only when everything is right (it is
// written under a temporary name and renamed at the end); otherwise the
// rejections are returned and out is left as it was.
// Warnings that do not stop the build (near-duplicate questions) go to
// warnings when given.
Problems buildDatabase(const std::filesystem::path& contentDir, const std::filesystem::path& out,
                       std::vector<std::string>* warnings = nullptr);

// Renders one SVG file to a .jpg (JPEG) or .bmp (24-bit) file.  Returns the
// rejection, or an empty string on success.
std::string renderPicture(const std::filesystem::path& svg, const std::filesystem::path& out);

// Renders one SVG file to a .png file of side x side pixels on a transparent
// background (a menu icon).  Returns the rejection, or an empty string.
std::string renderIcon(const std::filesystem::path& svg, int side, const std::filesystem::path& out);

}  // namespace content
