#include "gui/CFontRenderer.h"

#include "gui/EmbeddedFont.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H
#include FT_TRUETYPE_TABLES_H

#include <cstring>

namespace qgui {

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

bool CFontRenderer::open(int scale, const unsigned char* fontBytes, std::size_t fontSize) {
    close();
    if (scale < 1) return false;
    if (!fontBytes) {
        fontBytes = kEmbeddedFont;
        fontSize = kEmbeddedFontSize;
    }
    if (FT_Init_FreeType(&library) != 0) {
        library = nullptr;
        return false;
    }
    const int pixels[2] = {kStandardFontPixels * scale, kSmallFontPixels * scale};
    for (int i = 0; i < 2; ++i) {
        // One face per size: a face holds one size at a time.
        if (FT_New_Memory_Face(library, fontBytes, FT_Long(fontSize), 0, &faces[i]) != 0 ||
            FT_Set_Pixel_Sizes(faces[i], 0, FT_UInt(pixels[i])) != 0) {
            close();
            return false;
        }
        const TT_OS2* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(faces[i], FT_SFNT_OS2));
        // Capital height centres digits and capitals in a field; fall back to
        // the ascender's usual share of the em when the table lacks it.
        double capEm =
            (os2 && os2->sCapHeight > 0) ? double(os2->sCapHeight) / faces[i]->units_per_EM : 0.73;
        caps[i] = int(capEm * pixels[i] + 0.5);
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
    // scale 2 exactly twice as long as at scale 1; glyphs land on whole pixels.
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
