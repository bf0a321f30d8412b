// The Jet 4.0 conversion: any bytes as a Jet file, read by libmdb and our
// row and long-value decoding, into a new database file.  It must end (no
// endless chain), and fail only with DataError.
#include "datam.h"
#include "jet_convert.h"

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

// The test files' password (tests/data/test_db.h).
const std::string kPassword = "739184026551903";

std::string scratchFolder() {
    static const std::string folder = [] {
        const char* shm = "/dev/shm";
        std::string pattern = std::string(access(shm, W_OK) == 0 ? shm : "/tmp") + "/fuzz-jet-XXXXXX";
        if (!mkdtemp(pattern.data())) std::abort();
        return pattern;
    }();
    return folder;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string jet = scratchFolder() + "/in.mdb";
    const std::string out = scratchFolder() + "/out.dat";
    FILE* file = std::fopen(jet.c_str(), "wb");
    if (!file) std::abort();
    if (size && std::fwrite(data, 1, size, file) != size) std::abort();
    std::fclose(file);
    std::remove(out.c_str());
    try {
        data::convertJetFile(jet, out, kPassword);
    } catch (const data::DataError&) {
        if (access(out.c_str(), F_OK) == 0) std::abort();  // a failure leaves nothing behind
    }
    std::remove(out.c_str());
    return 0;
}
