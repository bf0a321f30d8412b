#include "connection_string.h"

#include <cctype>

namespace data {
namespace {

bool isBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view trim(std::string_view s) {
    while (!s.empty() && isBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && isBlank(s.back())) s.remove_suffix(1);
    return s;
}

std::string lowerCase(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

// Reads a quoted value starting at the quote at pos; leaves pos after the
// closing quote.
std::string readQuoted(std::string_view s, std::size_t& pos) {
    char quote = s[pos++];
    std::string value;
    while (pos < s.size()) {
        char c = s[pos++];
        if (c != quote) {
            value += c;
        } else if (pos < s.size() && s[pos] == quote) {
            value += quote;
            ++pos;
        } else {
            break;
        }
    }
    return value;
}

// Reads the value at pos up to the next ';'; leaves pos on that ';'.
std::string readValue(std::string_view s, std::size_t& pos) {
    while (pos < s.size() && isBlank(s[pos])) ++pos;
    if (pos < s.size() && (s[pos] == '"' || s[pos] == '\'')) {
        std::string value = readQuoted(s, pos);
        while (pos < s.size() && s[pos] != ';') ++pos;
        return value;
    }
    std::size_t end = s.find(';', pos);
    if (end == std::string_view::npos) end = s.size();
    std::string_view value = trim(s.substr(pos, end - pos));
    pos = end;
    return std::string(value);
}

}  // namespace

std::map<std::string, std::string> parseConnectionString(std::string_view s) {
    std::map<std::string, std::string> settings;
    std::size_t pos = 0;
    while (pos < s.size()) {
        std::size_t equals = s.find('=', pos);
        std::size_t semicolon = s.find(';', pos);
        if (equals == std::string_view::npos || semicolon < equals) {
            // a piece without a value
            if (semicolon == std::string_view::npos) break;
            pos = semicolon + 1;
            continue;
        }
        std::string key = lowerCase(trim(s.substr(pos, equals - pos)));
        pos = equals + 1;
        settings[key] = readValue(s, pos);
        ++pos;  // past the ';'
    }
    return settings;
}

}  // namespace data
