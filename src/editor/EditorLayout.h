#pragma once
// The editor window's one layout table: every control of the 970 x 600
// window, declared once by name, with its kind, its top-left corner, the
// value ID it edits or the command tag it sends, the bitmap it draws, its
// range, drag step and reset value. The editor creates its controls from it
// and the artwork generator draws the backgrounds and previews around it, so
// the two cannot disagree. Rows of identical cells (the matrices, the routing
// list, the sequencer steps, the equaliser bands) are declared by column and
// expanded by the row functions below.
//
// Plain values and functions only: the artwork generator, a build tool,
// reads this header too.

#include "base/ValueIds.h"
#include "editor/BitmapIds.h"
#include "editor/ControlTags.h"

#include <initializer_list>

namespace editorlayout {

namespace bmp = editorbitmaps;
using namespace editortags;

constexpr int kWindowWidth = 970;
constexpr int kWindowHeight = 600;

enum class Ctl : unsigned char {
    Knob,         // 55-frame filmstrip
    Button,       // the bitmap's frames as states, top to bottom
    Selector,     // the bitmap's frames as positions, side by side
    TextSelector, // the same, with the value's text over it
    Cell,         // number on a 2- or 3-frame bitmap, black text
    SplitCell,    // the same; the left half drags by 1, the right half by `step`
    Plain,        // number, red text on black; a bitmap, if named, gives only the size
    Digit,        // plain number dragged by the digit under the mouse
    HzDigit,      // the same, every digit step a hundred times larger
    Menu,         // pop-up menu on a one-frame field, black text
    TopBarMenu,   // the same, white text
    Spectrum,     // bars of the bitmap's level images, one per harmonic
    WaveView,     // columns of the bitmap's level images
    EnvelopeView, // the envelope editor over its background
    Splash,       // a click shows the full-window splash image
    HistoryKey,   // undo or redo, drawn without artwork
    HelpLine,     // the hovered or dragged control's name and value, over the hints
};

struct Range {
    double min, max;
};
struct Size {
    int w, h;
};

// Unless a row says otherwise, a knob or number spans 0..1.
constexpr Range kUnit{0.0, 1.0};
// The drag steps of number cells and of plain numbers when the row gives none.
constexpr double kCellDragStep = 0.005;
constexpr double kPlainDragStep = 0.01;
// Plain numbers without a bitmap, and the digit fields.
constexpr Size kPlainSize{34, 14};
constexpr Size kDigitSize{50, 14};
constexpr long kNoTag = 0;

struct Placement {
    const char* name;
    Ctl kind;
    int x, y;
    long tag;            // the value ID it edits, or a command tag (ControlTags.h)
    int bitmap;          // editorbitmaps::Id; kNone: none
    double reset = 0.0;  // what a right-click sets, not clamped to the range
    Range range = kUnit; // knobs and numbers; 0..1 leaves a digit field its own range
    double step = 0.0;   // drag step; 0: the kind's own
    Size size = {0, 0};  // views whose bitmap does not give their size
};

// The control's width and height in window pixels.
constexpr Size sizeOf(const Placement& p) {
    if (p.size.w != 0) return p.size;
    const bmp::BitmapSpec* b = bmp::findBitmap(p.bitmap);
    if (p.kind == Ctl::Digit || p.kind == Ctl::HzDigit) return kDigitSize;
    if (!b) return p.kind == Ctl::Plain ? kPlainSize : Size{0, 0};
    return Size{b->frameWidth(), b->frameHeight()};
}

// The states or positions of a button or selector: its bitmap's frames.
constexpr int framesOf(const Placement& p) {
    const bmp::BitmapSpec* b = bmp::findBitmap(p.bitmap);
    return b ? b->frames : 1;
}

// A row of identical cells declared by column: the control of row r lies at
// (x, the row's y) and edits the row's first value ID + offset.
struct Column {
    const char* name;
    Ctl kind;
    int x;
    long offset;
    int bitmap;
    double reset = 0.0;
    Range range = kUnit;
    double step = 0.0;
};
constexpr Placement inRow(const Column& c, int y, long first) {
    return Placement{c.name,   c.kind,  c.x,     y,      first + c.offset,
                     c.bitmap, c.reset, c.range, c.step, {0, 0}};
}

// ---- top bar, voice settings, master, layout button (created by open) ----
constexpr Placement kMasterControls[] = {
    {"Master Level", Ctl::Knob, 841, 462, kMasterLevelId, bmp::kReverbKnob, 0.3},
    {"Distortion", Ctl::Knob, 879, 462, kDistortionId, bmp::kReverbKnob, 0.0},
    {"LOFI WAVES", Ctl::Button, 915, 463, kNoInterpolationId, bmp::kLofiButton},
    {"Master Pitch", Ctl::Plain, 797, 159, kMasterPitchId, bmp::kNone, 0.5},
    {"VOICES", Ctl::Plain, 849, 159, kVoiceCountId, bmp::kNone, 0.5},
    {"SLIDE", Ctl::Plain, 790, 192, kGlideFactorId, bmp::kNone, 0.0},
    {"DETUNE", Ctl::Plain, 830, 192, kUnisonSpreadId, bmp::kNone, 0.25},
    {"BEND up", Ctl::Plain, 873, 192, kPitchBendUpId, bmp::kNone, 0.2},
    {"BEND down", Ctl::Plain, 921, 192, kPitchBendDownId, bmp::kNone, 0.2},
    {"UNISON", Ctl::Button, 891, 145, kUnisonId, bmp::kUnisonButton},
    {"PORTA", Ctl::Button, 891, 159, kGlideFromHeldId, bmp::kPortaButton},
    {"previous program", Ctl::Selector, 601, 14, kPreviousProgramTag, bmp::kPreviousProgramKey},
    {"next program", Ctl::Selector, 640, 14, kNextProgramTag, bmp::kNextProgramKey},
    {"Load Program", Ctl::Selector, 622, 14, kLoadProgramTag, bmp::kLoadProgramKey},
    {"Save Program", Ctl::Selector, 659, 14, kSaveProgramTag, bmp::kSaveProgramKey},
};
// The microtuning field's text is white, like the menus beside it.
constexpr Placement kTuningField{"microtuning",  Ctl::TextSelector, 774, 14,
                                 kLoadTuningTag, bmp::kMenuField};
constexpr Placement kTuningNumber{"fine tune", Ctl::Plain, 896,   13,           kFineTuneId,
                                  bmp::kNone,  0.5,        kUnit, kCellDragStep};
constexpr Placement kLayoutButton{"layout", Ctl::Button, 411, 179, kLayoutTag, bmp::kLayoutToggle};
constexpr Placement kBankMenu{"bank", Ctl::TopBarMenu, 384, 14, kMenuTag, bmp::kMenuField};
constexpr Placement kProgramMenu{"program", Ctl::TopBarMenu, 490, 14, kMenuTag, bmp::kMenuField};
constexpr int kBankMenuX = kBankMenu.x, kTopMenuY = kBankMenu.y;
// The sound quality menu: a plain field in the top bar's free space between
// the program file keys and the microtuning field.
constexpr Placement kQualityMenu{"quality", Ctl::TopBarMenu, 688, 14,          kMenuTag, bmp::kNone,
                                 0.0,       kUnit,           0.0, Size{76, 13}};
// The program browser's field: in the top bar's free space after the title,
// before the bank menu.
constexpr Placement kBrowserButton{"browse", Ctl::TopBarMenu, 340, 14,          kNoTag, bmp::kNone,
                                   0.0,      kUnit,           0.0, Size{40, 13}};
// Undo and redo: two keys the window draws itself, right of the fine-tune field.
constexpr Placement kUndoKey{"undo", Ctl::HistoryKey, 934, 13,          kUndoTag, bmp::kNone,
                             0.0,    kUnit,           0.0, Size{15, 14}};
constexpr Placement kRedoKey{"redo", Ctl::HistoryKey, 951, 13,          kRedoTag, bmp::kNone,
                             0.0,    kUnit,           0.0, Size{15, 14}};
// The foot strip of usage hints, where the help line shows a control's value.
constexpr Placement kHelpLine{"help line", Ctl::HelpLine, 0,     580, kNoTag,
                              bmp::kNone,  0.0,           kUnit, 0.0, Size{kWindowWidth, 20}};
// Entries per column of the long pop-up lists.
constexpr int kMenuColumnEntries = 26;

// ---- upper-left matrix ----
constexpr int kMatrixTop = 53;
constexpr int kRowHeight = 14;
constexpr int matrixRowY(int row) {
    return kMatrixTop + kRowHeight * row;
}
constexpr int kOperatorButtonX = 21;
constexpr int kModulationX = 68; // + 26 per source operator
constexpr int kCellWidth = 26;
constexpr int modulationX(int k) {
    return kModulationX + kCellWidth * k;
}
constexpr int kSendF1X = 280, kSendF2X = 306, kPanX = 336, kMixX = 362;
constexpr int kFilter1RowY = 165, kFilter2RowY = 179;
constexpr double kMatrixReset = 0.5;

// Operator row 0..7: on/off, modulation from operators 1-8, F1 and F2 sends, PAN, MIX.
constexpr int kOperatorRowControls = 1 + kOperatorCount + 4;
constexpr Column kOperatorRowTail[] = {
    {"F1", Ctl::Cell, kSendF1X, kOperatorModulationOffset + kOperatorCount, bmp::kFilterCell,
     kMatrixReset},
    {"F2", Ctl::Cell, kSendF2X, kOperatorModulationOffset + kOperatorCount + 1, bmp::kFilterCell,
     kMatrixReset},
    {"PAN", Ctl::Cell, kPanX, kOperatorPanOffset, bmp::kMatrixCell, kMatrixReset},
    {"MIX", Ctl::Cell, kMixX, kOperatorMixOffset, bmp::kMatrixCell, kMatrixReset},
};
constexpr Placement operatorRowControl(int row, int i) {
    const int y = matrixRowY(row);
    const long first = kOperatorFirstId + kOperatorIdStride * row;
    if (i == 0)
        return {"operator on",
                Ctl::Button,
                kOperatorButtonX,
                y,
                first + kOperatorEnabledOffset,
                bmp::operatorButton(row)};
    if (i <= kOperatorCount)
        return inRow({"modulation", Ctl::Cell, modulationX(i - 1),
                      kOperatorModulationOffset + i - 1, bmp::kMatrixCell, kMatrixReset},
                     y, first);
    return inRow(kOperatorRowTail[i - 1 - kOperatorCount], y, first);
}

// Filter row 0..1: inputs from operators 1-8, the other filter's send (filter
// 1 sends to F2, filter 2 to F1), PAN, MIX.
constexpr int kFilterRowControls = kOperatorCount + 3;
constexpr Placement filterRowControl(int filter, int i) {
    const int y = filter == 0 ? kFilter1RowY : kFilter2RowY;
    const long first = kFilterFirstId + kFilterIdStride * filter;
    if (i < kOperatorCount)
        return inRow({"filter input", Ctl::Cell, modulationX(i), kFilterModulationOffset + i,
                      bmp::kFilterCell, kMatrixReset},
                     y, first);
    const Column tail[] = {
        {"filter send", Ctl::Cell, filter == 0 ? kSendF2X : kSendF1X,
         kFilterModulationOffset + kOperatorCount, bmp::kFilterCell, kMatrixReset},
        {"PAN", Ctl::Cell, kPanX, kFilterPanOffset, bmp::kFilterCell, kMatrixReset},
        {"MIX", Ctl::Cell, kMixX, kFilterLevelOffset, bmp::kFilterCell, kMatrixReset},
    };
    return inRow(tail[i - kOperatorCount], y, first);
}

// Sample slot 0..7: its name field (text indented past the slot number), its
// clear button, then the slot's own values.
constexpr int kSlotTextIndent = 32;
constexpr Column kSamplerColumns[] = {
    {"LOKEY", Ctl::Cell, 174, kSampleSlotLowKeyOffset, bmp::kSampleCell, 0.5},
    {"ROOT", Ctl::Cell, 206, kSampleSlotRootKeyOffset, bmp::kSampleCell, 0.5},
    {"TRK", Ctl::Button, 238, kSampleSlotKeyboardFollowOffset, bmp::kSampleSwitch},
    {"LPS", Ctl::Button, 257, kSampleSlotLoopOffset, bmp::kSampleSwitch},
    {"F1", Ctl::Cell, 276, kSampleSlotSendFilter1Offset, bmp::kFilterCell, 0.5},
    {"F2", Ctl::Cell, 302, kSampleSlotSendFilter2Offset, bmp::kFilterCell, 0.5},
    {"PAN", Ctl::Cell, 328, kSampleSlotPanOffset, bmp::kSampleCell, 0.5},
    {"MIX", Ctl::Cell, 361, kSampleSlotLevelOffset, bmp::kSampleCell, 0.5},
};
constexpr int kSamplerRowControls = 2 + int(sizeof kSamplerColumns / sizeof kSamplerColumns[0]);
constexpr Placement samplerRowControl(int slot, int i) {
    const int y = matrixRowY(slot);
    if (i == 0)
        return {"sample", Ctl::Cell, 21, y, kLoadSampleFirstTag + slot, bmp::slotName(slot)};
    if (i == 1)
        return {"clear sample",       Ctl::Button, 158, y, kClearSampleFirstTag + slot,
                bmp::kSlotClearButton};
    return inRow(kSamplerColumns[i - 2], y, kSampleSlotFirstId + kSampleSlotIdStride * slot);
}
constexpr Placement kSamplerLayer[] = {
    {"SAMPLER AMP", Ctl::Plain, 49, 187, kSampleLevelId, bmp::kNone, 0.0},
    {"SAMPLER PAN", Ctl::Plain, 111, 187, kSamplePanId, bmp::kNone, 0.5},
};

// ---- operator panel and filters ----
constexpr double kOffsetHzLimit = 9999.0;
constexpr Placement kOperatorSelector{"operator", Ctl::Selector,        418,
                                      53,         kOperatorSelectorTag, bmp::kOperatorSelector};
// The controls of the selected operator, in the order the editor keeps them.
constexpr Placement kOperatorPanel[] = {
    {"offset Hz", Ctl::HzDigit, 495, 85, kSelectedOffsetHzId, bmp::kNone, 0.0,
     Range{-kOffsetHzLimit, kOffsetHzLimit}},
    // The tuning field keeps the digit fields' own range.
    {"coarse tune", Ctl::Digit, 561, 85, kSelectedCoarseTuneId, bmp::kNone},
    {"RATIO / PITCH", Ctl::Button, 567, 72, kSelectedTuneModeId, bmp::kFrequencyModeButton},
    {"amplitude", Ctl::Plain, 507, 120, kSelectedAmplitudeId, bmp::kNone},
    {"start phase", Ctl::Plain, 573, 120, kSelectedStartPhaseId, bmp::kNone},
    {"FREE", Ctl::Button, 609, 119, kSelectedAuxSwitchId, bmp::kPhaseFreeButton},
};
constexpr Placement kSpectrumMenu{"spectrum", Ctl::Menu, 489, 53, kMenuTag, bmp::kSpectrumMenu};
// One bar per harmonic, each a level image wide and as high as the images.
constexpr int kHarmonicBars = 32;
constexpr Size kSpectrumSize{kHarmonicBars * bmp::findBitmap(bmp::kSpectrumBars)->frameWidth(),
                             bmp::findBitmap(bmp::kSpectrumBars)->frameHeight()};
constexpr Placement kAmplitudeBars{"amplitude spectrum", Ctl::Spectrum, 650,   72,  kNoTag,
                                   bmp::kSpectrumBars,   0.0,           kUnit, 0.0, kSpectrumSize};
constexpr Placement kPhaseBars{"phase spectrum",   Ctl::Spectrum, 750,   72,  kNoTag,
                               bmp::kSpectrumBars, 0.0,           kUnit, 0.0, kSpectrumSize};
constexpr Placement kWaveView{"wave", Ctl::WaveView, 853, 74,      kNoTag, bmp::kWaveColumns,
                              0.0,    kUnit,         0.0, {92, 46}};
constexpr Placement kFilters[] = {
    {"Flt1: Cutoff", Ctl::Plain, 496, 192, kFilterCutoffId[0], bmp::kNone},
    {"Flt1: KBD", Ctl::Plain, 540, 192, kFilter1KeyTrackingId, bmp::kNone},
    {"Flt1: Resonance", Ctl::Plain, 583, 192, kFilterResonanceId[0], bmp::kNone},
    {"Flt2: Cutoff", Ctl::Plain, 647, 192, kFilterCutoffId[1], bmp::kNone},
    {"Flt2: KBD", Ctl::Plain, 691, 192, kFilter2KeyTrackingId, bmp::kNone},
    {"Flt2: Resonance", Ctl::Plain, 734, 192, kFilterResonanceId[1], bmp::kNone},
    {"Flt1: Mode", Ctl::Button, 569, 159, kFilterModeId[0], bmp::kFilterModeButton},
    {"Flt2: Mode", Ctl::Button, 720, 159, kFilterModeId[1], bmp::kFilterModeButton},
};

// ---- envelope section ----
constexpr Placement kCurveSelector{"curve", Ctl::Selector,     21,
                                   219,     kCurveSelectorTag, bmp::kCurveSelector};
constexpr Placement kTargetMenu{"target", Ctl::Menu, 155, 220, kMenuTag, bmp::kTargetMenu};
constexpr Placement kControllerMenu{"controller", Ctl::Menu, 242, 220, kMenuTag, bmp::kTargetMenu};
constexpr Placement kPointDisplay{"point", Ctl::TextSelector, 334,
                                  220,     kPointDisplayTag,  bmp::kPointDisplay};
constexpr Placement kEnvelopeEditor{"envelope", Ctl::EnvelopeView,  19,
                                    235,        kEnvelopeEditorTag, bmp::kEnvelopeBackground};
// The envelope's switches and rate scaling, in the order the editor keeps them.
constexpr Range kRateScalingRange{-1.0, 1.0};
constexpr Placement kEnvelopeControls[] = {
    {"FIX POINTS", Ctl::Button, 22, 372, kEnvelopeKeepFollowingId, bmp::kFixPointsButton},
    {"TMP SYNC", Ctl::Button, 85, 372, kEnvelopeTempoSyncId, bmp::kTempoSyncButton},
    {"RELEASE", Ctl::Button, 148, 372, kEnvelopeKeyedId, bmp::kReleaseButton},
    {"FREE-RUN", Ctl::Button, 211, 372, kEnvelopeFreeRunningId, bmp::kFreeRunButton},
    {"plus/minus", Ctl::Button, 274, 372, kEnvelopeBipolarId, bmp::kPlusMinusButton},
    {"rate KBD", Ctl::Plain, 340, 377, kEnvelopeRateKeyTrackingId, bmp::kNone, 0.0,
     kRateScalingRange},
    {"rate VEL", Ctl::Plain, 417, 377, kEnvelopeRateVelocityId, bmp::kNone, 0.0, kRateScalingRange},
};

// ---- routing list ----
constexpr Placement kGroupSelector{"envelope group",  Ctl::Selector,      679, 220,
                                   kGroupSelectorTag, bmp::kGroupSelector};
constexpr Placement kRoutingMenu{"routing", Ctl::Menu, 487, 220, kMenuTag, bmp::kRoutingMenu};
constexpr int kRoutingTop = 237;
constexpr int routingRowY(int row) {
    return kRoutingTop + kRowHeight * row;
}
constexpr int kRoutingNameX = 488;
constexpr int kRoutingOscX = 574, kRoutingOscWidth = 34;
constexpr int routingOscX(int k) {
    return kRoutingOscX + kRoutingOscWidth * k;
}
constexpr int kRoutingFilt1X = 846, kRoutingFilt2X = 880, kRoutingSampX = 914;
constexpr Range kRoutingRange{-100.0, 100.0};
// Row 0..7 of the shown group: the envelope's name, its depths to operators
// 1-8, to the two filters and to the sample layer.
constexpr int kRoutingRowControls = 1 + kOperatorCount + 3;
constexpr Placement routingRowControl(int row, int i) {
    const int y = routingRowY(row);
    const long first = kEnvelopeRowFirstId + kEnvelopeRowIdStride * row;
    if (i == 0)
        return {"envelope", Ctl::Cell, kRoutingNameX, y, first, bmp::kRoutingNameCell,
                0.0,        kUnit,     kPlainDragStep};
    if (i == kRoutingRowControls - 1)
        return {"SAMP",
                Ctl::SplitCell,
                kRoutingSampX,
                y,
                kEnvelopeSampleDepthFirstId + row,
                bmp::kSampleCell,
                0.0,
                kRoutingRange,
                kPlainDragStep};
    const bool filter = i > kOperatorCount;
    return inRow(
        {filter ? "FILT" : "OSC", Ctl::SplitCell,
         filter ? (i == kOperatorCount + 1 ? kRoutingFilt1X : kRoutingFilt2X) : routingOscX(i - 1),
         i, filter ? bmp::kRoutingFilterCell : bmp::kRoutingOscCell, 0.0, kRoutingRange,
         kPlainDragStep},
        y, first);
}

// ---- effects and master ----
constexpr Placement kEffects[] = {
    {"Chorus: Enable", Ctl::Button, 23, 415, kChorusFirstId + kChorusEnableOffset,
     bmp::kChorusEnableButton},
    {"Chorus: Time", Ctl::Knob, 22, 462, kChorusFirstId + kChorusTimeOffset, bmp::kChorusKnob, 0.2},
    {"Chorus: Speed", Ctl::Knob, 52, 462, kChorusFirstId + kChorusSpeedOffset, bmp::kChorusKnob,
     0.2},
    {"Chorus: Stereo", Ctl::Knob, 82, 462, kChorusFirstId + kChorusStereoOffset, bmp::kChorusKnob,
     0.5},
    {"Chorus: Dry", Ctl::Knob, 112, 462, kChorusFirstId + kChorusDryOffset, bmp::kChorusKnob, 1.0},
    {"Chorus: Wet", Ctl::Knob, 142, 462, kChorusFirstId + kChorusWetOffset, bmp::kChorusKnob, 0.5},
    {"Chorus: Invert", Ctl::Button, 177, 464, kChorusFirstId + kChorusInvertOffset,
     bmp::kEffectSwitch},
    {"Delay: On", Ctl::Button, 221, 415, kDelayFirstId + kDelayOnOffset, bmp::kDelayOnButton},
    {"Delay: Sync", Ctl::Button, 221, 464, kDelayFirstId + kDelaySyncOffset, bmp::kEffectSwitch},
    {"Delay: PanL", Ctl::Knob, 330, 462, kDelayFirstId + kDelayLeftPanOffset, bmp::kDelayKnob, 0.0},
    {"Delay: PanR", Ctl::Knob, 364, 462, kDelayFirstId + kDelayRightPanOffset, bmp::kDelayKnob,
     1.0},
    {"Delay: Fdbk", Ctl::Knob, 402, 462, kDelayFirstId + kDelayFeedbackOffset, bmp::kDelayKnob,
     0.5},
    {"Delay: Balance", Ctl::Knob, 436, 462, kDelayFirstId + kDelayBalanceOffset, bmp::kDelayKnob,
     0.5},
    {"Delay: Wet", Ctl::Knob, 470, 462, kDelayFirstId + kDelayWetOffset, bmp::kDelayKnob, 0.5},
    {"Reverb: Enable", Ctl::Button, 507, 415, kReverbEnableId, bmp::kReverbEnableButton},
    {"Reverb: Feedback", Ctl::Knob, 510, 462, kReverbFeedbackId, bmp::kReverbKnob, 0.25},
    {"Reverb: Color", Ctl::Knob, 544, 462, kReverbColorId, bmp::kReverbKnob, 0.5},
    {"Reverb: Wet", Ctl::Knob, 578, 462, kReverbWetId, bmp::kReverbKnob, 0.5},
    {"EQ: Enable", Ctl::Button, 614, 415, kEqEnableId, bmp::kEqEnableButton},
};
// The delay times: plain numbers the size of a matrix cell.
constexpr Placement kDelayTimes[] = {
    {"Delay: TimePre", Ctl::Plain, 264, 467, kDelayFirstId + kDelayPreTimeOffset, bmp::kMatrixCell,
     0.0},
    {"Delay: TimeL", Ctl::Plain, 329, 436, kDelayFirstId + kDelayLeftTimeOffset, bmp::kMatrixCell,
     0.4285},
    {"Delay: TimeR", Ctl::Plain, 362, 436, kDelayFirstId + kDelayRightTimeOffset, bmp::kMatrixCell,
     0.4285},
};
// Band 0..3: its frequency, level and Q, each band 54 pixels right of the last.
constexpr int kEqBandSpacing = 54;
constexpr double kEqFrequencyReset[kEqBandCount] = {0.152, 0.4125, 0.69625, 0.85734};
constexpr int kEqBandControls = 3;
constexpr Placement eqBandControl(int band, int i) {
    const int dx = kEqBandSpacing * band;
    const Placement controls[kEqBandControls] = {
        {"EQ: Band n Frq", Ctl::Plain, 621 + dx, 437, kEqFrequencyFirstId + band, bmp::kNone,
         kEqFrequencyReset[band]},
        {"EQ: Band n Lev", Ctl::Knob, 616 + dx, 462, kEqLevelFirstId + band, bmp::kChorusKnob, 0.5},
        {"EQ: Band n Q", Ctl::Knob, 646 + dx, 465, kEqQFirstId + band, bmp::kSmallKnob, 0.1},
    };
    return controls[i];
}

// ---- sequencers ----
// A reset below the step's range: a right-click makes the step a rest.
constexpr double kStepRestReset = -251.0;
struct SequencerStrip {
    int x0;       // left of the strip; every control is placed relative to sequencer A
    long first;   // value ID of `running`
    int onBitmap; // its on button
};
constexpr SequencerStrip kSequencers[kSequencerCount] = {
    {20, kSequencer1FirstId, bmp::kSequencerAOnButton},
    {492, kSequencer2FirstId, bmp::kSequencerBOnButton}};
// Sequencer A's controls; B's lie 472 pixels to the right, tags from its own first ID.
constexpr Column kSequencerColumns[] = {
    {"on", Ctl::Button, 20, kSequencerRunningOffset, bmp::kNone}, // the strip's own bitmap
    {"STEPS", Ctl::Plain, 168, kSequencerLengthOffset, bmp::kNone, 0.5},
    {"SHUFFLE", Ctl::Plain, 245, kSequencerSwingOffset, bmp::kNone, 0.0},
    {"TRANSPOSE", Ctl::Plain, 334, kSequencerTransposeOffset, bmp::kNone, 0.5},
    {"RANDOM", Ctl::Button, 373, kSequencerRandomOffset, bmp::kRandomButton},
    {"PING-PONG", Ctl::Button, 426, kSequencerPingPongOffset, bmp::kPingPongButton},
};
constexpr int kSequencerControls = int(sizeof kSequencerColumns / sizeof kSequencerColumns[0]);
// The on button and the RANDOM and PING-PONG keys sit a pixel above the numbers.
constexpr int kSequencerKeyY = 502, kSequencerNumberY = 503;
constexpr Placement sequencerControl(int s, int i) {
    const SequencerStrip& q = kSequencers[s];
    Column c = kSequencerColumns[i];
    c.x += q.x0 - kSequencers[0].x0;
    if (i == 0) c.bitmap = q.onBitmap;
    return inRow(c, c.kind == Ctl::Button ? kSequencerKeyY : kSequencerNumberY, q.first);
}
constexpr Placement patternMenu(int s) {
    return {"pattern",         Ctl::Menu, 99 + kSequencers[s].x0 - kSequencers[0].x0,
            kSequencerNumberY, kMenuTag,  bmp::kPatternMenu};
}
// Where each strip lies, for what is dropped on it: below the effects, from
// a little left of its on button to the gap between the two strips.
constexpr int kSequencerStripTop = 495, kSequencerStripBottom = kWindowHeight;
constexpr int kSequencerStripLeftMargin = 8, kSequencerStripWidth = 472;
// Steps: two rows of sixteen in groups of four, an extra gap between groups.
constexpr int kStepRowY[2] = {529, 552};
constexpr int kStepsPerRow = 16;
constexpr int kStepGroup = 4;
constexpr int kStepGroupGap = 14;
constexpr int stepX(int x0, int column) {
    return x0 + kCellWidth * column + kStepGroupGap * (column / kStepGroup);
}
constexpr Placement stepCell(int s, int step) {
    const SequencerStrip& q = kSequencers[s];
    return {"step",
            Ctl::Cell,
            stepX(q.x0, step % kStepsPerRow),
            kStepRowY[step / kStepsPerRow],
            q.first + kSequencerStepsOffset + step,
            bmp::kStepCell,
            kStepRestReset};
}

// ---- splash ----
constexpr Placement kSplash{"splash",          Ctl::Splash, 503,   368, kSplashTag,
                            bmp::kSplashImage, 0.0,         kUnit, 0.0, {462, 35}};

// The controls of the window's areas, each in the order of the whole table
// below.
template <typename F> void forEachOperatorMatrixControl(F&& f) {
    for (int r = 0; r < kOperatorCount; ++r)
        for (int i = 0; i < kOperatorRowControls; ++i)
            f(operatorRowControl(r, i));
    for (int r = 0; r < 2; ++r)
        for (int i = 0; i < kFilterRowControls; ++i)
            f(filterRowControl(r, i));
}
template <typename F> void forEachSamplerMatrixControl(F&& f) {
    for (int s = 0; s < kSampleSlotCount; ++s)
        for (int i = 0; i < kSamplerRowControls; ++i)
            f(samplerRowControl(s, i));
    for (const Placement& p : kSamplerLayer)
        f(p);
}
template <typename F> void forEachEnvelopeControl(F&& f) {
    for (const Placement& p :
         {kCurveSelector, kTargetMenu, kControllerMenu, kPointDisplay, kEnvelopeEditor})
        f(p);
    for (const Placement& p : kEnvelopeControls)
        f(p);
}
template <typename F> void forEachRoutingControl(F&& f) {
    f(kGroupSelector);
    f(kRoutingMenu);
    for (int r = 0; r < kEnvelopesPerPage; ++r)
        for (int i = 0; i < kRoutingRowControls; ++i)
            f(routingRowControl(r, i));
}
template <typename F> void forEachEffectControl(F&& f) {
    for (const Placement& p : kEffects)
        f(p);
    for (const Placement& p : kDelayTimes)
        f(p);
    for (int band = 0; band < kEqBandCount; ++band)
        for (int i = 0; i < kEqBandControls; ++i)
            f(eqBandControl(band, i));
}
template <typename F> void forEachSequencerControl(F&& f) {
    for (int s = 0; s < kSequencerCount; ++s) {
        for (int i = 0; i < kSequencerControls; ++i)
            f(sequencerControl(s, i));
        f(patternMenu(s));
        for (int step = 0; step < kSequencerStepCount; ++step)
            f(stepCell(s, step));
    }
}

// Every control the window can show, in both matrix layouts: for checks
// that go over the whole table.
template <typename F> void forEachControl(F&& f) {
    for (const Placement& p : kMasterControls)
        f(p);
    for (const Placement& p : {kTuningField, kTuningNumber, kLayoutButton, kBankMenu, kProgramMenu,
                               kQualityMenu, kUndoKey, kRedoKey, kHelpLine})
        f(p);
    f(kBrowserButton);
    forEachOperatorMatrixControl(f);
    forEachSamplerMatrixControl(f);
    for (const Placement& p :
         {kOperatorSelector, kSpectrumMenu, kAmplitudeBars, kPhaseBars, kWaveView})
        f(p);
    for (const Placement& p : kOperatorPanel)
        f(p);
    for (const Placement& p : kFilters)
        f(p);
    forEachEnvelopeControl(f);
    forEachRoutingControl(f);
    forEachEffectControl(f);
    forEachSequencerControl(f);
    f(kSplash);
}

} // namespace editorlayout
