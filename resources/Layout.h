#pragma once
// Where the editor's controls sit in the 970 x 600 window, and which bitmap
// each draws. The backgrounds put their titles, labels and recesses around
// exactly these rectangles; the preview pastes the controls' frames there.

#include <string>
#include <vector>

namespace artwork::layout {

inline constexpr int kWindowWidth = 970;
inline constexpr int kWindowHeight = 600;

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

// Rows of the upper-left matrix and columns of its cells.
inline constexpr int kMatrixTop = 53;
inline constexpr int kRowHeight = 14;
inline int matrixRowY(int row) {
    return kMatrixTop + kRowHeight * row;
}
inline int modulationColumnX(int k) {
    return 68 + 26 * k;
} // k = 0..7
inline constexpr int kSendF1X = 280, kSendF2X = 306, kPanX = 336, kMixX = 362;
inline constexpr int kFilter1RowY = 165, kFilter2RowY = 179;

// Sampler columns.
inline constexpr int kSlotX = 21, kClearX = 158, kLowKeyX = 174, kRootX = 206, kTrackX = 238,
                     kLoopX = 257, kSampleF1X = 276, kSampleF2X = 302, kSamplePanX = 328,
                     kSampleMixX = 361;

// Routing list.
inline constexpr int kRoutingTop = 237;
inline int routingRowY(int row) {
    return kRoutingTop + kRowHeight * row;
}
inline int routingOscX(int k) {
    return 574 + 34 * k;
} // k = 0..7
inline constexpr int kRoutingNameX = 488, kRoutingFilt1X = 846, kRoutingFilt2X = 880,
                     kRoutingSampX = 914;

// Sequencer step cells: two rows of sixteen, groups of four.
inline constexpr int kSequencerAX = 20, kSequencerBX = 492;
inline constexpr int kStepRow1Y = 529, kStepRow2Y = 552;
inline int stepX(int x0, int column) {
    return x0 + 26 * column + 14 * (column / 4);
}

// The envelope editor and the splash area.
inline constexpr Rect kEnvelopeEditor{19, 235, 453, 130};
inline constexpr Rect kSplashArea{503, 368, 462, 35};

} // namespace artwork::layout
