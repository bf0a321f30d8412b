// Text unscrambling: the first byte is the key, the rest the stored text.
#include "datam.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::string_view stored(reinterpret_cast<const char*>(data + 1), size - 1);
    try {
        const std::string clear = data::Tdatam::UnscrambleField(stored, static_cast<signed char>(data[0]));
        if (clear.size() != stored.size() / 3) std::abort();  // one clear byte per complete group
    } catch (const data::DataError&) {
    }
    return 0;
}
