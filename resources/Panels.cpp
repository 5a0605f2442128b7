// The two window backgrounds (one per matrix layout) and the splash image.
//
// Section panels, titles and control labels are drawn here, around the
// control rectangles of Layout.h; number boxes, screens and cell grids get
// recesses so the controls look set into the panel.

#include "Bitmaps.h"
#include "Layout.h"
#include "Palette.h"

#include <cmath>
#include <string>

namespace artwork {

namespace {

namespace p = palette;
namespace l = layout;

constexpr double kTitleSize = 8.0;
constexpr double kLabelSize = 6.5;
constexpr double kTitleTracking = 1.4;
constexpr double kLabelTracking = 0.5;

const Colour kOperatorHue = rgb(0x8ec6e0);
const Colour kFilterHue = rgb(0xd9b97c);
const Colour kSampleHue = rgb(0x9fd2a4);

void panel(Canvas& c, double x, double y, double w, double h) {
    c.fillRoundRect(x - 1, y - 1, w + 2, h + 2, 5, p::panelEdge);
    c.fillRoundRectV(x, y, w, h, 4, p::panelTop, p::panelBottom);
    c.fillRoundRect(x + 4, y, w - 8, 1, 0, p::panelSheen);
}

void vDivider(Canvas& c, double x, double y0, double y1) {
    c.fillRoundRect(x, y0, 1, y1 - y0, 0, p::separator);
    c.fillRoundRect(x + 1, y0, 1, y1 - y0, 0, p::separatorSheen);
}

void hDivider(Canvas& c, double x0, double x1, double y) {
    c.fillRoundRect(x0, y, x1 - x0, 1, 0, p::separator);
    c.fillRoundRect(x0, y + 1, x1 - x0, 1, 0, p::separatorSheen);
}

void title(Canvas& c, double x, double y, const std::string& s, Align a = Align::Left) {
    c.text(x, y, s, kTitleSize, p::title, a, Font::Bold, kTitleTracking);
}

// A control's label; narrowed where it would crowd its neighbours.
void label(Canvas& c, double x, double y, const std::string& s, Align a = Align::Centre,
           const Colour& col = p::label, double room = 1000) {
    if (c.textWidth(s, kLabelSize, Font::Bold, kLabelTracking) <= room)
        c.text(x, y, s, kLabelSize, col, a, Font::Bold, kLabelTracking);
    else
        c.text(x, y, s, kLabelSize, col, a, Font::CondensedBold, 0.2);
}

// A recess one and a half pixels around a rectangle, lit on its lower edge.
void recess(Canvas& c, double x, double y, double w, double h, double margin = 1.5) {
    c.fillRoundRect(x - margin, y - margin, w + 2 * margin, h + 2 * margin, 2.5, p::well);
    c.fillRoundRect(x - margin + 2, y + h + margin, w + 2 * margin - 4, 1, 0, p::wellSheen);
}

void hatch(Canvas& c, double x, double y, double w, double h) {
    cairo_t* cr = c.cr();
    cairo_save(cr);
    c.roundRect(x, y, w, h, 2);
    cairo_clip(cr);
    c.fillRoundRect(x, y, w, h, 0, rgb(0x14181d));
    for (double d = -h; d < w; d += 4)
        c.line(x + d, y + h, x + d + h, y, rgb(0xffffff, 0.06));
    cairo_restore(cr);
}

// How the controls are handled, along the bottom edge.
void footer(Canvas& c) {
    const double y = 579;
    c.fillRoundRectV(0, y, l::kWindowWidth, l::kWindowHeight - y, 0, p::topBar, rgb(0x080a0c));
    c.fillRoundRect(0, y - 1, l::kWindowWidth, 1, 0, rgb(0x000000));
    c.text(l::kWindowWidth / 2.0, y + 13.5,
           "Drag up or down to change a value   ·   Alt: fine steps   ·   Right-click or "
           "Ctrl-click: default value   ·   Envelope: right-click adds or deletes a point, "
           "Alt keeps its level, Ctrl its time",
           7.5, p::label.withAlpha(0.85), Align::Centre, Font::Regular, 0.1);
}

void topBar(Canvas& c) {
    c.fillRoundRectV(0, 0, l::kWindowWidth, 34, 0, rgb(0x0f1317), p::topBar);
    c.fillRoundRect(0, 34, l::kWindowWidth, 1, 0, rgb(0x000000));
    c.fillRoundRect(0, 35, l::kWindowWidth, 1, 0, rgb(0xffffff, 0.04));

    // Word mark: a small phase-modulated wave before the name.
    cairo_t* cr = c.cr();
    cairo_new_path(cr);
    for (int i = 0; i <= 60; ++i) {
        const double t = i / 60.0;
        const double ph = 2 * M_PI * t * 2 + 1.6 * std::sin(2 * M_PI * t * 2);
        const double x = 20 + t * 22, y = 18 - 6.5 * std::sin(ph);
        if (i == 0)
            cairo_move_to(cr, x, y);
        else
            cairo_line_to(cr, x, y);
    }
    c.setColour(p::accent);
    cairo_set_line_width(cr, 1.8);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    cairo_stroke(cr);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_BUTT);
    c.text(50, 24, "QUELLOR", 16, p::labelBright, Align::Left, Font::Bold, 3.0);
    c.text(176, 23, "PHASE MODULATION SYNTHESIZER", 6.5, p::labelDim, Align::Left, Font::Bold, 1.2);

    label(c, 384, 10, "BANK", Align::Left, p::labelDim);
    label(c, 490, 10, "PROGRAM", Align::Left, p::labelDim);
    label(c, 601, 10, "FILE", Align::Left, p::labelDim);
    label(c, 774, 10, "MICROTUNING", Align::Left, p::labelDim);
    label(c, 896, 10, "FINE", Align::Left, p::labelDim);
    recess(c, 384, 14, 95, 13, 1);
    recess(c, 490, 14, 95, 13, 1);
    recess(c, 774, 14, 95, 13, 1);
}

void oscillatorMatrixLabels(Canvas& c) {
    title(c, 21, 48, "MATRIX");
    for (int k = 0; k < 8; ++k)
        label(c, l::modulationX(k) + 13, 48, std::to_string(k + 1), Align::Centre, kOperatorHue);
    label(c, l::kSendF1X + 13, 48, "F1", Align::Centre, kFilterHue);
    label(c, l::kSendF2X + 13, 48, "F2", Align::Centre, kFilterHue);
    label(c, l::kPanX + 13, 48, "PAN");
    label(c, l::kMixX + 13, 48, "MIX");
    recess(c, l::modulationX(0), l::kMatrixTop, 26 * 8, 14 * 10, 1);
    recess(c, l::kSendF1X, l::kMatrixTop, 52, 14 * 10, 1);
    recess(c, l::kPanX, l::kMatrixTop, 52, 14 * 10, 1);
    // The filter rows have no switch; their names sit where the operators' keys are.
    for (int f = 0; f < 2; ++f) {
        const double y = f == 0 ? l::kFilter1RowY : l::kFilter2RowY;
        c.fillRoundRect(22, y + 1.5, 42, 11, 2, rgb(0x000000, 0.25));
        c.text(43, y + 9.5, f == 0 ? "FILTER 1" : "FILTER 2", 6.5, kFilterHue, Align::Centre,
               Font::CondensedBold, 0.3);
    }
    // A filter does not feed itself: hatch the two empty places.
    hatch(c, l::kSendF1X + 1, l::kFilter1RowY + 1, 24, 12);
    hatch(c, l::kSendF2X + 1, l::kFilter2RowY + 1, 24, 12);
}

void samplerMatrixLabels(Canvas& c) {
    title(c, 21, 48, "SAMPLER");
    label(c, l::kSlotX + 32 + (l::kClearX - l::kSlotX - 32) / 2.0, 48, "SAMPLE", Align::Centre,
          kSampleHue);
    label(c, l::kLowKeyX + 16, 48, "LOKEY");
    label(c, l::kRootX + 18, 48, "ROOT");
    label(c, l::kTrackX + 9.5, 48, "TRK");
    label(c, l::kLoopX + 9.5, 48, "LPS");
    label(c, l::kSampleF1X + 13, 48, "F1", Align::Centre, kFilterHue);
    label(c, l::kSampleF2X + 13, 48, "F2", Align::Centre, kFilterHue);
    label(c, l::kSamplePanX + 17, 48, "PAN");
    label(c, l::kSampleMixX + 17, 48, "MIX");
    recess(c, l::kSlotX, l::kMatrixTop, 395 - l::kSlotX, 14 * 8, 1);
    label(c, 45, 197.5, "LEVEL", Align::Right);
    label(c, 107, 197.5, "PAN", Align::Right);
    c.text(150, 197.5, "SAMPLE LAYER", kLabelSize, p::labelDim, Align::Left, Font::Bold, 0.8);
}

void operatorPanelLabels(Canvas& c) {
    title(c, 444, 48, "OP", Align::Centre);
    label(c, 441, 175.5, "LAYOUT", Align::Centre, p::labelDim);
    vDivider(c, 481, 42, 204);
    title(c, 489, 48, "OPERATOR");
    label(c, 520, 81, "OFFSET Hz");
    label(c, 524, 116, "LEVEL");
    label(c, 590, 116, "PHASE");
    label(c, 698, 68, "HARMONICS");
    label(c, 798, 68, "PHASES");
    label(c, 899, 68, "WAVE");
    hDivider(c, 485, 958, 140);
    title(c, 496, 169, "FILTER 1");
    title(c, 647, 169, "FILTER 2");
    for (int f = 0; f < 2; ++f) {
        const int x = f == 0 ? 496 : 647;
        label(c, x + 17, 188, "CUTOFF");
        label(c, x + 44 + 17, 188, "KBD");
        label(c, x + 87 + 17, 188, "RESO");
    }
    vDivider(c, 782, 144, 204);
    label(c, 814, 155, "TRANSP");
    label(c, 866, 155, "VOICES");
    label(c, 807, 188, "SLIDE");
    label(c, 847, 188, "DETUNE");
    label(c, 890, 188, "BEND +");
    label(c, 938, 188, "BEND −");
}

// A title that runs up the narrow margin beside a section's screen, ending
// level with its top.
void sideTitle(Canvas& c, double x, double top, const std::string& s) {
    cairo_t* cr = c.cr();
    cairo_save(cr);
    cairo_translate(cr, x, top + c.textWidth(s, 7, Font::Bold, 1.4));
    cairo_rotate(cr, -M_PI / 2);
    c.text(0, 0, s, 7, p::title, Align::Left, Font::Bold, 1.4);
    cairo_restore(cr);
}

void envelopeLabels(Canvas& c) {
    sideTitle(c, 16.5, l::kEnvelopeArea.y + 2, "ENVELOPE");
    recess(c, l::kEnvelopeArea.x, l::kEnvelopeArea.y, l::kEnvelopeArea.w, l::kEnvelopeArea.h, 1);
    label(c, 378, 387.5, "KBD", Align::Left);
    label(c, 455, 387.5, "VEL", Align::Left);
}

void routingLabels(Canvas& c) {
    recess(c, l::kRoutingNameX, l::kRoutingTop, 948 - l::kRoutingNameX, 14 * 8, 1);
    label(c, l::kRoutingNameX + 41, 359, "ENVELOPE");
    for (int k = 0; k < 8; ++k)
        label(c, l::routingOscX(k) + 17, 359, "OSC " + std::to_string(k + 1), Align::Centre,
              kOperatorHue);
    label(c, l::kRoutingFilt1X + 17, 359, "FILT 1", Align::Centre, kFilterHue);
    label(c, l::kRoutingFilt2X + 17, 359, "FILT 2", Align::Centre, kFilterHue);
    label(c, l::kRoutingSampX + 17, 359, "SAMP", Align::Centre, kSampleHue);
    label(c, 657, 228.5, "GROUP", Align::Centre, p::labelDim);
}

void splashArea(Canvas& c) {
    // The click area that opens the about screen: the emblem and a line
    // of what the instrument is.
    const l::Rect r = l::kSplashArea;
    cairo_t* cr = c.cr();
    cairo_new_path(cr);
    for (int i = 0; i <= 400; ++i) {
        const double t = i / 400.0;
        const double ph = 2 * M_PI * t * 9 + 2.2 * std::sin(2 * M_PI * t * 3);
        const double env = std::sin(M_PI * t);
        const double x = r.x + 12 + t * 150, y = r.y + r.h / 2.0 - 9 * env * std::sin(ph);
        if (i == 0)
            cairo_move_to(cr, x, y);
        else
            cairo_line_to(cr, x, y);
    }
    c.setColour(p::accent.withAlpha(0.55));
    cairo_set_line_width(cr, 1.1);
    cairo_stroke(cr);
    c.text(r.x + 178, r.y + 22, "QUELLOR", 13, p::labelBright.withAlpha(0.85), Align::Left,
           Font::Bold, 2.5);
    c.text(r.x + 292, r.y + 16, "24 VOICES  ·  8 OPERATORS", 6, p::labelDim, Align::Left,
           Font::Bold, 0.8);
    c.text(r.x + 292, r.y + 25, "10 × 10 PHASE MATRIX", 6, p::labelDim, Align::Left, Font::Bold,
           0.8);
}

void effectsLabels(Canvas& c) {
    const double knobLabelY = 494;
    // Chorus
    title(c, 62, 430, "CHORUS");
    const char* const chorus[5] = {"TIME", "SPEED", "STEREO", "DRY", "WET"};
    for (int i = 0; i < 5; ++i)
        label(c, 22 + 30 * i + 11, knobLabelY, chorus[i], Align::Centre, p::label, 26);
    label(c, 194, knobLabelY, "INVERT");
    vDivider(c, 215, 410, 494);
    // Delay
    title(c, 260, 430, "DELAY");
    label(c, 238, knobLabelY, "SYNC");
    label(c, 277, knobLabelY, "PRE");
    label(c, 342, 432, "TIME L");
    label(c, 375, 432, "TIME R");
    const char* const delay[5] = {"PAN L", "PAN R", "FDBK", "BAL", "WET"};
    const int delayX[5] = {330, 364, 402, 436, 470};
    for (int i = 0; i < 5; ++i)
        label(c, delayX[i] + 11, knobLabelY, delay[i]);
    vDivider(c, 500, 410, 494);
    // Reverb
    title(c, 546, 430, "REVERB");
    const char* const reverb[3] = {"FDBK", "COLOR", "WET"};
    for (int i = 0; i < 3; ++i)
        label(c, 510 + 34 * i + 11, knobLabelY, reverb[i]);
    vDivider(c, 607, 410, 494);
    // Equaliser
    title(c, 653, 430, "EQUALISER");
    for (int i = 0; i < 4; ++i) {
        label(c, 616 + 54 * i + 11, knobLabelY, "GAIN");
        label(c, 646 + 54 * i + 8, knobLabelY, "Q");
        if (i > 0) vDivider(c, 614 + 54 * i - 2, 440, 494);
    }
    vDivider(c, 833, 410, 494);
    // Master
    title(c, 841, 430, "MASTER");
    label(c, 852, knobLabelY, "LEVEL");
    label(c, 890, knobLabelY, "DRIVE");
    label(c, 932, knobLabelY, "WAVES");
}

void sequencerLabels(Canvas& c) {
    for (int q = 0; q < 2; ++q) {
        const int dx = q == 0 ? 0 : 472;
        const int x0 = q == 0 ? l::kSequencerAX : l::kSequencerBX;
        label(c, 164 + dx, 512.5, "STEPS", Align::Right);
        label(c, 241 + dx, 512.5, "SHUFFLE", Align::Right);
        label(c, 330 + dx, 512.5, "TRANSPOSE", Align::Right);
        for (int row = 0; row < 2; ++row) {
            const int y = row == 0 ? l::kStepRow1Y : l::kStepRow2Y;
            for (int g = 0; g < 4; ++g) {
                const int gx = l::stepX(x0, 4 * g);
                recess(c, gx, y, 26 * 4, 14, 1);
                const std::string n = std::to_string(16 * row + 4 * g + 1);
                const double labelY = y - 3;
                c.text(gx + 1, labelY, n, 6, p::labelDim, Align::Left, Font::Bold);
                const double lx = gx + 4 + c.textWidth(n, 6, Font::Bold);
                c.fillRoundRect(lx, labelY - 2.5, gx + 104 - lx - 1, 1, 0,
                                g == 0 ? p::accent.withAlpha(0.45) : rgb(0xffffff, 0.09));
            }
        }
    }
    vDivider(c, 485, 503, 570);
}

} // namespace

void drawBackground(Canvas& c, bool samplerLayout) {
    c.fillRoundRectV(0, 0, l::kWindowWidth, l::kWindowHeight, 0, p::windowTop, p::windowBottom);
    topBar(c);

    panel(c, 8, 39, 396, 169);    // matrix
    panel(c, 408, 39, 554, 169);  // operator, filters, voice
    panel(c, 8, 211, 470, 185);   // envelope
    panel(c, 482, 211, 480, 155); // routing
    panel(c, 8, 407, 954, 90);    // effects and master
    panel(c, 8, 500, 954, 74);    // sequencers
    footer(c);

    if (samplerLayout)
        samplerMatrixLabels(c);
    else
        oscillatorMatrixLabels(c);
    operatorPanelLabels(c);
    envelopeLabels(c);
    routingLabels(c);
    splashArea(c);
    effectsLabels(c);
    sequencerLabels(c);

    // Number boxes and screens sit in recesses.
    for (const l::Control& k : l::controls(samplerLayout)) {
        switch (k.kind) {
        case l::Kind::PlainNumber:
        case l::Kind::DigitNumber:
            recess(c, k.x, k.y, k.w, k.h);
            break;
        case l::Kind::Spectrum:
        case l::Kind::WaveView:
            recess(c, k.x, k.y, k.w, k.h, 2);
            break;
        default:
            break;
        }
    }
}

void drawSplash(Canvas& c) {
    const double w = l::kWindowWidth, h = l::kWindowHeight;
    c.fillRoundRectV(0, 0, w, h, 0, rgb(0x0d1115), rgb(0x05070a));
    cairo_t* cr = c.cr();
    // A field of phase-modulated waves, brighter towards the middle.
    for (int n = 0; n < 28; ++n) {
        const double index = n / 27.0;
        cairo_new_path(cr);
        for (int i = 0; i <= 600; ++i) {
            const double t = i / 600.0;
            const double ph = 2 * M_PI * t * 5 + (0.3 + 3.2 * index) * std::sin(2 * M_PI * t * 2);
            const double x = 60 + t * (w - 120);
            const double y = 268 + (n - 13.5) * 6 + 26 * std::sin(M_PI * t) * std::sin(ph);
            if (i == 0)
                cairo_move_to(cr, x, y);
            else
                cairo_line_to(cr, x, y);
        }
        const double a = 0.08 + 0.45 * std::pow(std::sin(M_PI * index), 3);
        c.setColour(p::accent.withAlpha(a));
        cairo_set_line_width(cr, 1.0);
        cairo_stroke(cr);
    }
    c.text(w / 2, 140, "QUELLOR", 54, p::labelBright, Align::Centre, Font::Bold, 14);
    c.text(w / 2, 166, "PHASE MODULATION SYNTHESIZER", 11, p::accent, Align::Centre, Font::Bold, 4);
    const char* const lines[] = {
        "24 voices of eight wave-table operators and two resonant ladder filters",
        "in a free 10 × 10 phase modulation matrix, with a sample layer of eight slots.",
        "32 breakpoint envelopes per program, two chord-following step sequencers,",
        "chorus, stereo delay, reverb and a four-band equaliser, and microtuning.",
    };
    for (int i = 0; i < 4; ++i)
        c.text(w / 2, 380 + 18 * i, lines[i], 10.5, p::label, Align::Centre, Font::Regular);
    c.text(w / 2, 486, "VST 2.4 INSTRUMENT", 8, p::labelDim, Align::Centre, Font::Bold, 2);
    c.text(w / 2, 560, "Click to return to the editor.", 9, p::labelDim, Align::Centre,
           Font::Regular);
}

} // namespace artwork
