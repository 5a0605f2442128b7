#pragma once
// Text for the window: anti-aliased glyphs rendered by FreeType from the
// DejaVu Sans font embedded in the library, in the two sizes the controls use.
//
// Glyphs are rendered once per size at the window's scale and kept; texts are
// bytes in Latin-1 (the program's names and display texts are plain 8-bit).
// UI thread only.

#include "gui/CScale.h"

#include <cstddef>
#include <cstdint>
#include <vector>

struct FT_LibraryRec_;
struct FT_FaceRec_;

namespace qgui {

// The numbers the editor's layout tables use for the fonts: 0 is the standard
// font, 6 the small one; any other number draws in the standard font.
enum CFontId : int { kStandardFont = 0, kSmallFont = 6 };

// Pixel sizes at scale 1; chosen so that digits and capitals read clearly in
// the 10- to 14-pixel-high fields of the layout, and the widest numbers
// ("-99.9999") fit the 50-pixel number fields.
constexpr int kStandardFontPixels = 10;
constexpr int kSmallFontPixels = 9;

class CFontRenderer {
public:
    struct Glyph {
        int left = 0;  // from the pen position to the bitmap's left edge
        int top = 0;   // from the baseline up to the bitmap's top row
        int width = 0; // coverage bitmap size
        int height = 0;
        int advance = 0;                    // pen movement, whole pixels
        std::vector<std::uint8_t> coverage; // width × height, 0..255
    };

    CFontRenderer();
    ~CFontRenderer();
    CFontRenderer(const CFontRenderer&) = delete;
    CFontRenderer& operator=(const CFontRenderer&) = delete;

    // Loads the embedded font (or the TrueType file in fontBytes) for the
    // given scale; false when FreeType cannot, and nothing is kept open then.
    bool open(CScale scale, const unsigned char* fontBytes = nullptr, std::size_t fontSize = 0);
    bool isOpen() const { return library != nullptr; }

    // Glyphs are drawn for a pen that stands a quarter, half or three
    // quarters of a pixel right of a whole pixel too, so text keeps the
    // font's own spacing instead of each letter jumping to the nearest pixel.
    static constexpr int kPhases = 4;

    // Sizes in surface pixels (already multiplied by the scale). phase:
    // 0..kPhases-1, the pen's fraction of a pixel in kPhases-ths.
    const Glyph& glyph(CFontId font, unsigned char c, int phase = 0);
    // The pen's travel over text, in 1/64 pixel.
    int textAdvance(CFontId font, const char* text);
    // The same in whole pixels, rounded.
    int textWidth(CFontId font, const char* text) { return (textAdvance(font, text) + 32) >> 6; }
    int capHeight(CFontId font) const { return caps[slot(font)]; }
    int lineHeight(CFontId font) const { return lines[slot(font)]; }

private:
    static int slot(CFontId font) { return font == kSmallFont ? 1 : 0; }
    void close();

    FT_LibraryRec_* library = nullptr;
    FT_FaceRec_* faces[2] = {nullptr, nullptr};
    int caps[2] = {0, 0};
    int lines[2] = {0, 0};
    bool rendered[2][kPhases][256] = {};
    Glyph glyphs[2][kPhases][256];
};

} // namespace qgui
