#include "page_markup.h"

#include "gbk.h"
#include "rounding.h"

#include <charconv>

namespace pages {

std::string FootText() { return "Quorvel欢迎你的使用！"_gbk + "  " + kVendorAddress; }

TextPlacement fitText(int x, int width, int size, int align, std::size_t bytes) {
    const double n = static_cast<double>(bytes);
    if (n == 0) return {x + 15, size};
    if (width <= n * size / 2 + 30) return {x + 15, ui::roundInt((width - 30) / n * 2)};
    if (align == 1) return {x + ui::roundInt((width - n * size / 2) / 2), size};
    if (align == 2) return {x + ui::roundInt(width - n * size / 2 - 15), size};
    return {x + 15, size};
}

bool isPictureLine(std::string_view line) { return gbk::trim(line).starts_with("<picture>"); }

bool isQuestionPicture(std::string_view line) { return gbk::copy(line, 10, 1) == "0"; }

namespace {

// A whole decimal integer (optional sign), nothing else; fallback otherwise.
long long decimalOr(std::string_view text, long long fallback) {
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    long long value = 0;
    const char* end = text.data() + text.size();
    auto [stop, error] = std::from_chars(text.data(), end, value);
    if (text.empty() || error != std::errc() || stop != end) return fallback;
    return value;
}

}  // namespace

long long pictureId(std::string_view line, long long badId) {
    return decimalOr(gbk::copy(line, 11, 10), badId);
}

int firstLineOfPage(const std::string& pageTable, int page) {
    const std::size_t at = gbk::pos("@" + gbk::num(page) + ",", pageTable);
    std::string entry = gbk::copy(pageTable, static_cast<long>(at) + 1, 10);
    entry = gbk::copy(entry, static_cast<long>(gbk::pos(",", entry)) + 1, 10);
    entry = gbk::copy(entry, 1, static_cast<long>(gbk::pos("|", entry)) - 1);
    const long long line = decimalOr(entry, 0);
    return line >= 0 && line <= 0x7FFFFFFF ? static_cast<int>(line) : 0;
}

}  // namespace pages
