// The Jet-dialect translation of a statement text.
#include "datam.h"
#include "jet_sql.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    try {
        data::jet::toSqlite(std::string_view(reinterpret_cast<const char*>(data), size));
    } catch (const data::DataError&) {
    }
    return 0;
}
