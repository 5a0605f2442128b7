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

void drawBitmap(Canvas& c, const BitmapSpec& spec) {
    switch (spec.id) {
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
    const int fw = spec.frameWidth(), fh = spec.frameHeight();
    for (int f = 0; f < spec.frames; ++f) {
        cairo_save(cr);
        const int x = spec.sideBySide ? f * fw : 0;
        const int y = spec.sideBySide ? 0 : f * fh;
        cairo_rectangle(cr, x, y, fw, fh);
        cairo_clip(cr);
        cairo_translate(cr, x, y);
        if (spec.frames == bmp::kKnobFrames)
            drawKnobFrame(c, fw, f / double(bmp::kKnobFrames - 1));
        else if (isDisplay(spec.id))
            drawDisplayFrame(c, spec, f);
        else
            drawControlFrame(c, spec, f);
        cairo_restore(cr);
    }
}

} // namespace artwork
