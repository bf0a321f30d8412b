// JPEG decoding and encoding with libjpeg, from and to memory.
#pragma once

#include "pupil_error.h"

#include <QImage>

#include <cstddef>
#include <stdexcept>
#include <vector>

namespace jpeg {

// Its lead for the error box: the picture is damaged.
struct DecodeError : ui::PupilError {
    explicit DecodeError(const std::string& detail) : ui::PupilError("图片已损坏，无法显示。", detail) {}
};

// Decodes a JPEG file image held in memory into a QImage::Format_RGB32
// image of the picture's own size. Grey pictures come out as RGB.
// Throws DecodeError for empty, truncated, damaged or unsupported data
// (a truncated file is an error here, not a picture padded with grey).
QImage decode(const unsigned char* data, std::size_t size);
QImage decode(const std::vector<unsigned char>& bytes);

// The picture's size from its header alone, without decoding the picture.
// Throws DecodeError for empty data or a header that cannot be read; damage
// further on only shows when the picture is decoded.
QSize size(const std::vector<unsigned char>& bytes);

}  // namespace jpeg
