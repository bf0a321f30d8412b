#include "jpeg_encode.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>

#include <jpeglib.h>

namespace jpeg {
namespace {

struct ErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

void onError(j_common_ptr info) {
    auto* err = reinterpret_cast<ErrorManager*>(info->err);
    (*info->err->format_message)(info, err->message);
    std::longjmp(err->jump, 1);
}

// Compresses RGB888 rows into a malloc'd buffer.  Returns false (with the
// library's message) when libjpeg reports an error; no C++ objects live in
// this frame, so the longjmp skips no destructors.
bool compress(const QImage& rgb, int quality, unsigned char** out, unsigned long* outSize,
              char* message) {
    jpeg_compress_struct info;
    ErrorManager err;
    info.err = jpeg_std_error(&err.pub);
    err.pub.error_exit = onError;
    if (setjmp(err.jump)) {
        std::snprintf(message, JMSG_LENGTH_MAX, "%s", err.message);
        jpeg_destroy_compress(&info);
        return false;
    }
    jpeg_create_compress(&info);
    jpeg_mem_dest(&info, out, outSize);
    info.image_width = static_cast<JDIMENSION>(rgb.width());
    info.image_height = static_cast<JDIMENSION>(rgb.height());
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, quality, TRUE);
    for (int c = 0; c < info.num_components; ++c) {
        info.comp_info[c].h_samp_factor = 1;
        info.comp_info[c].v_samp_factor = 1;
    }
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(rgb.constScanLine(static_cast<int>(info.next_scanline)));
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    return true;
}

}  // namespace

std::vector<unsigned char> encode(const QImage& image, int quality) {
    if (image.isNull())
        throw std::invalid_argument("jpeg::encode: empty image");
    if (quality < 1 || quality > 100)
        throw std::invalid_argument("jpeg::encode: quality must be 1..100");
    // Transparent parts are laid on white, the way the program shows pictures.
    QImage rgb = image.hasAlphaChannel()
                     ? QImage(image.size(), QImage::Format_RGB888)
                     : image.convertToFormat(QImage::Format_RGB888);
    if (image.hasAlphaChannel()) {
        rgb.fill(Qt::white);
        QImage over = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
        for (int y = 0; y < rgb.height(); ++y) {
            const auto* src = reinterpret_cast<const QRgb*>(over.constScanLine(y));
            uchar* dst = rgb.scanLine(y);
            for (int x = 0; x < rgb.width(); ++x) {
                int a = qAlpha(src[x]);
                dst[3 * x] = static_cast<uchar>(qRed(src[x]) + 255 - a);
                dst[3 * x + 1] = static_cast<uchar>(qGreen(src[x]) + 255 - a);
                dst[3 * x + 2] = static_cast<uchar>(qBlue(src[x]) + 255 - a);
            }
        }
    }
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    char message[JMSG_LENGTH_MAX] = {};
    bool ok = compress(rgb, quality, &buffer, &size, message);
    std::vector<unsigned char> bytes;
    if (ok)
        bytes.assign(buffer, buffer + size);
    std::free(buffer);
    if (!ok)
        throw std::runtime_error(std::string("jpeg::encode: ") + message);
    return bytes;
}

}  // namespace jpeg
