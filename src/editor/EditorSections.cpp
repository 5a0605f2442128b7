// The window's sections: each builder creates its controls in the order of
// its layout table and registers those the editor redraws or reaches later.

#include "base/ValueIds.h"
#include "editor/CBrowserButton.h"
#include "editor/CButtonCtrl.h"
#include "editor/CEnvelopeCtrl.h"
#include "editor/CHelpLine.h"
#include "editor/CHistoryKey.h"
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
#include "engine/CProgramEdit.h"
#include "engine/IEditorEngine.h"
#include "gui/CBitmap.h"
#include "gui/CFrame.h"
#include "gui/CSplashScreen.h"
#include "patch/CPluginFile.h"
#include "voice/CEnvelope.h"

using namespace qgui;
using namespace editorlayout;

namespace {

constexpr CColor kTopBarText = kWhiteCColor;
// The edge of the menu fields' artwork: a field without artwork of its own
// stands out from the top bar as the others do.
constexpr CColor kPlainFieldFill{49, 58, 69, 255};
// The routing depths' coarse step, in the left half of a cell.
constexpr double kSplitCoarseStep = 1.0;

template <int N> void addEntries(COptionMenu* menu, const char* const (&entries)[N]) {
    for (const char* e : entries)
        menu->addEntry(e);
}

// A menu of commands: its caption is drawn on its key, and no entry stays chosen.
template <int N> void addCommands(COptionMenu* menu, const char* const (&entries)[N]) {
    addEntries(menu, entries);
    menu->setCommandMenu(true);
}

CRect boundsOf(const Placement& p) {
    const Size s = sizeOf(p);
    return CRect(p.x, p.y, p.x + s.w, p.y + s.h);
}

// Knobs and numbers span 0..1 unless their row gives a range.
void applyRange(CKnobCtrl* k, const Placement& p) {
    if (p.range.min != kUnit.min || p.range.max != kUnit.max) k->setRange(p.range.min, p.range.max);
}

} // namespace

CControl* CPluginEditor::place(const Placement& p) {
    CBitmap* b = p.bitmap != editorbitmaps::kNone ? bitmap(p.bitmap) : nullptr;
    const CRect r = boundsOf(p);
    CControl* c = nullptr;
    switch (p.kind) {
    case Ctl::Knob: {
        if (!b) return nullptr;
        auto* k = new CKnobCtrl(r, this, this, p.tag, b, p.reset);
        applyRange(k, p);
        c = k;
        break;
    }
    case Ctl::Button:
        if (!b) return nullptr;
        c = new CButtonCtrl(r, this, this, p.tag, b, framesOf(p));
        break;
    case Ctl::Selector:
    case Ctl::TextSelector:
        if (!b) return nullptr;
        c = new CTouchCtrl(r, this, this, p.tag, b, framesOf(p), p.kind == Ctl::TextSelector);
        break;
    case Ctl::Cell:
    case Ctl::SplitCell: {
        if (!b) return nullptr;
        auto* n = new CNumberCtrl(r, this, this, p.tag, b, p.reset, false);
        n->setStep(p.step != 0.0 ? p.step : kCellDragStep);
        if (p.kind == Ctl::SplitCell) n->setSplitStep(kSplitCoarseStep);
        // A third frame marks the selected row.
        n->setExtraFrame(framesOf(p) == 3);
        applyRange(n, p);
        c = n;
        break;
    }
    case Ctl::Plain: {
        // A bitmap only gives the size; it is not drawn.
        auto* n = new CNumberCtrl(r, this, this, p.tag, nullptr, p.reset, true);
        n->setStep(p.step != 0.0 ? p.step : kPlainDragStep);
        applyRange(n, p);
        c = n;
        break;
    }
    case Ctl::Digit:
    case Ctl::HzDigit: {
        auto* n = new CNumberPrcCtrl(r, this, this, p.tag, p.reset);
        if (p.kind == Ctl::HzDigit) n->setDigitMultiplier(1.0);
        applyRange(n, p);
        c = n;
        break;
    }
    case Ctl::HistoryKey: {
        const bool back = p.tag == kUndoTag;
        c = new CHistoryKey(
            r, p.tag, back, [this, back] { return back ? undo() : redo(); },
            [this, back] { return back ? editHistory.canUndo() : editHistory.canRedo(); });
        break;
    }
    default:
        return nullptr; // menus and views have builders of their own
    }
    getFrame()->addView(c);
    return c;
}

COptionMenu* CPluginEditor::menu(const Placement& p) {
    auto* m = new COptionMenu(boundsOf(p), this, p.tag, bitmap(p.bitmap));
    m->setFont(kSmallFont);
    m->setFontColor(p.kind == Ctl::TopBarMenu ? kTopBarText : kBlackCColor);
    getFrame()->addView(m);
    return m;
}

void CPluginEditor::buildHelpLine() {
    helpLine = new CHelpLine(boundsOf(kHelpLine));
    getFrame()->addView(helpLine);
}

std::string CPluginEditor::readout(long tag) {
    const char* name = nullptr;
    forEachControl([&](const Placement& p) {
        const bool showsValue = p.kind == Ctl::Knob || p.kind == Ctl::Cell ||
                                p.kind == Ctl::SplitCell || p.kind == Ctl::Plain ||
                                p.kind == Ctl::Digit || p.kind == Ctl::HzDigit;
        if (!name && showsValue && p.tag == tag) name = p.name;
    });
    if (!name) return {};
    std::string text = name;
    // The equaliser's rows are declared once for the four bands.
    const std::string::size_type band = text.find("Band n");
    if (band != std::string::npos) {
        const long first = tag >= kEqLevelFirstId       ? kEqLevelFirstId
                           : tag >= kEqFrequencyFirstId ? kEqFrequencyFirstId
                                                        : kEqQFirstId;
        text[band + 5] = char('1' + (tag - first) % kEqBandCount);
    }
    char value[100] = {};
    getTagText(tag, value, sizeof value);
    return text + " " + value;
}

void CPluginEditor::buildTopBar() {
    for (const Placement& p : kMasterControls)
        place(p);
    static_cast<CTouchCtrl*>(place(kTuningField))->setAlternateColour(true);
    tuningNumber = place(kTuningNumber);
    place(kLayoutButton);

    bankMenuCtrl = menu(kBankMenu);
    bankMenuCtrl->setNbItemsPerColumn(kMenuColumnEntries);
    programMenuCtrl =
        new CMenuCtrl(boundsOf(kProgramMenu), this, kProgramMenu.tag, bitmap(kProgramMenu.bitmap));
    programMenuCtrl->setFont(kSmallFont);
    programMenuCtrl->setFontColor(kTopBarText);
    programMenuCtrl->setNbItemsPerColumn(kMenuColumnEntries);
    getFrame()->addView(programMenuCtrl);
    fillBankAndProgramMenus();

    qualityMenuCtrl = new COptionMenu(boundsOf(kQualityMenu), this, kQualityMenu.tag, nullptr);
    qualityMenuCtrl->setBackColor(kPlainFieldFill);
    qualityMenuCtrl->setFont(kSmallFont);
    qualityMenuCtrl->setFontColor(kTopBarText);
    getFrame()->addView(qualityMenuCtrl);
    for (const char* entry : kQualityEntries)
        qualityMenuCtrl->addEntry(entry);
    qualityMenuCtrl->setCurrent(qualityEntry());

    getFrame()->addView(
        new CBrowserButton(boundsOf(kBrowserButton), kPlainFieldFill, [this] { openBrowser(); }));
    historyKeys = {place(kUndoKey), place(kRedoKey)};
}

int CPluginEditor::buildOscillatorMatrix() {
    int entry = 0;
    for (int r = 0; r < kOperatorCount; ++r)
        for (int i = 0; i < kOperatorRowControls; ++i)
            matrix[std::size_t(entry++)] = place(operatorRowControl(r, i));
    for (int f = 0; f < 2; ++f)
        for (int i = 0; i < kFilterRowControls; ++i)
            matrix[std::size_t(entry++)] = place(filterRowControl(f, i));
    return 1;
}

int CPluginEditor::buildSamplerMatrix() {
    int entry = kSamplerEntriesFirst;
    for (int s = 0; s < kSampleSlotCount; ++s) {
        for (int i = 0; i < kSamplerRowControls; ++i) {
            CControl* c = place(samplerRowControl(s, i));
            if (i == 0) {
                // The slot's name: a click opens the file dialog.
                auto* name = static_cast<CNumberCtrl*>(c);
                name->setTextIndent(kSlotTextIndent);
                name->setClickOnly(true);
            }
            matrix[std::size_t(entry++)] = c;
        }
    }
    for (const Placement& p : kSamplerLayer)
        matrix[std::size_t(entry++)] = place(p);
    return 1;
}

int CPluginEditor::buildOperatorPanel() {
    place(kOperatorSelector);
    int i = 0;
    for (const Placement& p : kOperatorPanel)
        operatorControls[std::size_t(i++)] = place(p);
    spectrumMenu = menu(kSpectrumMenu);
    addCommands(spectrumMenu, editormenus::kSpectrumEntries);
    amplitudeBars = new CRowCtrl(CPoint(kAmplitudeBars.x, kAmplitudeBars.y), this, this,
                                 bitmap(kAmplitudeBars.bitmap), false, true);
    phaseBars = new CRowCtrl(CPoint(kPhaseBars.x, kPhaseBars.y), this, this,
                             bitmap(kPhaseBars.bitmap), true, false);
    waveView = new CSampleView(boundsOf(kWaveView), this, bitmap(kWaveView.bitmap));
    getFrame()->addView(amplitudeBars);
    getFrame()->addView(phaseBars);
    getFrame()->addView(waveView);
    for (const Placement& p : kFilters)
        place(p);
    return 1;
}

int CPluginEditor::buildEnvelopeSection() {
    place(kCurveSelector);
    targetMenu = menu(kTargetMenu);
    controllerMenu = menu(kControllerMenu);
    addEntries(targetMenu, kTargetKindNames);
    controllerMenu->addEntry(kControllerNames[kNoController]);
    for (int c = 0; c < kControllerCount; ++c)
        controllerMenu->addEntry(kControllerNames[c]);
    showEnvelopeMenus();
    pointDisplay = place(kPointDisplay);
    // The envelope editor changes its record in place, each change under the
    // edit lock (recordLock) and handed over to the sound by envelopeEdited.
    CProgram* edited = &CProgramEdit(*renderer).program();
    envelopeView = new CEnvelopeCtrl(boundsOf(kEnvelopeEditor), edited, this, kEnvelopeEditor.tag,
                                     bitmap(kEnvelopeEditor.bitmap));
    getFrame()->addView(envelopeView);
    int i = 0;
    for (const Placement& p : kEnvelopeControls)
        envelopeControls[std::size_t(i++)] = place(p);
    return 1;
}

int CPluginEditor::buildRoutingList() {
    groupSelector = place(kGroupSelector);
    routingMenu = menu(kRoutingMenu);
    addCommands(routingMenu, editormenus::kRoutingEntries);
    for (int r = 0; r < kEnvelopesPerPage; ++r) {
        // The envelope's name and its depths to the operators and filters
        // share the row's value IDs; the sample depth has IDs of its own.
        std::size_t i = std::size_t(r) * kEnvelopeRowIdStride;
        for (int k = 0; k + 1 < kRoutingRowControls; ++k)
            routingCells[i++] = place(routingRowControl(r, k));
        sampleCells[std::size_t(r)] = place(routingRowControl(r, kRoutingRowControls - 1));
    }
    return 1;
}

int CPluginEditor::buildEffectsSection() {
    for (const Placement& p : kEffects)
        place(p);
    int i = 0;
    for (const Placement& p : kDelayTimes)
        delayTimes[std::size_t(i++)] = place(p);
    for (int band = 0; band < kEqBandCount; ++band)
        for (int k = 0; k < kEqBandControls; ++k)
            place(eqBandControl(band, k));
    return 1;
}

int CPluginEditor::buildSequencers() {
    for (int s = 0; s < kSequencerCount; ++s) {
        auto& controls = sequencerControls[std::size_t(s)];
        for (int i = 0; i < kSequencerControls; ++i)
            controls[std::size_t(i)] = place(sequencerControl(s, i));
        patternMenus[std::size_t(s)] = menu(patternMenu(s));
        addCommands(patternMenus[std::size_t(s)], editormenus::kPatternEntries);
        for (int step = 0; step < kSequencerStepCount; ++step)
            stepCells[std::size_t(s)][std::size_t(step)] = place(stepCell(s, step));
    }
    return 1;
}

void CPluginEditor::addSplash() {
    getFrame()->addView(new CSplashScreen(boundsOf(kSplash), this, kSplash.tag,
                                          bitmap(kSplash.bitmap),
                                          CRect(0, 0, kWindowWidth, kWindowHeight)));
}
