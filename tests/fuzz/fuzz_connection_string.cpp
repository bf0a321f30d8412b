// The ADO-style connection-string parser.
#include "connection_string.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto settings = data::parseConnectionString(std::string_view(reinterpret_cast<const char*>(data), size));
    for (const auto& [key, value] : settings)
        for (char c : key)
            if (c >= 'A' && c <= 'Z') std::abort();  // keys come back in lower case
    return 0;
}
