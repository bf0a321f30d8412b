// The current local time as the statements write it.
#pragma once

#include <string>

// "'2026-12-7 8:5'": year, month, day, hour and minute without leading
// zeros, in single quotes.
std::string quotedNow();
