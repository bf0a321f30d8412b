// The Jet 4.0 test files (JET4_FIXTURES_DIR, a CMake cache variable).  They
// live outside the repository; tests copy them before use and are skipped,
// naming the folder, when it is missing.
#pragma once

#include <filesystem>
#include <string>

#ifndef JET4_FIXTURES_DIR
#error "JET4_FIXTURES_DIR must name the folder of the Jet 4.0 test files"
#endif

namespace jetfixtures {

inline std::string path(const std::string& name) {
    return std::string(JET4_FIXTURES_DIR) + "/" + name;
}

inline bool present() {
    return std::filesystem::exists(path("kelvma-full.mdb"));
}

inline const char* skipMessage() {
    return "the Jet 4.0 test files are not in " JET4_FIXTURES_DIR
           " (set the CMake cache variable JET4_FIXTURES_DIR)";
}

}  // namespace jetfixtures

// Skips the current test when the Jet 4.0 test files are missing.
#define SKIP_WITHOUT_JET_FIXTURES()                                       \
    do {                                                                  \
        if (!jetfixtures::present()) GTEST_SKIP() << jetfixtures::skipMessage(); \
    } while (0)
