// Knobs, keys (buttons), number cells, selectors and menu fields.

#include "Bitmaps.h"
#include "Palette.h"
#include "base/ValueIds.h"

#include <cmath>
#include <string>

namespace artwork {

namespace {

namespace p = palette;

constexpr double kLabelSize = 7.0;
// Knob travel: from lower left (135 degrees) clockwise to lower right.
constexpr double kKnobStart = 0.75 * M_PI;
constexpr double kKnobSweep = 1.5 * M_PI;

// Baseline that centres capital letters of `size` in a box of height h.
double centredBaseline(double top, double h, double size) {
    return top + h / 2 + size * 0.36;
}

enum class KeyState { Off, On, Mode };

// A key's face inside a frame of w x h, one pixel in from every edge so that
// neighbouring keys stay apart.
void keyFace(Canvas& c, double w, double h, KeyState state) {
    const double x = 1, y = 1, fw = w - 2, fh = h - 2, r = 2.5;
    c.fillRoundRect(x - 0.5, y - 0.5, fw + 1, fh + 1, r + 0.5, p::keyEdge);
    if (state == KeyState::On) {
        c.fillRoundRectV(x, y, fw, fh, r, rgb(0x45c4ff), rgb(0x0092de));
        c.fillRoundRect(x + 1, y, fw - 2, 1, 0, rgb(0xffffff, 0.45));
    } else {
        c.fillRoundRectV(x, y, fw, fh, r, p::keyTop, p::keyBottom);
        c.fillRoundRect(x + 1, y, fw - 2, 1, 0, p::panelSheen);
    }
}

Colour keyTextColour(KeyState state) {
    switch (state) {
    case KeyState::On:
        return p::onText;
    case KeyState::Mode:
        return p::accentBright;
    default:
        return p::keyText;
    }
}

void labelledKey(Canvas& c, double w, double h, KeyState state, const std::string& label,
                 double size = kLabelSize) {
    keyFace(c, w, h, state);
    const Font font =
        c.textWidth(label, size, Font::Bold) > w - 6 ? Font::CondensedBold : Font::Bold;
    c.text(w / 2, centredBaseline(0, h, size), label, size, keyTextColour(state), Align::Centre,
           font);
}

// A round lamp in the middle of a key.
void lamp(Canvas& c, double cx, double cy, double r, bool on) {
    cairo_t* cr = c.cr();
    cairo_new_path(cr);
    if (on) {
        cairo_arc(cr, cx, cy, r + 1.5, 0, 2 * M_PI);
        c.setColour(rgb(0xffffff, 0.35));
        cairo_fill(cr);
        cairo_arc(cr, cx, cy, r, 0, 2 * M_PI);
        c.setColour(rgb(0xf4fbff));
        cairo_fill(cr);
    } else {
        cairo_arc(cr, cx, cy + 0.5, r, 0, 2 * M_PI);
        c.setColour(rgb(0xffffff, 0.08));
        cairo_fill(cr);
        cairo_arc(cr, cx, cy, r, 0, 2 * M_PI);
        c.setColour(rgb(0x0b0e11));
        cairo_fill(cr);
    }
}

void powerIcon(Canvas& c, double cx, double cy, double r, const Colour& colour) {
    cairo_t* cr = c.cr();
    c.setColour(colour);
    cairo_set_line_width(cr, 1.6);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    cairo_new_path(cr);
    cairo_arc(cr, cx, cy, r, -M_PI / 2 + 0.65, 3 * M_PI / 2 - 0.65);
    cairo_stroke(cr);
    cairo_move_to(cr, cx, cy - r - 1);
    cairo_line_to(cr, cx, cy - 0.5);
    cairo_stroke(cr);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_BUTT);
}

void switchKey(Canvas& c, double w, double h, bool on, const std::string& label) {
    keyFace(c, w, h, on ? KeyState::On : KeyState::Off);
    if (label.empty()) {
        powerIcon(c, w / 2, h / 2 + 0.5, std::fmin(w, h) * 0.22,
                  keyTextColour(on ? KeyState::On : KeyState::Off));
    } else {
        c.text(w / 2, centredBaseline(0, h, kLabelSize), label, kLabelSize,
               keyTextColour(on ? KeyState::On : KeyState::Off), Align::Centre, Font::Bold);
    }
}

// The response curve of a filter mode, drawn in a box of w x h.
void filterIcon(Canvas& c, double x, double y, double w, double h, int mode, const Colour& col) {
    cairo_t* cr = c.cr();
    cairo_new_path(cr);
    const int n = 24;
    for (int i = 0; i <= n; ++i) {
        const double t = i / double(n);
        double v = 0.5; // mode 0: flat
        if (mode == 1)
            v = t < 0.55 ? 0.75 : 0.75 - std::pow((t - 0.55) / 0.45, 1.5) * 0.75;
        else if (mode == 2)
            v = 0.8 * std::exp(-std::pow((t - 0.5) / 0.2, 2));
        else if (mode == 3)
            v = t > 0.45 ? 0.75 : 0.75 - std::pow((0.45 - t) / 0.45, 1.5) * 0.75;
        const double px = x + t * w, py = y + h - v * h;
        if (i == 0)
            cairo_move_to(cr, px, py);
        else
            cairo_line_to(cr, px, py);
    }
    c.setColour(col);
    cairo_set_line_width(cr, 1.2);
    cairo_stroke(cr);
}

void paperCell(Canvas& c, double w, double h, const p::Paper& paper, bool dimmed) {
    const double x = 1, y = 1, fw = w - 2, fh = h - 2;
    c.fillRoundRect(x - 0.5, y - 0.5, fw + 1, fh + 1, 2.5, p::keyEdge);
    if (dimmed) {
        c.fillRoundRectV(x, y, fw, fh, 2, paper.dimTop, paper.dimBottom);
        c.fillRoundRect(x + 1, y, fw - 2, 1, 0, rgb(0xffffff, 0.07));
    } else {
        c.fillRoundRectV(x, y, fw, fh, 2, paper.top, paper.bottom);
        c.fillRoundRect(x + 1, y, fw - 2, 1, 0, rgb(0xffffff, 0.55));
    }
}

void selectedCell(Canvas& c, double w, double h) {
    c.fillRoundRect(0.5, 0.5, w - 1, h - 1, 2.5, p::keyEdge);
    c.fillRoundRectV(1, 1, w - 2, h - 2, 2, rgb(0xffdb5c), rgb(0xf2b100));
    c.fillRoundRect(2, 1, w - 4, 1, 0, rgb(0xffffff, 0.6));
}

// A field for a menu or a display: light under black text, dark under white.
void field(Canvas& c, double w, double h, bool dark, bool arrow) {
    if (dark) {
        c.fillRoundRectV(0, 0, w, h, 2, p::fieldTop, p::fieldBottom);
        c.strokeRoundRect(0, 0, w, h, 2, p::fieldEdge);
    } else {
        c.fillRoundRectV(0, 0, w, h, 2, p::paperNeutral.top, p::paperNeutral.bottom);
        c.strokeRoundRect(0, 0, w, h, 2, rgb(0x000000, 0.55));
    }
    if (arrow) {
        const double s = std::fmin(h * 0.32, 3.0);
        const double cx = w - 3 - s, cy = h / 2;
        cairo_t* cr = c.cr();
        cairo_move_to(cr, cx - s, cy - s * 0.55);
        cairo_line_to(cr, cx + s, cy - s * 0.55);
        cairo_line_to(cr, cx, cy + s * 0.75);
        cairo_close_path(cr);
        c.setColour(dark ? p::accent : rgb(0x26303a));
        cairo_fill(cr);
    }
}

// A menu of commands: a raised key like the buttons around it, with its caption
// and the pop-up arrow, so it reads as a button that opens a list rather than a
// field showing a choice. The edge fills the whole bitmap: these keys are only
// 10 to 15 pixels high and need every row for the caption.
void commandMenuKey(Canvas& c, double w, double h, const std::string& caption) {
    constexpr double kArrowBox = 9;
    c.fillRoundRect(0, 0, w, h, 2.5, p::keyEdge);
    c.fillRoundRectV(0.75, 0.75, w - 1.5, h - 1.5, 2, p::keyTop, p::keyBottom);
    c.fillRoundRect(1.5, 0.75, w - 3, 0.75, 0, p::panelSheen);
    c.line(w - kArrowBox - 0.5, 2.5, w - kArrowBox - 0.5, h - 2.5, p::keyEdge);

    const double size = std::fmin(kLabelSize, h - 3.5);
    const double room = w - kArrowBox - 3;
    const Font font =
        c.textWidth(caption, size, Font::Bold) > room ? Font::CondensedBold : Font::Bold;
    c.text(1.5 + room / 2, centredBaseline(0, h, size), caption, size, p::keyText, Align::Centre,
           font);

    const double s = 2.2, cx = w - kArrowBox / 2 - 0.5, cy = h / 2;
    cairo_t* cr = c.cr();
    cairo_new_path(cr);
    cairo_move_to(cr, cx - s, cy - s * 0.5);
    cairo_line_to(cr, cx + s, cy - s * 0.5);
    cairo_line_to(cr, cx, cy + s * 0.75);
    cairo_close_path(cr);
    c.setColour(p::accent);
    cairo_fill(cr);
}

// One cell of a segmented selector: amber when chosen.
void segment(Canvas& c, double x, double y, double w, double h, bool chosen,
             const std::string& label) {
    c.fillRoundRect(x + 0.5, y + 0.5, w - 1, h - 1, 2.5, p::keyEdge);
    if (chosen) {
        c.fillRoundRectV(x + 1, y + 1, w - 2, h - 2, 2, rgb(0xffdb5c), rgb(0xf2b100));
        c.fillRoundRect(x + 2, y + 1, w - 4, 1, 0, rgb(0xffffff, 0.55));
    } else {
        c.fillRoundRectV(x + 1, y + 1, w - 2, h - 2, 2, p::keyTop, p::keyBottom);
        c.fillRoundRect(x + 2, y + 1, w - 4, 1, 0, p::panelSheen);
    }
    c.text(x + w / 2, centredBaseline(y, h, kLabelSize), label, kLabelSize,
           chosen ? rgb(0x201600) : p::keyText, Align::Centre, Font::Bold);
}

void triangle(Canvas& c, double cx, double cy, double s, bool right, const Colour& col) {
    cairo_t* cr = c.cr();
    const double d = right ? 1 : -1;
    cairo_move_to(cr, cx - d * s * 0.6, cy - s);
    cairo_line_to(cr, cx + d * s * 0.8, cy);
    cairo_line_to(cr, cx - d * s * 0.6, cy + s);
    cairo_close_path(cr);
    c.setColour(col);
    cairo_fill(cr);
}

void folderIcon(Canvas& c, double cx, double cy, const Colour& col) {
    cairo_t* cr = c.cr();
    c.setColour(col);
    cairo_move_to(cr, cx - 4.5, cy + 3.5);
    cairo_line_to(cr, cx - 4.5, cy - 3.5);
    cairo_line_to(cr, cx - 1.5, cy - 3.5);
    cairo_line_to(cr, cx - 0.5, cy - 2.5);
    cairo_line_to(cr, cx + 4.5, cy - 2.5);
    cairo_line_to(cr, cx + 4.5, cy + 3.5);
    cairo_close_path(cr);
    cairo_fill(cr);
    c.fillRoundRect(cx - 4.5, cy - 1, 9, 0.8, 0, rgb(0x000000, 0.5));
}

void diskIcon(Canvas& c, double cx, double cy, const Colour& col) {
    c.fillRoundRect(cx - 4, cy - 4, 8, 8, 1, col);
    c.fillRoundRect(cx - 2.5, cy - 4, 5, 2.8, 0, rgb(0x000000, 0.55));
    c.fillRoundRect(cx - 2.5, cy + 0.5, 5, 3.5, 0.5, rgb(0x000000, 0.55));
}

void crossIcon(Canvas& c, double cx, double cy, double s, const Colour& col) {
    c.line(cx - s, cy - s, cx + s, cy + s, col, 1.4);
    c.line(cx - s, cy + s, cx + s, cy - s, col, 1.4);
}

const char* const kFilterModes[4] = {"OFF", "LOW", "BAND", "HIGH"};

} // namespace

void drawKnobFrame(Canvas& c, double size, double value) {
    cairo_t* cr = c.cr();
    const double cx = size / 2, cy = size / 2;
    const double ring = size / 2 - 1.4; // value arc radius
    const double body = size >= 20 ? ring - 2.9 : ring - 2.4;
    const double angle = kKnobStart + kKnobSweep * value;
    const double ringWidth = size >= 20 ? 2.0 : 1.7;

    // Track of the whole travel, then the value arc in the accent colour.
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    cairo_set_line_width(cr, ringWidth);
    cairo_new_path(cr);
    cairo_arc(cr, cx, cy, ring, kKnobStart, kKnobStart + kKnobSweep);
    c.setColour(rgb(0x07090b));
    cairo_stroke(cr);
    if (value > 0) {
        cairo_new_path(cr);
        cairo_arc(cr, cx, cy, ring, kKnobStart, angle);
        c.setColour(p::accent);
        cairo_stroke(cr);
        // A brighter tip where the arc ends, to read the value exactly.
        cairo_new_path(cr);
        cairo_arc(cr, cx + std::cos(angle) * ring, cy + std::sin(angle) * ring, ringWidth * 0.6, 0,
                  2 * M_PI);
        c.setColour(p::accentBright);
        cairo_fill(cr);
    }
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_BUTT);

    // Body: a cap lit from above with a dark rim.
    cairo_new_path(cr);
    cairo_arc(cr, cx, cy + 0.6, body + 0.6, 0, 2 * M_PI);
    c.setColour(rgb(0x000000, 0.7));
    cairo_fill(cr);
    cairo_pattern_t* g = cairo_pattern_create_linear(0, cy - body, 0, cy + body);
    cairo_pattern_add_color_stop_rgb(g, 0, 0x5a / 255.0, 0x66 / 255.0, 0x73 / 255.0);
    cairo_pattern_add_color_stop_rgb(g, 1, 0x24 / 255.0, 0x2a / 255.0, 0x31 / 255.0);
    cairo_arc(cr, cx, cy, body, 0, 2 * M_PI);
    cairo_set_source(cr, g);
    cairo_fill(cr);
    cairo_pattern_destroy(g);
    cairo_pattern_t* face = cairo_pattern_create_linear(0, cy - body, 0, cy + body);
    cairo_pattern_add_color_stop_rgb(face, 0, 0x3a / 255.0, 0x43 / 255.0, 0x4d / 255.0);
    cairo_pattern_add_color_stop_rgb(face, 1, 0x2c / 255.0, 0x33 / 255.0, 0x3b / 255.0);
    cairo_arc(cr, cx, cy, body - 1.0, 0, 2 * M_PI);
    cairo_set_source(cr, face);
    cairo_fill(cr);
    cairo_pattern_destroy(face);

    // Pointer from near the centre to the rim.
    const double dx = std::cos(angle), dy = std::sin(angle);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    c.line(cx + dx * body * 0.25, cy + dy * body * 0.25, cx + dx * (body - 0.6),
           cy + dy * (body - 0.6), rgb(0xffffff), size >= 20 ? 1.6 : 1.3);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_BUTT);
}

void drawControlFrame(Canvas& c, const BitmapSpec& art, int frame) {
    const double w = art.frameWidth(), h = art.frameHeight();
    const bool on = frame == 1;
    const KeyState state = on ? KeyState::On : KeyState::Off;
    switch (art.id) {
    case bmp::kPlusMinusButton:
        labelledKey(c, w, h, state, "BIPOLAR");
        return;
    case bmp::kFixPointsButton:
        labelledKey(c, w, h, state, "FIX POINTS");
        return;
    case bmp::kFreeRunButton:
        labelledKey(c, w, h, state, "FREE-RUN");
        return;
    case bmp::kTempoSyncButton:
        labelledKey(c, w, h, state, "TMP SYNC");
        return;
    case bmp::kReleaseButton:
        labelledKey(c, w, h, state, "RELEASE");
        return;
    case bmp::kPhaseFreeButton:
        labelledKey(c, w, h, state, "FREE", 6.5);
        return;
    case bmp::kPortaButton:
        labelledKey(c, w, h, state, "PORTA");
        return;
    case bmp::kUnisonButton:
        labelledKey(c, w, h, state, "UNISON");
        return;
    case bmp::kFrequencyModeButton:
        labelledKey(c, w, h, KeyState::Mode, on ? "PITCH" : "RATIO");
        return;
    case bmp::kRandomButton:
        labelledKey(c, w, h, state, "RANDOM");
        return;
    case bmp::kPingPongButton:
        labelledKey(c, w, h, state, "PING-PONG");
        return;
    case bmp::kChorusEnableButton:
    case bmp::kDelayOnButton:
    case bmp::kEqEnableButton:
    case bmp::kReverbEnableButton:
        switchKey(c, w, h, on, "");
        return;
    case bmp::kLofiButton:
        switchKey(c, w, h, on, "LO-FI");
        return;
    case bmp::kEffectSwitch:
    case bmp::kSampleSwitch:
        keyFace(c, w, h, state);
        lamp(c, w / 2, h / 2, 2.5, on);
        return;
    case bmp::kSlotClearButton:
        keyFace(c, w, h, KeyState::Off);
        crossIcon(c, w / 2, h / 2, 2.5, on ? rgb(0xff6a5c) : p::labelDim);
        return;
    case bmp::kSequencerAOnButton:
    case bmp::kSequencerBOnButton: {
        keyFace(c, w, h, state);
        const Colour col = keyTextColour(state);
        triangle(c, 12, h / 2, 3.2, true, col);
        c.text(w / 2 + 5, centredBaseline(0, h, 7.5),
               art.id == bmp::kSequencerAOnButton ? "SEQ A" : "SEQ B", 7.5, col, Align::Centre,
               Font::Bold, 0.4);
        return;
    }
    case bmp::kLayoutToggle: {
        // The layout switch shows both layouts and lights the one on screen.
        c.fillRoundRect(0.5, 0.5, w - 1, h - 1, 3, p::keyEdge);
        segment(c, 1, 1, w - 2, h / 2 - 1, !on, "OSC MIX");
        segment(c, 1, h / 2, w - 2, h / 2 - 1, on, "SAMPLER");
        return;
    }
    case bmp::kFilterModeButton: {
        keyFace(c, w, h, frame == 0 ? KeyState::Off : KeyState::On);
        const Colour col = keyTextColour(frame == 0 ? KeyState::Off : KeyState::On);
        filterIcon(c, 5, 3, 11, h - 6, frame, col);
        c.text(w / 2 + 6, centredBaseline(0, h, 6.5), kFilterModes[frame], 6.5, col, Align::Centre,
               Font::Bold);
        return;
    }
    case bmp::kRoutingOscCell:
    case bmp::kMatrixCell:
        paperCell(c, w, h, p::paperOperator, frame == 0);
        return;
    case bmp::kRoutingFilterCell:
    case bmp::kFilterCell:
        paperCell(c, w, h, p::paperFilter, frame == 0);
        return;
    case bmp::kSampleCell:
        paperCell(c, w, h, p::paperSample, frame == 0);
        return;
    case bmp::kStepCell:
        paperCell(c, w, h, p::paperNeutral, frame == 0);
        return;
    case bmp::kRoutingNameCell:
        if (frame == 2)
            selectedCell(c, w, h);
        else
            paperCell(c, w, h, p::paperNeutral, frame == 0);
        return;
    case bmp::kOperatorSelector:
        for (int i = 0; i < 8; ++i)
            segment(c, 0, i * 14, w, 14, i == frame, "OP " + std::to_string(i + 1));
        return;
    case bmp::kGroupSelector: {
        const char* const groups[4] = {"ENV 1–8", "ENV 9–16", "ENV 17–24", "ENV 25–32"};
        for (int i = 0; i < 4; ++i)
            segment(c, i * w / 4, 0, w / 4, h, i == frame, groups[i]);
        return;
    }
    case bmp::kCurveSelector: {
        const char* const curves[3] = {"ENV", "KBD", "VEL"};
        for (int i = 0; i < 3; ++i)
            segment(c, i * w / 3, 0, w / 3, h, i == frame, curves[i]);
        return;
    }
    case bmp::kMenuField:
        field(c, w, h, true, true);
        return;
    case bmp::kTargetMenu:
        field(c, w, h, false, true);
        return;
    case bmp::kRoutingMenu:
        commandMenuKey(c, w, h, "ENVELOPES");
        return;
    case bmp::kSpectrumMenu:
        commandMenuKey(c, w, h, "SPECTRUM");
        return;
    case bmp::kPatternMenu:
        commandMenuKey(c, w, h, "PAT");
        return;
    case bmp::kPointDisplay:
        field(c, w, h, false, false);
        return;
    case bmp::kLoadProgramKey:
        keyFace(c, w, h, KeyState::Off);
        folderIcon(c, w / 2, h / 2, p::keyText);
        return;
    case bmp::kSaveProgramKey:
        keyFace(c, w, h, KeyState::Off);
        diskIcon(c, w / 2, h / 2, p::keyText);
        return;
    case bmp::kNextProgramKey:
    case bmp::kPreviousProgramKey:
        keyFace(c, w, h, KeyState::Off);
        triangle(c, w / 2, h / 2, 3, art.id == bmp::kNextProgramKey, p::keyText);
        return;
    default:
        break;
    }
    for (int row = 0; row < kOperatorCount; ++row)
        if (art.id == bmp::operatorButton(row)) {
            labelledKey(c, w, h, state, "OP " + std::to_string(row + 1));
            return;
        }
    if (art.id >= bmp::slotName(0) && art.id < bmp::slotName(kSampleSlotCount)) {
        // The slot number sits in the 32 pixels the name's text leaves free.
        const int slot = art.id - bmp::slotName(0) + 1;
        keyFace(c, 33, h, KeyState::Off);
        c.text(16.5, centredBaseline(0, h, kLabelSize), "SMP " + std::to_string(slot), kLabelSize,
               on ? rgb(0x9fe0a6) : p::keyText, Align::Centre, Font::CondensedBold);
        cairo_save(c.cr());
        cairo_translate(c.cr(), 32, 0);
        paperCell(c, w - 32, h, p::paperSample, frame == 0);
        cairo_restore(c.cr());
        return;
    }
}

} // namespace artwork
