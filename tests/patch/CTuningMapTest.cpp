#include "patch/CTuningMap.h"

#include <cmath>
#include <cstdio>
#include <fstream>
#include <gtest/gtest.h>
#include <string>
#include <unistd.h>

namespace {
std::string writeTun(const std::string& text) {
    const std::string path =
        std::string(::testing::TempDir()) + "quellor_tun_" + std::to_string(getpid()) + ".tun";
    std::ofstream(path, std::ios::binary) << text;
    return path;
}

std::string exactOctave() {
    // A just scale over notes 0..12; note 12 closes the octave.
    const double just[] = {0,      111.73, 203.91, 315.64, 386.31,  498.04, 582.51,
                           701.96, 813.69, 884.36, 1017.6, 1088.27, 1200};
    std::string t = "; exact octave\n[Exact Tuning]\nbasefreq = 8.1757989156\n";
    for (int n = 0; n <= 12; ++n)
        t += "note " + std::to_string(n) + " = " + std::to_string(just[n]) + "\n";
    return t;
}
} // namespace

TEST(TuningMap, ReadsTheSectionsOfTunFiles) {
    struct Case {
        const char* what;
        std::string text;
        int note;
        double cents;
        double base;
    } cases[] = {
        {"quantised only", "[Tuning]\r\nnote 60 = 6050\r\n", 60, 6050, 8.175798915643707},
        {"quantised keeps the others", "[Tuning]\nnote 60 = 6050\n", 61, 6100, 8.175798915643707},
        {"quantised reads whole cents", "[Tuning]\nnote 5 = 512.9xyz\n", 5, 512, 8.175798915643707},
        {"exact octave repeats", exactOctave(), 19, 701.96 + 1200, 8.1757989156},
        {"exact octave repeats to the top", exactOctave(), 127, 701.96 + 1200 * 10, 8.1757989156},
        {"exact wins over quantised", "[Exact Tuning]\nnote 127 = 5\n[Tuning]\nnote 60 = 6050\n",
         60, 6000, 8.175798915643707},
        {"any letter case", "  [TUNING]  \n\tNOTE 60 = 6050\n", 60, 6050, 8.175798915643707},
        {"comments with leading blanks", "[Tuning]\n   ; note 60 = 1\nnote 60=6050\n", 60, 6050,
         8.175798915643707},
        {"ignored sections and notes out of range",
         "[Info]\nnote 60 = 1\nname: anything\n[Tuning]\nnote 128 = 5\nnote -1 = 5\nnoteX = 3\n",
         60, 6000, 8.175798915643707},
        {"base frequency", "[Exact Tuning]\nBaseFreq = 440\nnote 127 = 0\n", 127, 0, 440},
        {"unusable base frequency ignored", "[Exact Tuning]\nbasefreq = -3\nnote 127 = 0\n", 127, 0,
         8.175798915643707},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CTuningMap map;
        const std::string path = writeTun(c.text);
        ASSERT_TRUE(map.read(path.c_str())) << map.errorText();
        EXPECT_STREQ(map.errorText(), "");
        EXPECT_NEAR(map.cents(c.note), c.cents, 1e-9);
        EXPECT_NEAR(map.baseFrequency(), c.base, 1e-12);
        std::remove(path.c_str());
    }
}

TEST(TuningMap, FrequenciesAndRatios) {
    CTuningMap map;
    std::string allAt440 = "[Exact Tuning]\nbasefreq = 440\n";
    for (int n = 0; n < 128; ++n)
        allAt440 += "note " + std::to_string(n) + " = 0\n";
    ASSERT_TRUE(map.parse(allAt440.data(), allAt440.size()));
    for (int n : {0, 69, 127})
        EXPECT_DOUBLE_EQ(map.frequency(n), 440.0);

    const std::string sixty = "[Tuning]\nnote 60 = 6050\n";
    ASSERT_TRUE(map.parse(sixty.data(), sixty.size()));
    EXPECT_DOUBLE_EQ(map.frequency(60), 8.175798915643707 * std::pow(2.0, 6050.0 / 1200.0));
    EXPECT_EQ(map.cents(200), 20000.0);
    double ratio[128];
    map.ratios(ratio);
    EXPECT_NEAR(ratio[60], std::pow(2.0, 50.0 / 1200.0), 1e-12);
    for (int n : {0, 59, 61, 69, 127})
        EXPECT_NEAR(ratio[n], 1.0, 1e-12) << n;
}

TEST(TuningMap, MessagesNameTheLine) {
    struct Case {
        const char* what;
        std::string text;
        const char* message;
    } cases[] = {
        {"open tag", "; x\n\n[Tuning\n",
         "Syntax error: Section-tag must be the only string in the "
         "line! (line 2)"},
        {"missing =", "[Tuning]\r\n\r\nnote 1 6000\n", "Syntax error: '=' missing! (line 2)"},
        {"no section", "; only a comment\nnote 1 = 5\n", "No tuning data found!"},
        {"long line", "[Tuning]\n; " + std::string(600, 'x') + "\n",
         "Line too int (line 2, error 0)"},
        {"empty file", "", "No tuning data found!"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CTuningMap map;
        const std::string path = writeTun(c.text);
        EXPECT_FALSE(map.read(path.c_str()));
        EXPECT_STREQ(map.errorText(), c.message);
        std::remove(path.c_str());
    }
    CTuningMap map;
    EXPECT_FALSE(map.read("/nonexistent-folder/x.tun"));
    EXPECT_STREQ(map.errorText(), "Error opening the file  '/nonexistent-folder/x.tun'");
}
