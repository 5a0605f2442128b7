// Scala scales and keyboard mappings: real tunings give the key frequencies
// their ratios and cents say; broken files give a message and change nothing.
#include "patch/CScalaTuning.h"

#include <cmath>
#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

constexpr double kC4 = 261.6255653005986;

double equal(int key) {
    return 440.0 * std::pow(2.0, (key - 69) / 12.0);
}

const char* const kJustMajor = "! just_major.scl\n"
                               "!\n"
                               "Ptolemy's intense diatonic\n"
                               " 7\n"
                               "!\n"
                               " 9/8\n"
                               " 5/4\n"
                               " 4/3\n"
                               " 3/2   perfect fifth\n"
                               " 5/3\n"
                               " 15/8\n"
                               " 2/1\n";

std::string equalCents(int notes, double period) {
    std::string t = "equal division\r\n" + std::to_string(notes) + "\r\n";
    for (int i = 1; i <= notes; ++i)
        t += std::to_string(period * i / notes) + "\r\n";
    return t;
}

struct Expect {
    int key;
    double hz;
};

} // namespace

TEST(ScalaTuning, RealTuningsGiveTheirKeyFrequencies) {
    // The diatonic on the white keys, black keys unmapped, A at 432 Hz.
    const char* whiteKeys = "! white keys\n12\n0\n127\n60\n69\n432.0\n7\n"
                            "0\nx\n1\nx\n2\n3\nx\n4\nx\n5\nx\n6\n";
    const double c = 432.0 * 3.0 / 5.0;
    // Bohlen-Pierce in its usual form: 13 equal steps of 3/1, the last a ratio.
    std::string bohlenPierce = "Bohlen-Pierce\n13\n";
    for (int i = 1; i < 13; ++i)
        bohlenPierce += std::to_string(1200.0 * std::log2(3.0) * i / 13) + "\n";
    bohlenPierce += "3/1\n";
    struct Case {
        const char* what;
        std::string scale;
        std::string mapping; // empty: none
        std::vector<Expect> keys;
    } cases[] = {
        {"equal temperament in cents from middle C",
         equalCents(12, 1200.0),
         "",
         {{60, kC4}, {69, 440.0}, {0, equal(0)}, {127, equal(127)}}},
        {"ratios with comments and trailing text",
         kJustMajor,
         "",
         {{60, kC4},
          {61, kC4 * 9 / 8},
          {64, kC4 * 3 / 2},
          {67, kC4 * 2},
          {59, kC4 * 15 / 16},
          {53, kC4 / 2}}},
        {"cents, a whole-number ratio and a negative step",
         "mixed\n3\n-50.0\n701.955 cents\n2\n",
         "",
         {{61, kC4 * std::pow(2.0, -50.0 / 1200)},
          {63, kC4 * 2},
          {59, kC4 * std::pow(2.0, (701.955 - 1200.0) / 1200)}}},
        {"white keys mapped, black keys unmapped",
         kJustMajor,
         whiteKeys,
         {{69, 432.0},
          {60, c},
          {61, equal(61)},
          {62, c * 9 / 8},
          {71, c * 15 / 8},
          {72, c * 2},
          {48, c / 2},
          {70, equal(70)}}},
        {"Bohlen-Pierce: thirteen steps to the tritave",
         bohlenPierce,
         "0\n0\n127\n60\n60\n261.6255653005986\n0\n",
         {{60, kC4}, {73, 3 * kC4}, {47, kC4 / 3}, {61, kC4 * std::pow(3.0, 1.0 / 13)}}},
        {"a retuned range only",
         equalCents(19, 1200.0),
         "0\n60\n72\n60\n60\n261.6255653005986\n0\n",
         {{60, kC4}, {61, kC4 * std::pow(2.0, 1.0 / 19)}, {59, equal(59)}, {73, equal(73)}}},
    };

    for (const Case& k : cases) {
        SCOPED_TRACE(k.what);
        CScalaTuning t;
        ASSERT_TRUE(t.parseScale(k.scale.data(), k.scale.size())) << t.errorText();
        if (!k.mapping.empty()) {
            ASSERT_TRUE(t.parseMapping(k.mapping.data(), k.mapping.size())) << t.errorText();
        }
        double hz[CScalaTuning::kKeyCount];
        ASSERT_TRUE(t.frequencies(hz)) << t.errorText();
        for (const Expect& e : k.keys)
            EXPECT_NEAR(hz[e.key] / e.hz, 1.0, 1e-9) << "key " << e.key;
        double ratio[CScalaTuning::kKeyCount];
        ASSERT_TRUE(t.ratios(ratio));
        EXPECT_NEAR(ratio[64] * equal(64), hz[64], 1e-9);
    }
    CScalaTuning t;
    ASSERT_TRUE(t.parseScale(kJustMajor, std::strlen(kJustMajor)));
    EXPECT_EQ(t.description(), "Ptolemy's intense diatonic");
    EXPECT_EQ(t.noteCount(), 7);
}

TEST(ScalaTuning, BrokenFilesGiveAMessageAndChangeNothing) {
    struct Case {
        const char* what;
        std::string scale, mapping;
        const char* message;
    } cases[] = {
        {"truncated", "five\n5\n100.0\n200.0\n", "", "Scale: 5 notes announced, 2 found"},
        {"only comments", "! nothing\n! here\n", "", "Scale: the file holds no scale"},
        {"no count", "description only\n", "", "Scale: the number of notes is missing"},
        {"count not a number", "d\nfive\n", "", "whole number (line 2)"},
        {"count of none", "d\n0\n", "", "at least one note (line 2)"},
        {"count beyond any scale", "d\n100000\n", "", "more than 4096 notes (line 2)"},
        {"bad pitch", "d\n2\n100.0\nabc\n", "", "'abc' is neither cents nor a ratio (line 4)"},
        {"zero denominator", "d\n1\n3/0\n", "", "'3/0' is neither"},
        {"negative ratio", "d\n1\n-3/2\n", "", "'-3/2' is neither"},
        {"ratio of nothing", "d\n1\n0/5\n", "", "'0/5' is neither"},
        {"cents with junk", "d\n1\n100.0x\n", "", "'100.0x' is neither"},
        {"oversized", std::string(CScalaTuning::kMaxFileBytes + 1, '!'), "", "too large"},
        {"pitch too high to sound", "d\n1\n99999999999.0\n", "", "no usable frequency"},
        {"mapping header cut", "", "12\n0\n127\n60\n", "the reference key is missing"},
        {"mapping key out of range", "", "0\n0\n128\n60\n69\n440\n0\n",
         "the last key retuned is not a key from 0 to 127 (line 3)"},
        {"mapping frequency not positive", "", "0\n0\n127\n60\n69\n-440\n0\n",
         "reference frequency is not a positive number of hertz (line 6)"},
        {"mapping frequency not a number", "", "0\n0\n127\n60\n69\nnan\n0\n",
         "reference frequency"},
        {"mapping range upside down", "", "0\n72\n60\n60\n60\n440\n0\n",
         "the first key retuned lies above the last"},
        {"mapping entry not a degree", "", "2\n0\n127\n60\n60\n440\n0\n0\ny\n",
         "'y' is neither a degree nor x (line 9)"},
        {"mapping reference unmapped", "", "2\n0\n127\n60\n61\n440\n0\n0\nx\n",
         "the reference key 61 plays no degree"},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.what);
        CScalaTuning t;
        ASSERT_TRUE(t.parseScale(kJustMajor, std::strlen(kJustMajor)));
        double before[CScalaTuning::kKeyCount], after[CScalaTuning::kKeyCount];
        ASSERT_TRUE(t.frequencies(before));
        bool parsed = true;
        if (!k.scale.empty()) parsed = t.parseScale(k.scale.data(), k.scale.size());
        if (parsed && !k.mapping.empty())
            parsed = t.parseMapping(k.mapping.data(), k.mapping.size());
        EXPECT_FALSE(parsed && t.frequencies(after));
        EXPECT_NE(std::string(t.errorText()).find(k.message), std::string::npos) << t.errorText();
        // A scale or mapping that was refused left the tuning as it was.
        if (!parsed) {
            ASSERT_TRUE(t.frequencies(after)) << t.errorText();
            for (int key = 0; key < CScalaTuning::kKeyCount; ++key)
                ASSERT_EQ(after[key], before[key]) << "key " << key;
        }
    }
    CScalaTuning none;
    double hz[CScalaTuning::kKeyCount];
    EXPECT_FALSE(none.frequencies(hz));
    EXPECT_FALSE(none.readScale("/nonexistent/scale.scl"));
    EXPECT_STREQ(none.errorText(), "Error opening the file  '/nonexistent/scale.scl'");
}
