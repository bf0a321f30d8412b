// The content builder's check of SVG pictures: any bytes in, a size or a
// refusal out, before Qt's SVG module ever sees the picture.
#include "svg_check.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    try {
        const svg::Size s = svg::check(std::string_view(reinterpret_cast<const char*>(data), size));
        if (s.width < 1 || s.width > 4000 || s.height < 1 || s.height > 4000) std::abort();
    } catch (const svg::Error&) {
    }
    return 0;
}
