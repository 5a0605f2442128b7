#include "gui/CFontRenderer.h"

#include "gui/EmbeddedFont.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H
#include FT_TRUETYPE_TABLES_H

#include <cstring>

namespace qgui {

namespace {

// size in 1/64 pixel. A whole number of pixels is asked for as pixels, as
// it always was, so that text at scales 1 and 2 keeps its exact metrics.
FT_Error setSize(FT_Face face, int size) {
    if (size % 64 == 0) return FT_Set_Pixel_Sizes(face, 0, FT_UInt(size / 64));
    return FT_Set_Char_Size(face, 0, FT_F26Dot6(size), 72, 72);
}

} // namespace

CFontRenderer::CFontRenderer() = default;

CFontRenderer::~CFontRenderer() {
    close();
}

void CFontRenderer::close() {
    for (FT_Face& face : faces) {
        if (face) FT_Done_Face(face);
        face = nullptr;
    }
    if (library) FT_Done_FreeType(library);
    library = nullptr;
}

bool CFontRenderer::open(CScale scale, const unsigned char* fontBytes, std::size_t fontSize) {
    close();
    if (!fontBytes) {
        fontBytes = kEmbeddedFont;
        fontSize = kEmbeddedFontSize;
    }
    if (FT_Init_FreeType(&library) != 0) {
        library = nullptr;
        return false;
    }
    // In 1/64 pixel: at 1.5 the sizes fall between whole pixels (13.5 for
    // the small font), and FreeType sets the outline at that size itself.
    const int sizes[2] = {kStandardFontPixels * scale.halves() * 32,
                          kSmallFontPixels * scale.halves() * 32};
    for (int i = 0; i < 2; ++i) {
        // One face per size: a face holds one size at a time.
        if (FT_New_Memory_Face(library, fontBytes, FT_Long(fontSize), 0, &faces[i]) != 0 ||
            setSize(faces[i], sizes[i]) != 0) {
            close();
            return false;
        }
        const TT_OS2* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(faces[i], FT_SFNT_OS2));
        // Capital height centres digits and capitals in a field; fall back to
        // the ascender's usual share of the em when the table lacks it.
        double capEm =
            (os2 && os2->sCapHeight > 0) ? double(os2->sCapHeight) / faces[i]->units_per_EM : 0.73;
        caps[i] = int(capEm * sizes[i] / 64.0 + 0.5);
        lines[i] = int((faces[i]->size->metrics.height + 63) >> 6);
        std::memset(rendered[i], 0, sizeof rendered[i]);
    }
    return true;
}

const CFontRenderer::Glyph& CFontRenderer::glyph(CFontId font, unsigned char c, int phase) {
    const int s = slot(font);
    phase = phase < 0 ? 0 : phase % kPhases;
    Glyph& g = glyphs[s][phase][c];
    if (rendered[s][phase][c] || !faces[s]) return g;
    rendered[s][phase][c] = true;
    g = Glyph();
    // Light hinting snaps stems only vertically, so the outline may move
    // sideways by a fraction of a pixel without losing its shape: crisp
    // horizontal strokes at 9 to 11 pixels, and the font's own spacing.
    if (FT_Load_Char(faces[s], c, FT_LOAD_NO_BITMAP | FT_LOAD_TARGET_LIGHT) != 0) return g;
    FT_GlyphSlot slotRec = faces[s]->glyph;
    if (slotRec->format == FT_GLYPH_FORMAT_OUTLINE)
        FT_Outline_Translate(&slotRec->outline, FT_Pos(phase * 64 / kPhases), 0);
    if (FT_Render_Glyph(slotRec, FT_RENDER_MODE_LIGHT) != 0) return g;
    const FT_Bitmap& bm = slotRec->bitmap;
    g.left = slotRec->bitmap_left;
    g.top = slotRec->bitmap_top;
    // Unrounded advances keep each size's proportions (hinted whole-pixel
    // advances make 9 and 10 pixels set almost equally wide) and make text at
    // scales 1.5 and 2 exactly that much longer than at 1; glyphs land on
    // whole pixels.
    g.advance = int((slotRec->linearHoriAdvance + 512) >> 10);
    if (bm.pixel_mode == FT_PIXEL_MODE_GRAY && bm.width > 0 && bm.rows > 0) {
        g.width = int(bm.width);
        g.height = int(bm.rows);
        g.coverage.resize(std::size_t(g.width) * g.height);
        for (int y = 0; y < g.height; ++y)
            std::memcpy(&g.coverage[std::size_t(y) * g.width], bm.buffer + y * bm.pitch,
                        std::size_t(g.width));
    }
    return g;
}

int CFontRenderer::textAdvance(CFontId font, const char* text) {
    int w = 0;
    if (!text) return 0;
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p; ++p)
        w += glyph(font, *p, 0).advance;
    return w;
}

} // namespace qgui
