// Rounding as the page and score arithmetic expects it.
#pragma once

#include <cfenv>
#include <cmath>

namespace ui {

// Nearest integer, an exact half going to the even neighbour (2.5 -> 2,
// 3.5 -> 4), whatever rounding mode the floating-point unit was left in.
inline long long roundHalfEven(double v) {
    const int saved = std::fegetround();
    std::fesetround(FE_TONEAREST);
    const double r = std::nearbyint(v);
    std::fesetround(saved);
    return static_cast<long long>(r);
}

// The same, for pixel and page-unit coordinates.
inline int roundInt(double v) { return static_cast<int>(roundHalfEven(v)); }

}  // namespace ui
