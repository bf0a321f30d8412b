// The content builder's TOML reader: the input is a grade file in an
// otherwise empty content folder.
#include "content_reader.h"

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace {

std::filesystem::path contentDir() {
    static const std::filesystem::path dir = [] {
        auto d = std::filesystem::temp_directory_path() / ("fuzz-toml-" + std::to_string(::getpid()));
        std::filesystem::create_directories(d / "grades");
        return d;
    }();
    return dir;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto dir = contentDir();
    {
        std::ofstream out(dir / "grades" / "grade03.toml", std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    content::Problems problems;
    content::readContent(dir, problems);
    return 0;
}
