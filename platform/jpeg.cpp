#include "jpeg.h"

#include <QtGlobal>

#include <csetjmp>
#include <cstdio>  // jpeglib.h needs FILE declared first
#include <jpeglib.h>

namespace jpeg {
namespace {

// libjpeg reports errors through error_exit, which must not return.  We jump
// back with longjmp, so every function between the jump and the setjmp must
// be plain C or hold no objects with destructors.  Everything here is
// trivially destructible on purpose.
struct ErrorTrap {
    jpeg_error_mgr mgr;  // first member: libjpeg sees only this part
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

struct Session {
    jpeg_decompress_struct info;
    ErrorTrap trap;
};

[[noreturn]] void onError(j_common_ptr info)
{
    auto* trap = reinterpret_cast<ErrorTrap*>(info->err);
    info->err->format_message(info, trap->message);
    std::longjmp(trap->jump, 1);
}

// Warnings (level -1) mean damaged data, e.g. "Premature end of JPEG file",
// after which libjpeg would carry on and pad the picture with grey.  Trace
// messages (level >= 0) are ignored.
void onMessage(j_common_ptr info, int level)
{
    if (level < 0)
        onError(info);
}

// The decoded picture must fit a QImage we are willing to allocate: a damaged
// header may claim up to 65500 x 65500 pixels.
constexpr unsigned long long kMaxImageBytes = 256ull * 1024 * 1024;

constexpr J_COLOR_SPACE kRgb32Layout =
    Q_BYTE_ORDER == Q_LITTLE_ENDIAN ? JCS_EXT_BGRA : JCS_EXT_ARGB;

enum class Step { Ok, LibjpegFailed, Unsupported, TooLarge };

// Creates the decompressor and reads the header.
Step readHeader(Session& s, const unsigned char* data, std::size_t size)
{
    s.info.err = jpeg_std_error(&s.trap.mgr);
    s.trap.mgr.error_exit = onError;
    s.trap.mgr.emit_message = onMessage;
    if (setjmp(s.trap.jump))
        return Step::LibjpegFailed;

    jpeg_create_decompress(&s.info);
    jpeg_mem_src(&s.info, data, static_cast<unsigned long>(size));
    jpeg_read_header(&s.info, TRUE);
    return Step::Ok;
}

// Reads the header and starts decompression into the QImage::Format_RGB32
// byte layout.
Step start(Session& s, const unsigned char* data, std::size_t size)
{
    if (Step step = readHeader(s, data, size); step != Step::Ok)
        return step;
    if (setjmp(s.trap.jump))
        return Step::LibjpegFailed;

    if (s.info.jpeg_color_space == JCS_CMYK || s.info.jpeg_color_space == JCS_YCCK)
        return Step::Unsupported;
    const unsigned long long bytes =
        4ull * s.info.image_width * s.info.image_height;
    if (bytes > kMaxImageBytes)
        return Step::TooLarge;
    s.info.out_color_space = kRgb32Layout;
    jpeg_start_decompress(&s.info);
    return Step::Ok;
}

Step readRows(Session& s, unsigned char* bits, std::size_t bytesPerLine)
{
    if (setjmp(s.trap.jump))
        return Step::LibjpegFailed;

    while (s.info.output_scanline < s.info.output_height) {
        JSAMPROW row = bits + s.info.output_scanline * bytesPerLine;
        jpeg_read_scanlines(&s.info, &row, 1);
    }
    jpeg_finish_decompress(&s.info);
    return Step::Ok;
}

[[noreturn]] void fail(Session& s, Step step)
{
    jpeg_destroy_decompress(&s.info);
    switch (step) {
    case Step::Unsupported:
        throw DecodeError("CMYK JPEG pictures are not supported");
    case Step::TooLarge:
        throw DecodeError("JPEG picture too large");
    default:
        throw DecodeError(s.trap.message);
    }
}

}  // namespace

QImage decode(const unsigned char* data, std::size_t size)
{
    if (data == nullptr || size == 0)
        throw DecodeError("empty JPEG data");

    Session s{};
    if (Step step = start(s, data, size); step != Step::Ok)
        fail(s, step);

    QImage image(static_cast<int>(s.info.output_width),
                 static_cast<int>(s.info.output_height), QImage::Format_RGB32);
    if (image.isNull())
        fail(s, Step::TooLarge);
    if (Step step = readRows(s, image.bits(), static_cast<std::size_t>(image.bytesPerLine()));
        step != Step::Ok)
        fail(s, step);

    jpeg_destroy_decompress(&s.info);
    return image;
}

QImage decode(const std::vector<unsigned char>& bytes)
{
    return decode(bytes.data(), bytes.size());
}

QSize size(const std::vector<unsigned char>& bytes)
{
    if (bytes.empty())
        throw DecodeError("empty JPEG data");
    Session s{};
    if (Step step = readHeader(s, bytes.data(), bytes.size()); step != Step::Ok)
        fail(s, step);
    const QSize size(static_cast<int>(s.info.image_width), static_cast<int>(s.info.image_height));
    jpeg_destroy_decompress(&s.info);
    return size;
}

}  // namespace jpeg
