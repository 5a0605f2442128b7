#include "Bitmaps.h"

#include <cstdio>
#include <cstdlib>

namespace artwork {

namespace {

constexpr int kKnobFrames = 55;

std::vector<BitmapSpec> makeTable() {
    std::vector<BitmapSpec> t;
    auto add = [&t](int id, int w, int h, int frames, bool side = false) {
        t.push_back({id, w, h, frames, side});
    };
    add(kBackgroundMixer, 970, 600, 1);
    add(kBackgroundSampler, 970, 600, 1);
    add(kSplash, 970, 600, 1);
    for (int id : {121, 122, 123, 127, 158}) // envelope switches
        add(id, 52, 28, 2);
    add(124, 29, 24, 2);                // operator phase FREE
    add(125, 55, 28, 2);                // PORTA
    add(128, 55, 28, 2);                // UNISON
    add(126, 39, 26, 2);                // RATIO / PITCH
    for (int id = 130; id <= 137; ++id) // operator on/off
        add(id, 44, 28, 2);
    for (int id : {139, 140, 143, 144}) // effect switches
        add(id, 34, 44, 2);
    add(141, 34, 40, 2); // equaliser enable
    add(142, 34, 44, 2); // LOFI WAVES
    add(145, 34, 28, 2); // routing OSC cells
    add(146, 26, 28, 2); // matrix cells
    add(147, 34, 28, 2); // routing FILT cells
    add(148, 26, 28, 2); // filter cells
    for (int id : {149, 150, 151})
        add(id, 22, 22 * kKnobFrames, kKnobFrames);
    add(198, 16, 16 * kKnobFrames, kKnobFrames);
    add(152, 302, 50, 100, true); // spectrum bar levels, 3 pixels each
    add(153, 180, 46, 180, true); // wave view column levels
    add(154, 43, 48, 4);          // filter modes
    add(156, 416, 112, 8, true);  // operator selector
    add(kEnvelopeBackground, 453, 130, 1);
    add(159, 1092, 12, 4, true);        // envelope groups
    add(160, 86, 10, 1);                // target and controller menus
    add(161, 82, 42, 3);                // routing row names
    add(162, 148, 10, 1);               // routing menu
    add(164, 387, 12, 3, true);         // curve selector
    add(165, 111, 11, 1);               // spectrum menu
    add(167, 52, 28, 2);                // RANDOM
    add(168, 52, 28, 2);                // PING-PONG
    add(169, 66, 30, 2);                // sequencer A on
    add(170, 26, 15, 1);                // pattern menu
    add(171, 95, 13, 1);                // bank, program and microtuning fields
    add(172, 16, 13, 1);                // load program
    add(173, 18, 13, 1);                // next program
    add(174, 16, 13, 1);                // save program
    add(175, 18, 13, 1);                // previous program
    add(177, 19, 28, 2);                // TRK, LPS
    for (int id = 178; id <= 185; ++id) // sample slot names
        add(id, 150, 28, 2);
    add(186, 14, 28, 2);  // clear sample
    add(187, 60, 48, 2);  // layout toggle
    add(188, 66, 30, 2);  // sequencer B on
    add(190, 34, 28, 2);  // sample cells
    add(194, 135, 10, 1); // point display
    add(199, 26, 28, 2);  // sequencer steps
    return t;
}

} // namespace

const std::vector<BitmapSpec>& bitmapTable() {
    static const std::vector<BitmapSpec> table = makeTable();
    return table;
}

const BitmapSpec& bitmapSpec(int id) {
    for (const BitmapSpec& s : bitmapTable())
        if (s.id == id) return s;
    std::fprintf(stderr, "artwork: no bitmap %d\n", id);
    std::exit(1);
}

void drawBitmap(Canvas& c, const BitmapSpec& spec) {
    switch (spec.id) {
    case kBackgroundMixer:
        drawBackground(c, false);
        return;
    case kBackgroundSampler:
        drawBackground(c, true);
        return;
    case kSplash:
        drawSplash(c);
        return;
    case kEnvelopeBackground:
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
        if (spec.frames == kKnobFrames)
            drawKnobFrame(c, fw, f / double(kKnobFrames - 1));
        else if (isDisplay(spec.id))
            drawDisplayFrame(c, spec, f);
        else
            drawControlFrame(c, spec, f);
        cairo_restore(cr);
    }
}

} // namespace artwork
