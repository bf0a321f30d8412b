// Picture tags of learning texts: a line that begins with "<pic" shows the
// picture whose number stands before the first ">" among the ten bytes that
// follow ("<pic3>", "<pic12>word").
#pragma once

#include <optional>
#include <string_view>

namespace learning {

bool isPictureTag(std::string_view line);

// The tag's number when it is one to nine decimal digits; nothing for any
// other tag (no ">", empty, letters, signs, ten digits), which names no
// picture.
std::optional<long long> pictureNumber(std::string_view line);

}  // namespace learning
