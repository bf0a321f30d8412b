// What a picture may use: a short list of elements, their attributes and
// the forms of their values, read with QXmlStreamReader before Qt's SVG
// module draws the picture, so that an author learns the line and the
// element of a mistake instead of getting a picture drawn differently.
#pragma once

#include <stdexcept>
#include <string_view>

namespace svg {

// Anything outside the list, or malformed: the message names the line and
// the element ("line 4: <image> is not supported"), not the file.
struct Error : std::runtime_error {
    using std::runtime_error::runtime_error;
};

struct Size {
    int width;
    int height;
};

// Checks SVG text (UTF-8 bytes, any content) against the list; returns the
// root's width and height, whole pixels from 1 to 4000.  Throws Error, also
// for more than 2000 elements or more than 40,000 numbers in all the paths
// and point lists together.
Size check(std::string_view text);

}  // namespace svg
