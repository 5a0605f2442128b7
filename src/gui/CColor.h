#pragma once
// A colour with straight (not premultiplied) alpha; alpha 255 is opaque.

#include <cstdint>

namespace qgui {

struct CColor {
    std::uint8_t red = 0;
    std::uint8_t green = 0;
    std::uint8_t blue = 0;
    std::uint8_t alpha = 255;

    bool operator==(const CColor& o) const {
        return red == o.red && green == o.green && blue == o.blue && alpha == o.alpha;
    }
    bool operator!=(const CColor& o) const { return !(*this == o); }
};

constexpr CColor kBlackCColor{0, 0, 0, 255};
constexpr CColor kWhiteCColor{255, 255, 255, 255};
constexpr CColor kRedCColor{255, 0, 0, 255};
constexpr CColor kGreyCColor{127, 127, 127, 255};
constexpr CColor kTransparentCColor{0, 0, 0, 0};

} // namespace qgui
