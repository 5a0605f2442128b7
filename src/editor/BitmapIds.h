#pragma once
// Every bitmap of the editor window by name: its resource ID, its size in
// window pixels (a scale-2 bitmap is twice as wide and high) and how its
// filmstrip frames lie. The editor loads exactly these, the artwork generator
// draws exactly these, and the layout table names them from here.

namespace editorbitmaps {

enum Id : int {
    kNone = 0,
    kBackgroundMixer = 120,
    kPlusMinusButton = 121,
    kFixPointsButton = 122,
    kFreeRunButton = 123,
    kPhaseFreeButton = 124,
    kPortaButton = 125,
    kFrequencyModeButton = 126,
    kTempoSyncButton = 127,
    kUnisonButton = 128,
    kOperator8Button = 130, // the last row's button comes first
    kOperator1Button = 131, // rows 1-7: 131..137
    kChorusEnableButton = 139,
    kDelayOnButton = 140,
    kEqEnableButton = 141,
    kLofiButton = 142,
    kReverbEnableButton = 143,
    kEffectSwitch = 144, // chorus invert, delay sync
    kRoutingOscCell = 145,
    kMatrixCell = 146,
    kRoutingFilterCell = 147,
    kFilterCell = 148,
    kDelayKnob = 149,
    kChorusKnob = 150, // and the equaliser levels
    kReverbKnob = 151, // and the master knobs
    kSpectrumBars = 152,
    kWaveColumns = 153,
    kFilterModeButton = 154,
    kOperatorSelector = 156,
    kEnvelopeBackground = 157,
    kReleaseButton = 158,
    kGroupSelector = 159,
    kTargetMenu = 160, // and the controller menu
    kRoutingNameCell = 161,
    kRoutingMenu = 162,
    kCurveSelector = 164,
    kSpectrumMenu = 165,
    kRandomButton = 167,
    kPingPongButton = 168,
    kSequencerAOnButton = 169,
    kPatternMenu = 170,
    kMenuField = 171, // bank, program and microtuning
    kLoadProgramKey = 172,
    kNextProgramKey = 173,
    kSaveProgramKey = 174,
    kPreviousProgramKey = 175,
    kBackgroundSampler = 176,
    kSampleSwitch = 177, // TRK, LPS
    kSlotName1 = 178,    // slots 1-8: 178..185
    kSlotClearButton = 186,
    kLayoutToggle = 187,
    kSequencerBOnButton = 188,
    kSampleCell = 190,
    kSplashImage = 191,
    kPointDisplay = 194,
    kSmallKnob = 198, // equaliser Q
    kStepCell = 199,
};

constexpr int kFirstId = 120, kLastId = 199;
constexpr int kKnobFrames = 55;

// Operator row 0..7's on/off button and sample slot 0..7's name field.
constexpr int operatorButton(int row) {
    return row == 7 ? kOperator8Button : kOperator1Button + row;
}
constexpr int slotName(int slot) {
    return kSlotName1 + slot;
}

struct BitmapSpec {
    int id;
    int width, height; // whole bitmap in window pixels
    int frames;
    bool sideBySide; // frames left to right (selectors, level images), else top to bottom
    constexpr int frameWidth() const { return sideBySide ? width / frames : width; }
    constexpr int frameHeight() const { return sideBySide ? height : height / frames; }
};

// In the order the artwork generator draws them.
constexpr BitmapSpec kBitmaps[] = {
    {kBackgroundMixer, 970, 600, 1, false},
    {kBackgroundSampler, 970, 600, 1, false},
    {kSplashImage, 970, 600, 1, false},
    {kPlusMinusButton, 52, 28, 2, false},
    {kFixPointsButton, 52, 28, 2, false},
    {kFreeRunButton, 52, 28, 2, false},
    {kTempoSyncButton, 52, 28, 2, false},
    {kReleaseButton, 52, 28, 2, false},
    {kPhaseFreeButton, 29, 24, 2, false},
    {kPortaButton, 55, 28, 2, false},
    {kUnisonButton, 55, 28, 2, false},
    {kFrequencyModeButton, 39, 26, 2, false},
    {130, 44, 28, 2, false},
    {131, 44, 28, 2, false},
    {132, 44, 28, 2, false},
    {133, 44, 28, 2, false},
    {134, 44, 28, 2, false},
    {135, 44, 28, 2, false},
    {136, 44, 28, 2, false},
    {137, 44, 28, 2, false},
    {kChorusEnableButton, 34, 44, 2, false},
    {kDelayOnButton, 34, 44, 2, false},
    {kReverbEnableButton, 34, 44, 2, false},
    {kEffectSwitch, 34, 44, 2, false},
    {kEqEnableButton, 34, 40, 2, false},
    {kLofiButton, 34, 44, 2, false},
    {kRoutingOscCell, 34, 28, 2, false},
    {kMatrixCell, 26, 28, 2, false},
    {kRoutingFilterCell, 34, 28, 2, false},
    {kFilterCell, 26, 28, 2, false},
    {kDelayKnob, 22, 22 * kKnobFrames, kKnobFrames, false},
    {kChorusKnob, 22, 22 * kKnobFrames, kKnobFrames, false},
    {kReverbKnob, 22, 22 * kKnobFrames, kKnobFrames, false},
    {kSmallKnob, 16, 16 * kKnobFrames, kKnobFrames, false},
    // 100 levels of 3-pixel bars; the last 2 pixels are spare.
    {kSpectrumBars, 302, 50, 100, true},
    {kWaveColumns, 180, 46, 180, true},
    {kFilterModeButton, 43, 48, 4, false},
    {kOperatorSelector, 416, 112, 8, true},
    {kEnvelopeBackground, 453, 130, 1, false},
    {kGroupSelector, 1092, 12, 4, true},
    {kTargetMenu, 86, 10, 1, false},
    {kRoutingNameCell, 82, 42, 3, false},
    {kRoutingMenu, 148, 10, 1, false},
    {kCurveSelector, 387, 12, 3, true},
    {kSpectrumMenu, 111, 11, 1, false},
    {kRandomButton, 52, 28, 2, false},
    {kPingPongButton, 52, 28, 2, false},
    {kSequencerAOnButton, 66, 30, 2, false},
    {kPatternMenu, 26, 15, 1, false},
    {kMenuField, 95, 13, 1, false},
    {kLoadProgramKey, 16, 13, 1, false},
    {kNextProgramKey, 18, 13, 1, false},
    {kSaveProgramKey, 16, 13, 1, false},
    {kPreviousProgramKey, 18, 13, 1, false},
    {kSampleSwitch, 19, 28, 2, false},
    {178, 150, 28, 2, false},
    {179, 150, 28, 2, false},
    {180, 150, 28, 2, false},
    {181, 150, 28, 2, false},
    {182, 150, 28, 2, false},
    {183, 150, 28, 2, false},
    {184, 150, 28, 2, false},
    {185, 150, 28, 2, false},
    {kSlotClearButton, 14, 28, 2, false},
    {kLayoutToggle, 60, 48, 2, false},
    {kSequencerBOnButton, 66, 30, 2, false},
    {kSampleCell, 34, 28, 2, false},
    {kPointDisplay, 135, 10, 1, false},
    {kStepCell, 26, 28, 2, false},
};
constexpr int kBitmapCount = int(sizeof kBitmaps / sizeof kBitmaps[0]);
static_assert(kBitmapCount == 69, "the window draws 69 bitmaps");

// The bitmap with resource ID id; null when the window has none.
constexpr const BitmapSpec* findBitmap(int id) {
    for (const BitmapSpec& b : kBitmaps)
        if (b.id == id) return &b;
    return nullptr;
}

} // namespace editorbitmaps
