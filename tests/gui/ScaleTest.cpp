// How the window's scale is chosen: the user's setting first, then the screen.
#include "gui/EditorScale.h"

#include <gtest/gtest.h>

using namespace qgui;

TEST(EditorScale, UserChoiceBeforeScreenDensity) {
    struct Case {
        const char* environment;
        const char* setting;
        int dpi;
        int scale;
    };
    const Case cases[] = {
        {nullptr, nullptr, 96, 1},  {nullptr, nullptr, 167, 1}, {nullptr, nullptr, 168, 2},
        {nullptr, nullptr, 192, 2}, {nullptr, "2", 96, 2},      {nullptr, "1", 192, 1},
        {"2", "1", 96, 2},          {"1", nullptr, 192, 1},     {" 2 ", nullptr, 96, 2},
        {"3", nullptr, 96, 1},      {"2x", "2", 96, 2},         {"", "", 200, 2},
        {"abc", "0", 96, 1},
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
