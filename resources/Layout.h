#pragma once
// The editor's controls as the artwork sees them: where each sits and which
// bitmap it draws, all taken from the editor's layout table, plus what the
// preview shows in them. The backgrounds put their titles, labels and
// recesses around exactly these rectangles; the preview pastes the controls'
// frames there.

#include "editor/EditorLayout.h"

#include <string>
#include <vector>

namespace artwork::layout {

using namespace editorlayout;

enum class Kind {
    Knob,         // 55 frames top to bottom
    Button,       // `frames` states top to bottom
    Selector,     // `frames` positions side by side
    Cell,         // number on a 2- or 3-frame bitmap, black text
    PlainNumber,  // black box, red text, drawn by the control
    DigitNumber,  // the same, 50 x 14
    Menu,         // one-frame field, text drawn by the control
    Spectrum,     // 32 bars from the 100 level images
    WaveView,     // 92 columns from the 180 level images
    EnvelopeView, // the envelope editor over its background
};

struct Control {
    Kind kind;
    int bitmap; // 0: none
    int x, y, w, h;
    int frames;
    // What the preview shows: a value 0..1 and, for numbers and menus, a text.
    double value;
    std::string text;
    bool whiteText = false;
};

struct Rect {
    int x, y, w, h;
    int right() const { return x + w; }
    int bottom() const { return y + h; }
};

// Every control of the window in one of the two matrix layouts.
std::vector<Control> controls(bool samplerLayout);

constexpr Rect rectOf(const Placement& p) {
    const Size s = sizeOf(p);
    return Rect{p.x, p.y, s.w, s.h};
}

// Sampler columns, for the labels above them.
inline constexpr int kSlotX = samplerRowControl(0, 0).x, kClearX = samplerRowControl(0, 1).x;
inline constexpr int kLowKeyX = kSamplerColumns[0].x, kRootX = kSamplerColumns[1].x,
                     kTrackX = kSamplerColumns[2].x, kLoopX = kSamplerColumns[3].x,
                     kSampleF1X = kSamplerColumns[4].x, kSampleF2X = kSamplerColumns[5].x,
                     kSamplePanX = kSamplerColumns[6].x, kSampleMixX = kSamplerColumns[7].x;

// Sequencer step cells: two rows of sixteen, groups of four.
inline constexpr int kSequencerAX = kSequencers[0].x0, kSequencerBX = kSequencers[1].x0;
inline constexpr int kStepRow1Y = kStepRowY[0], kStepRow2Y = kStepRowY[1];

// The envelope editor and the splash area.
inline constexpr Rect kEnvelopeArea = rectOf(kEnvelopeEditor);
inline constexpr Rect kSplashArea = rectOf(kSplash);

} // namespace artwork::layout
