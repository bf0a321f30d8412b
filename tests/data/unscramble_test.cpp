#include "datam.h"
#include "gbk.h"

#include <gtest/gtest.h>

namespace {

using data::Tdatam;

// The stored group whose three characters, once unshifted, are chars.
std::string group(std::string_view chars, int key) {
    return {static_cast<char>(chars[0] + 20 + key), static_cast<char>(chars[1] + 17 + key),
            static_cast<char>(chars[2] + 17 + key)};
}

std::string scramble(std::string_view clear, int key) {
    std::string stored;
    for (unsigned char b : clear) {
        char digits[4];
        std::snprintf(digits, sizeof digits, "%03u", b);
        stored += group(digits, key);
    }
    return stored;
}

struct Case {
    const char* name;
    std::string stored;
    long long key;
    std::string clear;
};

TEST(UnscrambleField, DecodesGroupsOfThree) {
    const Case cases[] = {
        {"empty", "", 3, ""},
        {"one byte", "A", 3, ""},
        {"two bytes", "AB", 3, ""},
        {"one group", scramble("A", 0), 0, "A"},
        {"3n bytes, last group included", scramble("ABCD", 5), 5, "ABCD"},
        {"trailing bytes dropped", scramble("xyz", 11) + "Q", 11, "xyz"},
        {"trailing two bytes dropped", scramble("xyz", 11) + "QR", 11, "xyz"},
        {"above 255 wraps", group("999", 2) + group("256", 2), 2, std::string("\xE7\x00", 2)},
        {"key + 256 is the same key", scramble("key", 4), 260, "key"},
        {"negative key wraps", scramble("neg", 255), -1, "neg"},
        {"Chinese character from two groups", scramble("答案A"_gbk, 7), 7, "答案A"_gbk},
        {"every byte value", scramble(std::string("\x00\x01\x7F\x80\xFE\xFF", 6), 9), 9,
         std::string("\x00\x01\x7F\x80\xFE\xFF", 6)},
        {"leading spaces", group("  7", 1) + group(" 42", 1), 1, "\x07*"},
        {"signs", group("-12", 6) + group("+65", 6) + group(" -1", 6), 6, "\xF4" "A\xFF"},
    };
    for (const auto& c : cases) EXPECT_EQ(Tdatam::UnscrambleField(c.stored, c.key), c.clear) << c.name;
}

TEST(UnscrambleField, BadGroupThrowsNamingIt) {
    const char* groups[] = {"1x2", "12 ", "   ", "- 1", "+-1", "--1", "1-2"};
    for (const char* bad : groups) {
        std::string stored = scramble("ok", 3) + group(bad, 3) + scramble("!", 3);
        try {
            Tdatam::UnscrambleField(stored, 3);
            ADD_FAILURE() << "no error for '" << bad << "'";
        } catch (const data::DataError& e) {
            EXPECT_NE(std::string(e.what()).find("group 3"), std::string::npos) << e.what();
        }
    }
}

}  // namespace
