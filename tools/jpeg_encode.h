// JPEG encoding, which only the content builder needs (the program only
// decodes: platform/jpeg.h).
#pragma once

#include <QImage>

#include <vector>

namespace jpeg {

// Encodes an image as a baseline JPEG with the given quality (1..100)
// and no chroma subsampling, so thin coloured lines stay clean.
std::vector<unsigned char> encode(const QImage& image, int quality = 92);

}  // namespace jpeg
