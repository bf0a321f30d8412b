// Pictures from the database file decoded within a bound: the file says how
// large a picture is, and a decoded picture takes 4 bytes a pixel.
#pragma once

#include <QImage>
#include <QString>

#include <vector>

namespace pictures {

// More pixels than this (64 MB decoded) are not decoded.
inline constexpr long long kMaxPixels = 4096ll * 4096;

// The height decodeWithin's picture will have: the header's, or 40.
// Throws jpeg::DecodeError for a header that cannot be read.
int heightWithin(const std::vector<unsigned char>& jpegBytes);

// The picture, or, when its header claims more than kMaxPixels pixels, a
// picture width x 40 pixels of the sentence (red on white) in its place.
// Throws jpeg::DecodeError for a damaged picture.
QImage decodeWithin(const std::vector<unsigned char>& jpegBytes, const QString& sentence, int width);

}  // namespace pictures
