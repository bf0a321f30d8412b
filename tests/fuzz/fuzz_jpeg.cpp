// JPEG decoding from memory.
#include "jpeg.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    try {
        const QImage image = jpeg::decode(data, size);
        if (image.isNull() || image.format() != QImage::Format_RGB32) std::abort();
    } catch (const jpeg::DecodeError&) {
    }
    return 0;
}
