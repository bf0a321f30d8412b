// The window's own pictures, built into the program.
#pragma once

#include <span>
#include <string_view>

// The file image of the named picture ("banner.jpg", "tile-a.bmp", ...),
// or an empty span when there is no such picture.
std::span<const unsigned char> artwork(std::string_view name);
