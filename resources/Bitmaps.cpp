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
        // Each frame fills the surface pixels where the editor looks for it.
        // At 1.5 a frame may start half a window pixel in, and its pixels may
        // be one more or one fewer than 1.5 times its size: it is drawn
        // stretched by that pixel, so that no column or row of it is left
        // half covered (a 1-pixel level image would show stripes).
        const int x = art.sideBySide ? f * fw : 0;
        const int y = art.sideBySide ? 0 : f * fh;
        const double left = c.snap(x), top = c.snap(y);
        const double w = c.snap(x + fw) - left, h = c.snap(y + fh) - top;
        cairo_rectangle(cr, left, top, w, h);
        cairo_clip(cr);
        cairo_translate(cr, left, top);
        cairo_scale(cr, w / fw, h / fh);
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
