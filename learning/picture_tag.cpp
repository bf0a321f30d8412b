#include "picture_tag.h"

#include "gbk.h"

#include <algorithm>

namespace learning {

bool isPictureTag(std::string_view line) { return gbk::copy(line, 1, 4) == "<pic"; }

std::optional<long long> pictureNumber(std::string_view line) {
    const std::string after = gbk::copy(line, 5, 10);
    const std::size_t close = gbk::pos(">", after);
    if (close == 0) return std::nullopt;
    const std::string n = after.substr(0, close - 1);
    if (n.empty() || n.size() > 9 || !std::all_of(n.begin(), n.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return std::nullopt;
    return std::stoll(n);
}

}  // namespace learning
