#pragma once
// Where the editor's controls sit in the 970 x 600 window, by section: each
// table row is one control at its top-left corner, with the value ID it edits
// (its tag), the bitmap it draws and its reset value. Rows of identical cells
// (the matrices, the routing list, the sequencer steps) are computed by the
// editor's section builders from the constants below.

namespace editorlayout {

constexpr int kWindowWidth = 970;
constexpr int kWindowHeight = 600;

enum class Ctl : unsigned char {
    Knob,         // 55-frame filmstrip
    Button,       // `frames` states, top to bottom
    Selector,     // `frames` positions side by side
    TextSelector, // the same, with the value's text over it
    Cell,         // number on a 2-frame bitmap, black text, drag step 0.005
    Plain,        // number, red text on black, 34 x 14, drag step 0.01
    Digit,        // number by digit position, 50 x 14
};

struct Placement {
    Ctl kind;
    int x, y;
    long tag;
    int bitmap; // 0: none
    double reset;
    int frames; // buttons and selectors
};

// Bitmaps (resource IDs).
enum Bitmap : int {
    kBackgroundMix = 120,
    kBackgroundSampler = 176,
    kSplashImage = 191,
    kMatrixCell = 146,
    kFilterCell = 148,
    kRoutingOscCell = 145,
    kRoutingFilterCell = 147,
    kSamplerCell = 190,
    kRoutingNameCell = 161,
    kStepCell = 199,
    kSpectrumBars = 152,
    kWaveColumns = 153,
    kEnvelopeBackground = 157,
    kMenuField = 171,
    kSpectrumMenu = 165,
    kTargetMenu = 160,
    kRoutingMenu = 162,
    kPatternMenu = 170,
    kSlotNameFirst = 178,
    kSlotClear = 186,
    kSamplerSwitch = 177,
    kOperatorButtonFirst = 131, // rows 1-7; row 8 uses 130
    kOperatorButtonLast = 130,
};

// Every bitmap the window uses.
constexpr int kBitmapIds[] = {120, 121, 122, 123, 124, 125, 126, 127, 128, 130, 131, 132, 133, 134,
                              135, 136, 137, 139, 140, 141, 142, 143, 144, 145, 146, 147, 148, 149,
                              150, 151, 152, 153, 154, 156, 157, 158, 159, 160, 161, 162, 164, 165,
                              167, 168, 169, 170, 171, 172, 173, 174, 175, 176, 177, 178, 179, 180,
                              181, 182, 183, 184, 185, 186, 187, 188, 190, 191, 194, 198, 199};
constexpr int kBitmapCount = sizeof kBitmapIds / sizeof kBitmapIds[0];
static_assert(kBitmapCount == 69, "the window draws 69 bitmaps");

// ---- top bar, voice settings, master, layout button (created by open) ----
constexpr Placement kMasterControls[] = {
    {Ctl::Knob, 841, 462, 0, 151, 0.3, 0},    // "Master Level"
    {Ctl::Knob, 879, 462, 2, 151, 0.0, 0},    // "Distortion"
    {Ctl::Button, 915, 463, 43, 142, 0, 2},   // LOFI WAVES
    {Ctl::Plain, 797, 159, 1, 0, 0.5, 0},     // TRANSP, "Master Pitch"
    {Ctl::Plain, 849, 159, 47, 0, 0.5, 0},    // VOICES
    {Ctl::Plain, 790, 192, 48, 0, 0.0, 0},    // SLIDE
    {Ctl::Plain, 830, 192, 44, 0, 0.25, 0},   // DETUNE
    {Ctl::Plain, 873, 192, 49, 0, 0.2, 0},    // BEND up
    {Ctl::Plain, 921, 192, 323, 0, 0.2, 0},   // BEND down
    {Ctl::Button, 891, 145, 45, 128, 0, 2},   // UNISON
    {Ctl::Button, 891, 159, 46, 125, 0, 2},   // PORTA
    {Ctl::Selector, 601, 14, 457, 175, 0, 1}, // previous program
    {Ctl::Selector, 640, 14, 456, 173, 0, 1}, // next program
    {Ctl::Selector, 622, 14, 454, 172, 0, 1}, // load program
    {Ctl::Selector, 659, 14, 455, 174, 0, 1}, // save program
};
constexpr Placement kTuningField{Ctl::TextSelector, 774, 14, 460, 171, 0, 1};
constexpr Placement kTuningNumber{Ctl::Plain, 896, 13, 459, 0, 0.5, 0};
constexpr Placement kLayoutButton{Ctl::Button, 411, 179, 453, 187, 0, 2};
constexpr int kBankMenuX = 384, kProgramMenuX = 490, kTopMenuY = 14;
// The sound quality menu: a plain field in the top bar's free space between
// the file buttons and the microtuning field.
constexpr int kQualityMenuX = 688, kQualityMenuWidth = 76, kQualityMenuHeight = 13;
// Entries per column of the long pop-up lists.
constexpr int kMenuColumnEntries = 26;
// The pop-up menus share one tag; the editor tells them apart by which control it is.
constexpr long kMenuTag = 462;

// ---- upper-left matrix ----
constexpr int kMatrixTop = 53;
constexpr int kRowHeight = 14;
constexpr int kOperatorButtonX = 21;
constexpr int kModulationX = 68; // + 26 per source operator
constexpr int kCellWidth = 26;
constexpr int kSendF1X = 280, kSendF2X = 306, kPanX = 336, kMixX = 362;
constexpr int kFilter1RowY = 165, kFilter2RowY = 179;
constexpr double kMatrixReset = 0.5;

struct SamplerColumn {
    Ctl kind;
    int x;
    int offset; // value ID offset within the slot's 8
    int bitmap;
    double reset;
};
constexpr SamplerColumn kSamplerColumns[] = {
    {Ctl::Cell, 174, 0, 190, 0.5}, // LOKEY
    {Ctl::Cell, 206, 1, 190, 0.5}, // ROOT
    {
        Ctl::Button,
        238,
        2,
        177,
        0,
    }, // TRK
    {
        Ctl::Button,
        257,
        3,
        177,
        0,
    },                             // LPS
    {Ctl::Cell, 276, 4, 148, 0.5}, // F1
    {Ctl::Cell, 302, 5, 148, 0.5}, // F2
    {Ctl::Cell, 328, 7, 190, 0.5}, // PAN
    {Ctl::Cell, 361, 6, 190, 0.5}, // MIX
};
constexpr int kSlotNameX = 21, kSlotClearX = 158, kSlotTextIndent = 32;
constexpr Placement kSamplerLayer[] = {
    {Ctl::Plain, 49, 187, 176, 0, 0.0, 0},  // SAMPLER AMP
    {Ctl::Plain, 111, 187, 177, 0, 0.5, 0}, // SAMPLER PAN
};

// ---- operator panel and filters ----
constexpr Placement kOperatorPanel[] = {
    {Ctl::Selector, 418, 53, 452, 156, 0, 8}, // operator selector
    {Ctl::Digit, 495, 85, 327, 0, 0, 0},      // offset in Hz
    {Ctl::Digit, 561, 85, 326, 0, 0, 0},      // coarse tune
    {Ctl::Button, 567, 72, 329, 126, 0, 2},   // RATIO / PITCH
    {Ctl::Plain, 507, 120, 328, 0, 0, 0},     // amplitude
    {Ctl::Plain, 573, 120, 324, 0, 0, 0},     // start phase
    {Ctl::Button, 609, 119, 325, 124, 0, 2},  // FREE
};
constexpr int kSpectrumMenuX = 489, kSpectrumMenuY = 53;
constexpr int kAmplitudeBarsX = 650, kPhaseBarsX = 750, kBarsY = 72;
constexpr int kWaveViewX = 853, kWaveViewY = 74, kWaveViewWidth = 92, kWaveViewHeight = 46;
constexpr double kOffsetHzLimit = 9999.0;
constexpr Placement kFilters[] = {
    {Ctl::Plain, 496, 192, 37, 0, 0, 0},    // "Flt1: Cutoff"
    {Ctl::Plain, 540, 192, 321, 0, 0, 0},   // KBD
    {Ctl::Plain, 583, 192, 38, 0, 0, 0},    // "Flt1: Resonance"
    {Ctl::Plain, 647, 192, 40, 0, 0, 0},    // "Flt2: Cutoff"
    {Ctl::Plain, 691, 192, 322, 0, 0, 0},   // KBD
    {Ctl::Plain, 734, 192, 41, 0, 0, 0},    // "Flt2: Resonance"
    {Ctl::Button, 569, 159, 39, 154, 0, 4}, // "Flt1: Mode"
    {Ctl::Button, 720, 159, 42, 154, 0, 4}, // "Flt2: Mode"
};

// ---- envelope section ----
constexpr Placement kCurveSelector{Ctl::Selector, 21, 219, 450, 164, 0, 3};
constexpr int kTargetMenuX = 155, kControllerMenuX = 242, kEnvelopeMenuY = 220;
constexpr Placement kPointDisplay{Ctl::TextSelector, 334, 220, 458, 194, 0, 1};
constexpr int kEnvelopeX = 19, kEnvelopeY = 235;
constexpr long kEnvelopeTag = 458;
constexpr Placement kEnvelopeControls[] = {
    {Ctl::Button, 22, 372, 346, 122, 0, 2},  // FIX POINTS
    {Ctl::Button, 85, 372, 347, 127, 0, 2},  // TMP SYNC
    {Ctl::Button, 148, 372, 349, 158, 0, 2}, // RELEASE
    {Ctl::Button, 211, 372, 348, 123, 0, 2}, // FREE-RUN
    {Ctl::Button, 274, 372, 352, 121, 0, 2}, // plus/minus
    {Ctl::Plain, 340, 377, 350, 0, 0, 0},    // rate scaling KBD
    {Ctl::Plain, 417, 377, 351, 0, 0, 0},    // rate scaling VEL
};

// ---- routing list ----
constexpr Placement kGroupSelector{Ctl::Selector, 679, 220, 451, 159, 0, 4};
constexpr int kRoutingMenuX = 487, kRoutingMenuY = 220;
constexpr int kRoutingTop = 237;
constexpr int kRoutingNameX = 488;
constexpr int kRoutingOscX = 574, kRoutingOscWidth = 34;
constexpr int kRoutingFilt1X = 846, kRoutingFilt2X = 880, kRoutingSampX = 914;
constexpr double kRoutingLimit = 100.0;
constexpr double kRoutingCoarseStep = 1.0;

// ---- effects and master ----
constexpr Placement kEffects[] = {
    {Ctl::Button, 23, 415, 19, 139, 0, 2},   // "Chorus: Enable"
    {Ctl::Knob, 22, 462, 13, 150, 0.2, 0},   // "Chorus: Time"
    {Ctl::Knob, 52, 462, 14, 150, 0.2, 0},   // "Chorus: Speed"
    {Ctl::Knob, 82, 462, 18, 150, 0.5, 0},   // "Chorus: Stereo"
    {Ctl::Knob, 112, 462, 16, 150, 1.0, 0},  // "Chorus: Dry"
    {Ctl::Knob, 142, 462, 15, 150, 0.5, 0},  // "Chorus: Wet"
    {Ctl::Button, 177, 464, 17, 144, 0, 2},  // "Chorus: Invert"
    {Ctl::Button, 221, 415, 12, 140, 0, 2},  // "Delay: On"
    {Ctl::Button, 221, 464, 11, 144, 0, 2},  // "Delay: Sync"
    {Ctl::Knob, 330, 462, 5, 149, 0.0, 0},   // "Delay: PanL"
    {Ctl::Knob, 364, 462, 7, 149, 1.0, 0},   // "Delay: PanR"
    {Ctl::Knob, 402, 462, 8, 149, 0.5, 0},   // "Delay: Fdbk"
    {Ctl::Knob, 436, 462, 9, 149, 0.5, 0},   // "Delay: Balance"
    {Ctl::Knob, 470, 462, 10, 149, 0.5, 0},  // "Delay: Wet"
    {Ctl::Button, 507, 415, 33, 143, 0, 2},  // "Reverb: Enable"
    {Ctl::Knob, 510, 462, 34, 151, 0.25, 0}, // "Reverb: Feedback"
    {Ctl::Knob, 544, 462, 35, 151, 0.5, 0},  // "Reverb: Color"
    {Ctl::Knob, 578, 462, 36, 151, 0.5, 0},  // "Reverb: Wet"
    {Ctl::Button, 614, 415, 32, 141, 0, 2},  // "EQ: Enable"
};
// The delay times: plain numbers the size of a matrix cell.
constexpr Placement kDelayTimes[] = {
    {Ctl::Plain, 264, 467, 3, 146, 0.0, 0},    // "Delay: TimePre"
    {Ctl::Plain, 329, 436, 4, 146, 0.4285, 0}, // "Delay: TimeL"
    {Ctl::Plain, 362, 436, 6, 146, 0.4285, 0}, // "Delay: TimeR"
};
constexpr int kEqBandSpacing = 54;
constexpr double kEqFrequencyReset[4] = {0.152, 0.4125, 0.69625, 0.85734};
constexpr Placement kEqBand[] = {
    {Ctl::Plain, 621, 437, 24, 0, 0, 0},    // "EQ: Band n Frq" (reset per band)
    {Ctl::Knob, 616, 462, 28, 150, 0.5, 0}, // "EQ: Band n Lev"
    {Ctl::Knob, 646, 465, 20, 198, 0.1, 0}, // "EQ: Band n Q"
};

// ---- sequencers ----
struct SequencerStrip {
    int x0;       // left of the strip; every control is placed relative to sequencer A
    long first;   // value ID of `running`
    int onBitmap; // 169 for A, 188 for B
    double stepReset;
};
constexpr SequencerStrip kSequencers[2] = {{20, 243, 169, -251.0}, {492, 282, 188, -290.0}};
// Sequencer A's controls; B's lie 472 pixels to the right, tags from its own first ID.
constexpr Placement kSequencerControls[] = {
    {Ctl::Plain, 168, 503, 1, 0, 0.5, 0},  // STEPS
    {Ctl::Plain, 245, 503, 3, 0, 0.0, 0},  // SHUFFLE
    {Ctl::Plain, 334, 503, 2, 0, 0.5, 0},  // TRANSPOSE
    {Ctl::Button, 373, 502, 4, 167, 0, 2}, // RANDOM
    {Ctl::Button, 426, 502, 5, 168, 0, 2}, // PING-PONG
};
constexpr int kPatternMenuX = 99, kPatternMenuY = 503;
// Where each strip lies, for what is dropped on it: below the effects, from
// a little left of its on button to the gap between the two strips.
constexpr int kSequencerStripTop = 495, kSequencerStripBottom = kWindowHeight;
constexpr int kSequencerStripLeftMargin = 8, kSequencerStripWidth = 472;
constexpr int kStepRowY[2] = {529, 552};
constexpr int kStepsPerRow = 16;
constexpr int kStepGroup = 4;
constexpr int kStepGroupGap = 14;
constexpr int kStepsOffset = 6;
constexpr int kStepCount = 32;
inline int stepX(int x0, int column) {
    return x0 + kCellWidth * column + kStepGroupGap * (column / kStepGroup);
}

// ---- splash ----
constexpr long kSplashTag = 461;
constexpr int kSplashLeft = 503, kSplashTop = 368, kSplashRight = 965, kSplashBottom = 403;

} // namespace editorlayout
