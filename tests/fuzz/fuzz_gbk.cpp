// GBK conversion both ways and the byte helpers.  Text that converts to
// UTF-8 must convert back to the same bytes.
#include "gbk.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    try {
        const std::string utf8 = gbk::toUtf8(bytes);
        if (gbk::fromUtf8(utf8) != bytes) std::abort();
    } catch (const gbk::EncodingError&) {
    }
    try {
        gbk::fromUtf8(bytes);
    } catch (const gbk::EncodingError&) {
    }
    std::string offending;
    gbk::encodable(bytes, &offending);
    const long index = size > 0 ? static_cast<long>(data[0]) - 8 : 0;
    const long count = size > 1 ? static_cast<long>(data[1]) - 8 : 0;
    if (gbk::copy(bytes, index, count).size() > size) std::abort();
    gbk::pos(bytes.substr(0, size / 4), bytes);
    gbk::trim(bytes);
    return 0;
}
