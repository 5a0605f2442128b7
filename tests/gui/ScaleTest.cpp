// How the window's scale is chosen (the user's setting first, then the
// screen) and how window coordinates land on the surface at each scale.
#include "gui/CScale.h"
#include "gui/EditorScale.h"

#include <gtest/gtest.h>

#include <ostream>

namespace qgui {
void PrintTo(const CScale& s, std::ostream* os) {
    *os << s.text();
}
} // namespace qgui

using namespace qgui;

namespace {
const CScale k15 = CScale::oneAndAHalf();
}

TEST(EditorScale, UserChoiceBeforeScreenDensity) {
    struct Case {
        const char* environment;
        const char* setting;
        int dpi;
        CScale scale;
    };
    const Case cases[] = {
        {nullptr, nullptr, 96, 1},
        {nullptr, nullptr, 131, 1},
        {nullptr, nullptr, 132, k15},
        {nullptr, nullptr, 144, k15},
        {nullptr, nullptr, 167, k15},
        {nullptr, nullptr, 168, 2},
        {nullptr, nullptr, 192, 2},
        {nullptr, "2", 96, 2},
        {nullptr, "1", 192, 1},
        {"2", "1", 96, 2},
        {"1", nullptr, 192, 1},
        {" 2 ", nullptr, 96, 2},
        {"3", nullptr, 96, 1},
        {"2x", "2", 96, 2},
        {"", "", 200, 2},
        {"abc", "0", 96, 1},
        {"1.5", nullptr, 96, k15},
        {nullptr, "1.5\r\n", 192, k15},
        {" 1.5 ", "2", 96, k15},
        {"1.5", "1", 200, k15},
        {"2", "1.5", 96, 2},
        {"1,5", nullptr, 96, 1},
        {"1.50", nullptr, 96, 1},
        {"1.25", "2", 96, 2},
        {"1.5x", nullptr, 200, 2},
        {".5", nullptr, 96, 1},
        {"15", nullptr, 96, 1},
    };
    for (const Case& c : cases)
        EXPECT_EQ(pickScale(c.environment, c.setting, c.dpi), c.scale)
            << (c.environment ? c.environment : "null") << " / " << (c.setting ? c.setting : "null")
            << " / " << c.dpi;
}

TEST(EditorScale, XftDpiFromResourceString) {
    EXPECT_EQ(parseXftDpi("Xft.antialias:\t1\nXft.dpi:\t168\nXft.hinting:\t1\n"), 168);
    EXPECT_EQ(parseXftDpi("Xft.dpi: 96.4\n"), 96);
    EXPECT_EQ(parseXftDpi("Xcursor.size:\t24\n"), 0);
    EXPECT_EQ(parseXftDpi("MyXft.dpi:\t200\n"), 0);
    EXPECT_EQ(parseXftDpi(""), 0);
    EXPECT_EQ(parseXftDpi(nullptr), 0);
}

// At 1.5 edges round down, thicknesses are the same everywhere, and every
// surface pixel maps back to the window pixel it belongs to; at 1 and 2 the
// mapping is the plain product it always was.
TEST(CScale, EdgesThicknessesAndMouseMapBack) {
    EXPECT_EQ(k15.toSurface(970), 1455);
    EXPECT_EQ(k15.toSurface(600), 900);
    const int edges[] = {0, 1, 3, 4, 6, 7, 9};
    for (int x = 0; x < 7; ++x)
        EXPECT_EQ(k15.toSurface(x), edges[x]) << x;
    EXPECT_EQ(k15.toSurface(-1), -2) << "left of the window rounds down too";
    const int thick[] = {0, 2, 3, 5};
    for (int n = 0; n < 4; ++n)
        EXPECT_EQ(k15.thickness(n), thick[n]) << n;
    for (CScale s : {CScale(1), k15, CScale(2)}) {
        for (int x = -6; x < 40; ++x) {
            // Every surface pixel of window pixel x maps back to x.
            for (int p = s.toSurface(x); p < s.toSurface(x + 1); ++p)
                EXPECT_EQ(s.toWindow(p), x) << s.text() << " " << p;
            EXPECT_EQ(s.windowLength(s.toSurface(x)), x < 0 ? -1 : x) << s.text();
        }
        if (s.isWhole()) {
            const int f = s.halves() / 2;
            for (int x = -5; x < 5; ++x) {
                EXPECT_EQ(s.toSurface(x), f * x);
                EXPECT_EQ(s.thickness(x < 0 ? 0 : x), f * (x < 0 ? 0 : x));
            }
        }
    }
    EXPECT_EQ(k15.windowLength(2), -1) << "no window length is 2 pixels long at 1.5";
    EXPECT_EQ(CScale(2).windowLength(5), -1);
}

// A host's factor becomes the nearest scale the window draws at.
TEST(CScale, NearestOfTheScalesDrawn) {
    const struct {
        double factor;
        CScale scale;
    } cases[] = {{1.0, 1},  {1.2, 1}, {1.25, k15}, {1.5, k15}, {1.74, k15},
                 {1.75, 2}, {2.0, 2}, {3.0, 2},    {0.5, 1},   {0.0, 1}};
    for (const auto& c : cases)
        EXPECT_EQ(CScale::nearest(c.factor), c.scale) << c.factor;
}
