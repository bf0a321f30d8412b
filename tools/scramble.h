// The scrambled form of the question bank's text columns (b1.zd2, zd6, zd14).
#pragma once

#include <string>
#include <string_view>

namespace content {

// Every clear byte becomes three ASCII bytes: its hundreds, tens and units
// digits shifted by 20 + key, 17 + key and 17 + key (mod 256).
std::string scramble(std::string_view clearGbk, int key);

}  // namespace content
