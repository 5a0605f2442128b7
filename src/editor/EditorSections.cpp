// The window's sections: each builder creates its controls in the order of
// its layout table and registers those the editor redraws or reaches later.

#include "base/ValueIds.h"
#include "editor/CButtonCtrl.h"
#include "editor/CEnvelopeCtrl.h"
#include "editor/CKnobCtrl.h"
#include "editor/CMenuCtrl.h"
#include "editor/CNumberCtrl.h"
#include "editor/CNumberPrcCtrl.h"
#include "editor/CPluginEditor.h"
#include "editor/CRowCtrl.h"
#include "editor/CSampleView.h"
#include "editor/CTouchCtrl.h"
#include "editor/EditorLayout.h"
#include "editor/EditorMenus.h"
#include "engine/CSoundRenderer.h"
#include "gui/CBitmap.h"
#include "gui/CFrame.h"
#include "gui/CSplashScreen.h"
#include "patch/CPluginFile.h"
#include "voice/CEnvelope.h"

using namespace VSTGUI;
using namespace editorlayout;

namespace {

constexpr int kPlainWidth = 34;
constexpr int kPlainHeight = 14;
constexpr double kCellDragStep = 0.005;
constexpr double kPlainDragStep = 0.01;
constexpr CColor kTopBarText = kWhiteCColor;
// The edge of the menu fields' artwork: a field without artwork of its own
// stands out from the top bar as the others do.
constexpr CColor kPlainFieldFill{49, 58, 69, 255};

template <int N> void addEntries(COptionMenu* menu, const char* const (&entries)[N]) {
    for (const char* e : entries)
        menu->addEntry(e);
}

// A menu of commands: its caption is drawn on its key, and no entry stays chosen.
template <int N> void addCommands(COptionMenu* menu, const char* const (&entries)[N]) {
    addEntries(menu, entries);
    menu->setCommandMenu(true);
}

} // namespace

CControl* CPluginEditor::place(const Placement& p) {
    return place(p, p.tag, p.x);
}

CControl* CPluginEditor::place(const Placement& p, long tag, int x) {
    CFrame* frame = getFrame();
    CBitmap* b = bitmap(p.bitmap);
    const int y = p.y;
    CControl* c = nullptr;
    switch (p.kind) {
    case Ctl::Knob:
        if (!b) return nullptr;
        c = new CKnobCtrl(CRect(x, y, x + b->getWidth(), y + b->getHeight() / CKnobCtrl::kFrames),
                          this, this, tag, b, p.reset);
        break;
    case Ctl::Button:
        if (!b) return nullptr;
        c = new CButtonCtrl(CRect(x, y, x + b->getWidth(), y + b->getHeight() / p.frames), this,
                            this, tag, b, p.frames);
        break;
    case Ctl::Selector:
    case Ctl::TextSelector: {
        if (!b) return nullptr;
        auto* t = new CTouchCtrl(CRect(x, y, x + b->getWidth() / p.frames, y + b->getHeight()),
                                 this, this, tag, b, p.frames, p.kind == Ctl::TextSelector);
        c = t;
        break;
    }
    case Ctl::Cell: {
        if (!b) return nullptr;
        auto* n = new CNumberCtrl(CRect(x, y, x + b->getWidth(), y + b->getHeight() / 2), this,
                                  this, tag, b, p.reset, false);
        n->setStep(kCellDragStep);
        c = n;
        break;
    }
    case Ctl::Plain: {
        // A bitmap only gives the size; it is not drawn.
        const int w = b ? b->getWidth() : kPlainWidth;
        const int h = b ? b->getHeight() / 2 : kPlainHeight;
        auto* n =
            new CNumberCtrl(CRect(x, y, x + w, y + h), this, this, tag, nullptr, p.reset, true);
        n->setStep(kPlainDragStep);
        c = n;
        break;
    }
    case Ctl::Digit:
        c = new CNumberPrcCtrl(CRect(x, y, x + CNumberPrcCtrl::kWidth, y + CNumberPrcCtrl::kHeight),
                               this, this, tag, p.reset);
        break;
    }
    frame->addView(c);
    return c;
}

CNumberCtrl* CPluginEditor::cell(int x, int y, long tag, int bitmapId, double reset) {
    return static_cast<CNumberCtrl*>(place(Placement{Ctl::Cell, x, y, tag, bitmapId, reset, 2}));
}

COptionMenu* CPluginEditor::menu(int x, int y, int bitmapId, bool white) {
    CBitmap* b = bitmap(bitmapId);
    auto* m =
        new COptionMenu(CRect(x, y, x + b->getWidth(), y + b->getHeight()), this, kMenuTag, b);
    m->setFont(kSmallFont);
    m->setFontColor(white ? kTopBarText : kBlackCColor);
    getFrame()->addView(m);
    return m;
}

void CPluginEditor::buildTopBar() {
    for (const Placement& p : kMasterControls)
        place(p);
    static_cast<CTouchCtrl*>(place(kTuningField))->setAlternateColour(true);
    auto* tuning = static_cast<CNumberCtrl*>(place(kTuningNumber));
    tuning->setStep(kCellDragStep);
    tuningNumber = tuning;
    place(kLayoutButton);

    bankMenuCtrl = menu(kBankMenuX, kTopMenuY, kMenuField, true);
    bankMenuCtrl->setNbItemsPerColumn(kMenuColumnEntries);
    CBitmap* b = bitmap(kMenuField);
    programMenuCtrl = new CMenuCtrl(
        CRect(kProgramMenuX, kTopMenuY, kProgramMenuX + b->getWidth(), kTopMenuY + b->getHeight()),
        this, kMenuTag, b);
    programMenuCtrl->setFont(kSmallFont);
    programMenuCtrl->setFontColor(kTopBarText);
    programMenuCtrl->setNbItemsPerColumn(kMenuColumnEntries);
    getFrame()->addView(programMenuCtrl);
    fillBankAndProgramMenus();

    qualityMenuCtrl =
        new COptionMenu(CRect(kQualityMenuX, kTopMenuY, kQualityMenuX + kQualityMenuWidth,
                              kTopMenuY + kQualityMenuHeight),
                        this, kMenuTag, nullptr);
    qualityMenuCtrl->setBackColor(kPlainFieldFill);
    qualityMenuCtrl->setFont(kSmallFont);
    qualityMenuCtrl->setFontColor(kTopBarText);
    getFrame()->addView(qualityMenuCtrl);
    for (const char* entry : kQualityEntries)
        qualityMenuCtrl->addEntry(entry);
    qualityMenuCtrl->setCurrent(qualityEntry());
}

int CPluginEditor::buildOscillatorMatrix() {
    int entry = 0;
    for (int r = 0; r < kOperatorCount; ++r) {
        const int y = kMatrixTop + kRowHeight * r;
        const long b = kOperatorFirstId + kOperatorIdStride * r;
        const int button = r == kOperatorCount - 1 ? kOperatorButtonLast : kOperatorButtonFirst + r;
        matrix[std::size_t(entry++)] = place(
            Placement{Ctl::Button, kOperatorButtonX, y, b + kOperatorEnabledOffset, button, 0, 2});
        for (int k = 0; k < kOperatorCount; ++k)
            matrix[std::size_t(entry++)] =
                cell(kModulationX + kCellWidth * k, y, b + kOperatorModulationOffset + k,
                     kMatrixCell, kMatrixReset);
        matrix[std::size_t(entry++)] = cell(kSendF1X, y, b + 11, kFilterCell, kMatrixReset);
        matrix[std::size_t(entry++)] = cell(kSendF2X, y, b + 12, kFilterCell, kMatrixReset);
        matrix[std::size_t(entry++)] =
            cell(kPanX, y, b + kOperatorPanOffset, kMatrixCell, kMatrixReset);
        matrix[std::size_t(entry++)] =
            cell(kMixX, y, b + kOperatorMixOffset, kMatrixCell, kMatrixReset);
    }
    for (int f = 0; f < 2; ++f) {
        const int y = f == 0 ? kFilter1RowY : kFilter2RowY;
        const long b = kFilterFirstId + kFilterIdStride * f;
        for (int k = 0; k < kOperatorCount; ++k)
            matrix[std::size_t(entry++)] =
                cell(kModulationX + kCellWidth * k, y, b + kFilterModulationOffset + k, kFilterCell,
                     kMatrixReset);
        // The other filter's send: filter 1 sends to F2, filter 2 to F1.
        matrix[std::size_t(entry++)] =
            cell(f == 0 ? kSendF2X : kSendF1X, y, b + kFilterModulationOffset + kOperatorCount,
                 kFilterCell, kMatrixReset);
        matrix[std::size_t(entry++)] =
            cell(kPanX, y, b + kFilterPanOffset, kFilterCell, kMatrixReset);
        matrix[std::size_t(entry++)] =
            cell(kMixX, y, b + kFilterLevelOffset, kFilterCell, kMatrixReset);
    }
    return 1;
}

int CPluginEditor::buildSamplerMatrix() {
    int entry = kSamplerEntriesFirst;
    for (int s = 0; s < kSampleSlotCount; ++s) {
        const int y = kMatrixTop + kRowHeight * s;
        CNumberCtrl* name = cell(kSlotNameX, y, kSamplePathLeafFirstId + s, kSlotNameFirst + s, 0);
        name->setTextIndent(kSlotTextIndent);
        name->setClickOnly(true);
        matrix[std::size_t(entry++)] = name;
        matrix[std::size_t(entry++)] =
            place(Placement{Ctl::Button, kSlotClearX, y, 338 + s, kSlotClear, 0, 2});
        const long b = kSampleSlotFirstId + kSampleSlotIdStride * s;
        for (const SamplerColumn& c : kSamplerColumns)
            matrix[std::size_t(entry++)] =
                place(Placement{c.kind, c.x, y, b + c.offset, c.bitmap, c.reset, 2});
    }
    for (const Placement& p : kSamplerLayer)
        matrix[std::size_t(entry++)] = place(p);
    return 1;
}

int CPluginEditor::buildOperatorPanel() {
    int i = 0;
    for (const Placement& p : kOperatorPanel) {
        CControl* c = place(p);
        if (p.tag == kSelectedOffsetHzId) {
            auto* n = static_cast<CNumberPrcCtrl*>(c);
            n->setRange(-kOffsetHzLimit, kOffsetHzLimit);
            n->setDigitMultiplier(1.0);
        }
        if (p.tag != kSelectedOperatorId) operatorControls[std::size_t(i++)] = c;
    }
    spectrumMenu = menu(kSpectrumMenuX, kSpectrumMenuY, kSpectrumMenu, false);
    addCommands(spectrumMenu, editormenus::kSpectrumEntries);
    amplitudeBars = new CRowCtrl(CPoint(kAmplitudeBarsX, kBarsY), this, this, bitmap(kSpectrumBars),
                                 false, true);
    phaseBars =
        new CRowCtrl(CPoint(kPhaseBarsX, kBarsY), this, this, bitmap(kSpectrumBars), true, false);
    waveView = new CSampleView(
        CRect(kWaveViewX, kWaveViewY, kWaveViewX + kWaveViewWidth, kWaveViewY + kWaveViewHeight),
        this, bitmap(kWaveColumns));
    getFrame()->addView(amplitudeBars);
    getFrame()->addView(phaseBars);
    getFrame()->addView(waveView);
    for (const Placement& p : kFilters)
        place(p);
    return 1;
}

int CPluginEditor::buildEnvelopeSection() {
    place(kCurveSelector);
    targetMenu = menu(kTargetMenuX, kEnvelopeMenuY, kTargetMenu, false);
    controllerMenu = menu(kControllerMenuX, kEnvelopeMenuY, kTargetMenu, false);
    addEntries(targetMenu, kTargetKindNames);
    controllerMenu->addEntry(kControllerNames[kNoController]);
    for (int c = 0; c < kControllerCount; ++c)
        controllerMenu->addEntry(kControllerNames[c]);
    showEnvelopeMenus();
    pointDisplay = place(kPointDisplay);
    CBitmap* b = bitmap(kEnvelopeBackground);
    envelopeView = new CEnvelopeCtrl(
        CRect(kEnvelopeX, kEnvelopeY, kEnvelopeX + b->getWidth(), kEnvelopeY + b->getHeight()),
        &renderer->program(), this, kEnvelopeTag, b);
    getFrame()->addView(envelopeView);
    int i = 0;
    for (const Placement& p : kEnvelopeControls) {
        CControl* c = place(p);
        if (p.kind == Ctl::Plain) static_cast<CKnobCtrl*>(c)->setRange(-1.0, 1.0);
        envelopeControls[std::size_t(i++)] = c;
    }
    return 1;
}

int CPluginEditor::buildRoutingList() {
    groupSelector = place(kGroupSelector);
    routingMenu = menu(kRoutingMenuX, kRoutingMenuY, kRoutingMenu, false);
    addCommands(routingMenu, editormenus::kRoutingEntries);
    auto depthCell = [this](int x, int y, long tag, int bitmapId) {
        CNumberCtrl* n = cell(x, y, tag, bitmapId, 0.0);
        n->setRange(-kRoutingLimit, kRoutingLimit);
        n->setStep(kPlainDragStep);
        n->setSplitStep(kRoutingCoarseStep);
        return n;
    };
    for (int r = 0; r < kEnvelopesPerPage; ++r) {
        const int y = kRoutingTop + kRowHeight * r;
        const long b = kEnvelopeRowFirstId + kEnvelopeRowIdStride * r;
        CBitmap* nameBitmap = bitmap(kRoutingNameCell);
        auto* name = new CNumberCtrl(CRect(kRoutingNameX, y, kRoutingNameX + nameBitmap->getWidth(),
                                           y + nameBitmap->getHeight() / 3),
                                     this, this, b, nameBitmap, 0.0, false);
        name->setExtraFrame(true);
        getFrame()->addView(name);
        std::size_t i = std::size_t(r) * kEnvelopeRowIdStride;
        routingCells[i++] = name;
        for (int k = 0; k < kOperatorCount; ++k)
            routingCells[i++] =
                depthCell(kRoutingOscX + kRoutingOscWidth * k, y, b + 1 + k, kRoutingOscCell);
        routingCells[i++] = depthCell(kRoutingFilt1X, y, b + 9, kRoutingFilterCell);
        routingCells[i++] = depthCell(kRoutingFilt2X, y, b + 10, kRoutingFilterCell);
        sampleCells[std::size_t(r)] =
            depthCell(kRoutingSampX, y, kEnvelopeSampleDepthFirstId + r, kSamplerCell);
    }
    return 1;
}

int CPluginEditor::buildEffectsSection() {
    for (const Placement& p : kEffects)
        place(p);
    int i = 0;
    for (const Placement& p : kDelayTimes)
        delayTimes[std::size_t(i++)] = place(p);
    for (int band = 0; band < kEqBandCount; ++band) {
        const int dx = kEqBandSpacing * band;
        for (const Placement& p : kEqBand) {
            CControl* c = place(p, p.tag + band, p.x + dx);
            if (p.kind == Ctl::Plain)
                static_cast<CKnobCtrl*>(c)->setResetValue(kEqFrequencyReset[band]);
        }
    }
    return 1;
}

int CPluginEditor::buildSequencers() {
    for (int s = 0; s < kSequencerCount; ++s) {
        const SequencerStrip& q = kSequencers[s];
        const int dx = q.x0 - kSequencers[0].x0;
        auto& controls = sequencerControls[std::size_t(s)];
        controls[0] = place(Placement{Ctl::Button, q.x0, 502, q.first, q.onBitmap, 0, 2});
        int i = 1;
        for (const Placement& p : kSequencerControls)
            controls[std::size_t(i++)] = place(p, q.first + p.tag, p.x + dx);
        patternMenus[std::size_t(s)] = menu(kPatternMenuX + dx, kPatternMenuY, kPatternMenu, false);
        addCommands(patternMenus[std::size_t(s)], editormenus::kPatternEntries);
        for (int step = 0; step < kStepCount; ++step) {
            const int row = step / kStepsPerRow;
            const int x = stepX(q.x0, step % kStepsPerRow);
            stepCells[std::size_t(s)][std::size_t(step)] =
                cell(x, kStepRowY[row], q.first + kStepsOffset + step, kStepCell, q.stepReset);
        }
    }
    return 1;
}

void CPluginEditor::addSplash() {
    getFrame()->addView(
        new CSplashScreen(CRect(kSplashLeft, kSplashTop, kSplashRight, kSplashBottom), this,
                          kSplashTag, bitmap(kSplashImage), CRect(0, 0, kWidth, kHeight)));
}
