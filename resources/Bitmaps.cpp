#include "Bitmaps.h"

#include <cstdio>
#include <cstdlib>
#include <iterator>

namespace artwork {

const std::vector<BitmapSpec>& bitmapTable() {
    static const std::vector<BitmapSpec> table(std::begin(bmp::kBitmaps), std::end(bmp::kBitmaps));
    return table;
}

const BitmapSpec& bitmapSpec(int id) {
    if (const BitmapSpec* s = bmp::findBitmap(id)) return *s;
    std::fprintf(stderr, "artwork: no bitmap %d\n", id);
    std::exit(1);
}

void drawBitmap(Canvas& c, const BitmapSpec& art) {
    switch (art.id) {
    case bmp::kBackgroundMixer:
        drawBackground(c, false);
        return;
    case bmp::kBackgroundSampler:
        drawBackground(c, true);
        return;
    case bmp::kSplashImage:
        drawSplash(c);
        return;
    case bmp::kEnvelopeBackground:
        drawEnvelopeBackground(c);
        return;
    default:
        break;
    }
    cairo_t* cr = c.cr();
    const int fw = art.frameWidth(), fh = art.frameHeight();
    for (int f = 0; f < art.frames; ++f) {
        cairo_save(cr);
        // Each frame starts on the surface pixel where the editor looks for
        // it, also at 1.5 where a frame may start half a window pixel in.
        const int x = art.sideBySide ? f * fw : 0;
        const int y = art.sideBySide ? 0 : f * fh;
        const double left = c.snap(x), top = c.snap(y);
        cairo_rectangle(cr, left, top, c.snap(x + fw) - left, c.snap(y + fh) - top);
        cairo_clip(cr);
        cairo_translate(cr, left, top);
        if (art.frames == bmp::kKnobFrames)
            drawKnobFrame(c, fw, f / double(bmp::kKnobFrames - 1));
        else if (isDisplay(art.id))
            drawDisplayFrame(c, art, f);
        else
            drawControlFrame(c, art, f);
        cairo_restore(cr);
    }
}

} // namespace artwork
