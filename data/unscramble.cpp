#include "datam.h"

namespace data {
namespace {

// Reads three characters as a decimal integer the way the ordinary
// string-to-integer conversion does: leading spaces, an optional sign, then
// at least one digit and nothing else.
bool readGroupNumber(const unsigned char (&c)[3], int& value) {
    int i = 0;
    while (i < 3 && c[i] == ' ') ++i;
    bool negative = false;
    if (i < 3 && (c[i] == '+' || c[i] == '-')) negative = c[i++] == '-';
    if (i == 3) return false;
    int number = 0;
    for (; i < 3; ++i) {
        if (c[i] < '0' || c[i] > '9') return false;
        number = number * 10 + (c[i] - '0');
    }
    value = negative ? -number : number;
    return true;
}

}  // namespace

std::string Tdatam::UnscrambleField(std::string_view stored, long long key) {
    const auto k = static_cast<unsigned char>(key % 256);
    const auto* in = reinterpret_cast<const unsigned char*>(stored.data());
    std::string clear(stored.size() / 3, '\0');
    for (std::size_t group = 0; group < clear.size(); ++group, in += 3) {
        const unsigned char c[3] = {static_cast<unsigned char>(in[0] - 20 - k),
                                    static_cast<unsigned char>(in[1] - 17 - k),
                                    static_cast<unsigned char>(in[2] - 17 - k)};
        unsigned d0 = c[0] - '0', d1 = c[1] - '0', d2 = c[2] - '0';
        int value = static_cast<int>(d0 * 100 + d1 * 10 + d2);
        if ((d0 > 9 || d1 > 9 || d2 > 9) && !readGroupNumber(c, value))
            throw DataError("scrambled text is damaged at group " + std::to_string(group + 1) +
                            " (bytes " + std::to_string(group * 3 + 1) + " to " +
                            std::to_string(group * 3 + 3) + ")",
                            "题目数据有误。");
        clear[group] = static_cast<char>(static_cast<unsigned char>(value));  // the low 8 bits
    }
    return clear;
}

}  // namespace data
