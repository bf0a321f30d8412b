#include "scramble.h"

namespace content {

std::string scramble(std::string_view clearGbk, int key) {
    std::string out;
    out.reserve(clearGbk.size() * 3);
    for (unsigned char b : clearGbk) {
        out.push_back(static_cast<char>(('0' + b / 100 + 20 + key) & 0xFF));
        out.push_back(static_cast<char>(('0' + b / 10 % 10 + 17 + key) & 0xFF));
        out.push_back(static_cast<char>(('0' + b % 10 + 17 + key) & 0xFF));
    }
    return out;
}

}  // namespace content
