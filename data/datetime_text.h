// Date-time texts as the program writes them ("yyyy-m-d h:m") and as the
// database stores them ("YYYY-MM-DD HH:MM:SS").
#pragma once

#include "datam.h"

#include <optional>
#include <string>
#include <string_view>

namespace data {

// Splits "yyyy-m-d h:m" or "yyyy-m-d h:m:s": a four-digit year, one or two
// digits for every other part.  nullopt for any other shape; the numbers
// themselves are not checked.
std::optional<DateTime> splitDateTime(std::string_view text);

// True for a real calendar date and a time of day (leap years included).
bool isValidDateTime(const DateTime& t);

// "YYYY-MM-DD HH:MM:SS".
std::string storedDateTime(const DateTime& t);

}  // namespace data
