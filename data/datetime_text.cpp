#include "datetime_text.h"

#include <cstdio>

namespace data {
namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Reads minDigits..maxDigits digits at pos into value.
bool readNumber(std::string_view s, std::size_t& pos, int minDigits, int maxDigits, int& value) {
    int count = 0;
    value = 0;
    while (pos < s.size() && count < maxDigits && isDigit(s[pos])) {
        value = value * 10 + (s[pos] - '0');
        ++pos;
        ++count;
    }
    return count >= minDigits;
}

bool readChar(std::string_view s, std::size_t& pos, char c) {
    if (pos >= s.size() || s[pos] != c) return false;
    ++pos;
    return true;
}

bool isLeapYear(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int daysInMonth(int year, int month) {
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && isLeapYear(year) ? 29 : days[month - 1];
}

}  // namespace

std::optional<DateTime> splitDateTime(std::string_view text) {
    DateTime t;
    std::size_t pos = 0;
    bool ok = readNumber(text, pos, 4, 4, t.year) && readChar(text, pos, '-') &&
              readNumber(text, pos, 1, 2, t.month) && readChar(text, pos, '-') &&
              readNumber(text, pos, 1, 2, t.day) && readChar(text, pos, ' ') &&
              readNumber(text, pos, 1, 2, t.hour) && readChar(text, pos, ':') &&
              readNumber(text, pos, 1, 2, t.minute);
    if (ok && pos < text.size())
        ok = readChar(text, pos, ':') && readNumber(text, pos, 1, 2, t.second);
    if (!ok || pos != text.size()) return std::nullopt;
    return t;
}

bool isValidDateTime(const DateTime& t) {
    return t.year >= 1 && t.month >= 1 && t.month <= 12 && t.day >= 1 &&
           t.day <= daysInMonth(t.year, t.month) && t.hour >= 0 && t.hour <= 23 &&
           t.minute >= 0 && t.minute <= 59 && t.second >= 0 && t.second <= 59;
}

std::string storedDateTime(const DateTime& t) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d %02d:%02d:%02d", t.year, t.month, t.day,
                  t.hour, t.minute, t.second);
    return buffer;
}

}  // namespace data
