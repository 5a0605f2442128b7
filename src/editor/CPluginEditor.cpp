#include "editor/CPluginEditor.h"

#include "base/ValueIds.h"
#include "editor/CDialogShade.h"
#include "editor/CEditorCommands.h"
#include "editor/CHelpLine.h"
#include "editor/CKnobCtrl.h"
#include "editor/CMenuCtrl.h"
#include "editor/EditorLayout.h"
#include "editor/EditorMenus.h"
#include "engine/CProgramEdit.h"
#include "engine/IEditorEngine.h"
#include "gui/CBitmap.h"
#include "gui/CFrame.h"
#include "gui/CTextField.h"
#include "gui/EditorScale.h"
#include "gui/MouseButtons.h"
#include "patch/CBankList.h"
#include "patch/CPluginFile.h"
#include "patch/CProgram.h"
#include "patch/ParameterText.h"
#include "platform/IPlatform.h"
#include "voice/CEnvelope.h"
#include "waves/CWaveManager.h"

#ifdef _WIN32
#include "gui/win32/CWin32Window.h"
#else
#include "gui/x11/TopLevelWindow.h"
#endif

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <utility>

using namespace qgui;
using namespace editorlayout;

namespace {

// Delay times as the window edits them: the pre-delay in 64ths, the left and
// right times in 56ths, so that synced times land on whole note values.
constexpr long kPreDelayTag = kDelayFirstId + kDelayPreTimeOffset;
constexpr long kLeftDelayTag = kDelayFirstId + kDelayLeftTimeOffset;
constexpr long kRightDelayTag = kDelayFirstId + kDelayRightTimeOffset;
constexpr long kDelaySyncTag = kDelayFirstId + kDelaySyncOffset;
constexpr double kPreDelayGrid = 64.0;
constexpr double kDelayGrid = 56.0;
constexpr double kGridBias = 0.25;

// The delay's lengths: free-running pre = 1298 p² ms, times = 1298 t² + 1 ms;
// synced pre = p × 8 sixteenths, times = (1 + 7 t) sixteenths, at 15000 / T ms each.
constexpr double kDelaySpanMs = 1298.0;
constexpr double kSixteenthMsAt1Bpm = 15000.0;

// The scale the user set where the data root is set too (the config file or
// the registry); empty when none is set.
std::string userScale(IEditorEngine* renderer) {
    CPluginFile* settings = renderer ? renderer->settings() : nullptr;
    return settings ? settings->platform().configuredScale() : std::string();
}

// The scale for a window inside parent: the user's setting, else the density
// of the screen (on Windows, the one the host's window is on).
CScale scaleForParent([[maybe_unused]] void* parent, const std::string& setting) {
#ifdef _WIN32
    return pickScale(std::getenv("QUELLOR_SCALE"), setting.c_str(), windowDpi(parent));
#else
    return chooseScale(setting.c_str());
#endif
}

bool isRoutingNameTag(long tag) {
    return tag >= kEnvelopeRowFirstId && tag <= kEnvelopeRowLastId &&
           (tag - kEnvelopeRowFirstId) % kEnvelopeRowIdStride == 0;
}

} // namespace

CPluginEditor::CPluginEditor(AudioEffectX* effect, IEditorEngine* renderer,
                             IEditorCommands* commands)
    : AEffGUIEditor(effect, kWidth, kHeight), renderer(renderer), commands(commands) {
    layout = 0;
    if (!this->commands) {
        ownCommands = std::make_unique<CEditorCommands>();
        this->commands = ownCommands.get();
    }
}

CPluginEditor::~CPluginEditor() {
    close();
    // The host ends the instance: whatever its thread, no idle of ours runs now.
    std::vector<CFrame*> frames;
    {
        std::lock_guard<std::mutex> guard(retiredLock);
        frames.swap(retired);
    }
    for (CFrame* f : frames)
        delete f;
}

bool CPluginEditor::getRect(ERect** result) {
    if (!scaleChosen) {
        scale = chooseScale(userScale(renderer).c_str());
        scaleChosen = true;
    }
    rect.top = 0;
    rect.left = 0;
    rect.right = VstInt16(scale.toSurface(kWidth));
    rect.bottom = VstInt16(scale.toSurface(kHeight));
    *result = &rect;
    return true;
}

bool CPluginEditor::open(void* parent) {
    if (!parent) return false;
    return openWith(parent, nullptr, scaleForParent(parent, userScale(renderer)));
}

bool CPluginEditor::openWith(void* parent, std::unique_ptr<IPlatformWindow> window, CScale s) {
    if (getFrame()) close();
    if (!renderer) return false;
    if (onWindowThread() && idleDepth == 0) deleteRetiredFrames();
    {
        // The bitmaps that a closed frame's controls still use are at its scale.
        std::lock_guard<std::mutex> guard(retiredLock);
        if (!retired.empty() && s != scale) return false;
    }
    windowThread.store(std::this_thread::get_id());
    scale = s;
    scaleChosen = true;
    rect.right = VstInt16(scale.toSurface(kWidth));
    rect.bottom = VstInt16(scale.toSurface(kHeight));
    shownProgramName[0] = 0;
    shownTuningText[0] = 0;
    // A new window draws everything anyway.
    hostChanges.store(0);
    otherHostChange.store(false);
    if (!loadBitmaps()) {
        releaseBitmaps();
        return false;
    }
    auto* frame = new CFrame(CRect(0, 0, kWidth, kHeight), scale, std::move(window));
    if (!frame->open(parent)) {
        delete frame;
        releaseBitmaps();
        return false;
    }
    frameObject.store(frame);
    frame->setDropTarget(this);
    frame->setKeyTarget(this);
    systemWindow = parent;
    matrix.fill(nullptr);

    if (layout == 1) {
        frame->setBackground(bitmap(editorbitmaps::kBackgroundSampler));
        buildSamplerMatrix();
    } else {
        frame->setBackground(bitmap(editorbitmaps::kBackgroundMixer));
        buildOscillatorMatrix();
    }
    buildTopBar();
    const int built = buildOperatorPanel() + buildEnvelopeSection() + buildRoutingList() +
                      buildEffectsSection() + buildSequencers();
    if (built < 5) {
        close();
        return false;
    }
    addSplash();
    buildHelpLine();
    shade = new CDialogShade(CRect(0, 0, kWidth, kHeight));
    frame->addView(shade);
    // MIDI program changes come through the program menu while the window is open.
    renderer->setWindowTakesProgramChanges(true);
    // What changed while the window was closed was the host's.
    recordStep(false);
    return true;
}

void CPluginEditor::close() {
    if (onWindowThread()) {
        // The dialog belongs to the window: it goes with it, unanswered.
        dialog.cancel();
        if (renderer && renderer->settings() && ownerWindow)
            renderer->settings()->platform().forgetWindow(ownerWindow);
        ownerWindow = nullptr;
        messageShown = false;
    }
    CFrame* frame = frameObject.exchange(nullptr);
    if (frame && renderer) renderer->setWindowTakesProgramChanges(false);
    if (!onWindowThread() || idleDepth > 0) {
        // The frame may be handling an event (the host closes the editor
        // while it hears of an edit, or from a dialog's message loop) or the
        // window belongs to another thread: the window is asked to go now,
        // which on its own thread ends a press in progress, and the frame,
        // its controls and the bitmaps they draw stay until the window's
        // thread is done with them.
        if (!frame) return;
        if (onWindowThread())
            frame->closeWindow();
        else if (IPlatformWindow* w = frame->getPlatformWindow())
            w->requestClose();
        std::lock_guard<std::mutex> guard(retiredLock);
        retired.push_back(frame);
        return;
    }
    delete frame;
    if (onWindowThread()) deleteRetiredFrames();
    clearRegistries();
    releaseBitmaps();
    systemWindow = nullptr;
}

void CPluginEditor::deleteRetiredFrames() {
    std::vector<CFrame*> frames;
    {
        std::lock_guard<std::mutex> guard(retiredLock);
        frames.swap(retired);
    }
    if (frames.empty()) return;
    for (CFrame* f : frames)
        delete f;
    // The registries and bitmaps were theirs, unless a window opened since.
    if (!getFrame()) {
        clearRegistries();
        releaseBitmaps();
        systemWindow = nullptr;
    }
}

void CPluginEditor::clearRegistries() {
    // Every registered control went with the frame.
    matrix.fill(nullptr);
    routingCells.fill(nullptr);
    sampleCells.fill(nullptr);
    delayTimes.fill(nullptr);
    envelopeControls.fill(nullptr);
    operatorControls.fill(nullptr);
    for (auto& s : sequencerControls)
        s.fill(nullptr);
    for (auto& s : stepCells)
        s.fill(nullptr);
    patternMenus.fill(nullptr);
    routingMenu = targetMenu = controllerMenu = spectrumMenu = bankMenuCtrl = nullptr;
    qualityMenuCtrl = nullptr;
    programMenuCtrl = nullptr;
    envelopeView = pointDisplay = groupSelector = amplitudeBars = phaseBars = waveView = nullptr;
    tuningNumber = nullptr;
    historyKeys.fill(nullptr);
    helpLine = nullptr;
    textField = nullptr;
    typingDone = false;
    shade = nullptr;
    browser = nullptr;
}

bool CPluginEditor::loadBitmaps() {
    for (const editorbitmaps::BitmapSpec& art : editorbitmaps::kBitmaps) {
        const int id = art.id;
        auto& slot = bitmaps[std::size_t(id - editorbitmaps::kFirstId)];
        if (!slot) slot = CBitmap::load(id, scale);
        if (!slot) {
            std::fprintf(stderr, "Quellor: the editor's bitmap %d is missing\n", id);
            return false;
        }
    }
    return true;
}

void CPluginEditor::releaseBitmaps() {
    // Not while a closed frame's controls may still draw them.
    std::lock_guard<std::mutex> guard(retiredLock);
    if (!retired.empty()) return;
    for (auto& b : bitmaps)
        b.reset();
}

CBitmap* CPluginEditor::bitmap(int id) const {
    if (id < editorbitmaps::kFirstId || id > editorbitmaps::kLastId) return nullptr;
    return bitmaps[std::size_t(id - editorbitmaps::kFirstId)].get();
}

void CPluginEditor::idle() {
    // The window's events and drawing belong to its own thread.
    if (!onWindowThread()) return;
    ++idleDepth;
    idleFrame();
    if (--idleDepth == 0) deleteRetiredFrames();
}

void CPluginEditor::idleFrame() {
    CFrame* frame = getFrame();
    if (!frame) {
        // Closed from another thread: the dialog goes with the window.
        dialog.cancel();
        return;
    }
    pollDialogs();
    // A MIDI program change plays the program as a choice in the program menu
    // does; like the menu, it waits while a dialog is open.
    if (!isDialogOpen())
        if (const int32_t program = renderer->takeProgramChange(); program >= 0)
            selectProgram(program);
    char text[sizeof shownProgramName] = {};
    renderer->getProgramName(text, sizeof text);
    if (programMenuCtrl && std::strcmp(text, shownProgramName) != 0) {
        programMenuCtrl->setText(text);
        std::memcpy(shownProgramName, text, sizeof text);
    }
    renderer->getParameterDisplay(kFineTuneId, text, sizeof text);
    if (std::strcmp(text, shownTuningText) != 0) {
        dirty(tuningNumber);
        std::memcpy(shownTuningText, text, sizeof text);
    }
    redrawHostChanges(*frame);
    // What the last events hovered or dragged, drawn with this idle's picture.
    showReadout(*frame);
    frame->idle();
    finishTyping();
    // The envelope editor's gestures, and anything else the window changed,
    // end their step once the press is over.
    frame = getFrame();
    if (frame && !frame->getMouseView() && !isDialogOpen()) recordStep(false);
}

// ---- typed values ----

namespace {

// A field a little wider than the narrowest controls, so that a value fits.
constexpr int kTypingFieldMinWidth = 56;
constexpr int kTypingFieldHeight = 14;
// Halvings of the control's range when looking for the typed value.
constexpr int kTypingSearchSteps = 64;

// The number at the start of a display text ("440.00 Hz" -> 440); false when there is none.
bool leadingNumber(const char* text, double& x) {
    char* end = nullptr;
    x = std::strtod(text, &end);
    return end != text && std::isfinite(x);
}

} // namespace

void CPluginEditor::typeValue(long tag) {
    CFrame* frame = getFrame();
    auto* knob = frame ? dynamic_cast<CControl*>(frame->getMouseView()) : nullptr;
    if (!knob || knob->getTag() != tag || isDialogOpen() || textField) return;
    if (!dynamic_cast<CKnobCtrl*>(knob) && tag != kPointDisplayTag) return;
    char text[100] = {};
    getTagText(tag, text, sizeof text);
    CRect r = knob->getViewSize();
    const int width = std::max(int(r.right - r.left), kTypingFieldMinWidth);
    const int middleX = (r.left + r.right) / 2, middleY = (r.top + r.bottom) / 2;
    r.left = std::clamp(middleX - width / 2, 0, kWidth - width);
    r.right = r.left + width;
    r.top = std::clamp(middleY - kTypingFieldHeight / 2, 0, kHeight - kTypingFieldHeight);
    r.bottom = r.top + kTypingFieldHeight;
    typedTag = tag;
    openingPress = true;
    textField = new CTextField(r, text, [this](const char* typed) {
        typingDone = true;
        typedCancelled = typed == nullptr;
        typedText = typed ? typed : "";
    });
    frame->addView(textField);
    frame->setFocusView(textField);
    raiseShade();
}

void CPluginEditor::finishTyping() {
    CFrame* frame = getFrame();
    if (!textField || !frame) return;
    // A click elsewhere closes the field as Escape does (the press that
    // opened it aside).
    CView* pressed = frame->getMouseView();
    if (!pressed) openingPress = false;
    if (!typingDone && !(pressed && pressed != textField && !openingPress)) return;
    CTextField* field = std::exchange(textField, nullptr);
    frame->setFocusView(nullptr);
    frame->removeView(field, true);
    frame->setDirty();
    const bool apply = typingDone && !typedCancelled;
    typingDone = false;
    if (apply) applyTypedValue(typedTag, typedText.c_str());
}

bool CPluginEditor::applyTypedValue(long tag, const char* typed) {
    CFrame* frame = getFrame();
    if (!frame || !typed || !renderer || isDialogOpen()) return false;
    if (tag == kPointDisplayTag) return applyTypedPoint(typed);
    CKnobCtrl* knob = nullptr;
    for (int i = 0; i < frame->getNbViews() && !knob; ++i)
        if (auto* k = dynamic_cast<CKnobCtrl*>(frame->getView(i)); k && k->getTag() == tag)
            knob = k;
    if (!knob) return false;
    // Typed as the window shows it: a comma may stand for the decimal point.
    std::string text = typed;
    std::replace(text.begin(), text.end(), ',', '.');
    char* end = nullptr;
    const double wanted = std::strtod(text.c_str(), &end);
    while (end && *end == ' ')
        ++end;
    if (end == text.c_str() || !end || *end != '\0' || !std::isfinite(wanted)) return false;

    // The value whose text shows the number: the texts grow (or shrink)
    // with the value, so halving the control's range finds it.
    std::unique_ptr<CProgram> trial(new (std::nothrow) CProgram(renderer->program()));
    if (!trial) return false;
    double fineTune = renderer->getParameter(kFineTuneId);
    trial->fineTune = &fineTune; // never the instance's own
    bool numeric = true;
    const auto shown = [&](double v) {
        trial->setValue(int32_t(tag), v);
        char display[100] = {};
        formatParameterDisplay(*trial, int32_t(tag), '.', display, sizeof display);
        double x = 0.0;
        if (!leadingNumber(display, x)) numeric = false;
        return x;
    };
    double lo = knob->getMinimum(), hi = knob->getMaximum();
    const double atLo = shown(lo), atHi = shown(hi);
    if (!numeric) return false;
    const bool rising = atHi >= atLo;
    double value;
    if (rising ? wanted <= atLo : wanted >= atLo) {
        value = lo;
    } else if (rising ? wanted >= atHi : wanted <= atHi) {
        value = hi;
    } else {
        // Where the texts reach the number, and where they pass it: the
        // values between show it, and the middle one is the number itself
        // when the text rounds the value.
        const auto firstBeyond = [&](bool orEqual) {
            double a = lo, b = hi; // a short of it, b at or beyond
            for (int i = 0; i < kTypingSearchSteps; ++i) {
                const double mid = 0.5 * (a + b), x = shown(mid);
                const bool beyond = rising ? (orEqual ? x >= wanted : x > wanted)
                                           : (orEqual ? x <= wanted : x < wanted);
                (beyond ? b : a) = mid;
            }
            return b;
        };
        const double reach = firstBeyond(true), pass = firstBeyond(false);
        value = shown(reach) == wanted ? 0.5 * (reach + pass) : reach;
        if (shown(value) != wanted) value = reach;
    }
    controlBeginEdit(knob);
    setTagValue(tag, value);
    knob->setDirty();
    controlEndEdit(knob);
    return true;
}

bool CPluginEditor::applyTypedPoint(const char* typed) {
    // "Lev 0.5 Crv 0.3 Dlt 1.2", or the numbers alone, in that order; the
    // labels may be left out, and fewer numbers leave the rest as they are.
    static constexpr const char* kLabels[] = {"lev", "crv", "dlt"};
    std::string text = typed;
    std::replace(text.begin(), text.end(), ',', '.');
    double numbers[3] = {};
    int count = 0;
    const char* p = text.c_str();
    while (*p) {
        if (*p == ' ') {
            ++p;
            continue;
        }
        bool label = false;
        const auto labelAt = [](const char* at, const char* l) {
            for (int i = 0; i < 3; ++i)
                if (std::tolower(static_cast<unsigned char>(at[i])) != l[i]) return false;
            return true;
        };
        for (const char* l : kLabels)
            if (labelAt(p, l)) {
                p += 3;
                label = true;
            }
        if (label) continue;
        char* end = nullptr;
        const double x = std::strtod(p, &end);
        if (end == p || !std::isfinite(x) || count == 3 || (*end && *end != ' ')) return false;
        numbers[count++] = x;
        p = end;
    }
    if (count == 0) return false;
    {
        CProgramEdit edit(*renderer);
        CProgram& program = edit.program();
        CEnvelope& e = program.currentCurve();
        const int k = e.selectedPoint;
        if (count > 0) e.setLevel(k, numbers[0]);
        if (count > 1) e.setCurve(k, numbers[1]);
        if (count > 2) e.setDelta(k, numbers[2]);
        edit.touchEnvelope(program.selectedEnvelope);
    }
    recordStep(true);
    redrawEnvelopeSection();
    return true;
}

void CPluginEditor::showReadout(CFrame& frame) {
    if (!helpLine) return;
    CView* view = frame.getMouseView() ? frame.getMouseView() : frame.getHoverView();
    auto* control = dynamic_cast<CControl*>(view);
    helpLine->show(control && !isDialogOpen() ? readout(control->getTag()) : std::string());
}

void CPluginEditor::pollDialogs() {
    const bool waiting = dialog.isOpen();
    dialog.poll();
    // The command the answer carried out is one step.
    if (waiting && !dialog.isOpen()) recordStep(true);
    if (renderer->settings())
        messageShown = renderer->settings()->platform().showMessages(ownerWindow ? ownerWindow
                                                                                 : dialogOwner());
    if (shade && shade->isVisible() != isDialogOpen()) {
        if (CFrame* frame = getFrame()) frame->closePopup();
        shade->setVisible(isDialogOpen());
    }
}

bool CPluginEditor::waitForDialog(std::unique_ptr<IPendingDialog> pending,
                                  CEditorDialog::Answer then) {
    if (!dialog.wait(std::move(pending), std::move(then))) return false;
    // The window shows at once that it waits, not only at the next idle.
    if (shade && dialog.isOpen()) shade->setVisible(true);
    return true;
}

void* CPluginEditor::dialogOwner() {
#ifdef _WIN32
    void* owner = systemWindow;
#else
    // X11 window ids travel as the host's pointer-sized window handle.
    const auto parent = reinterpret_cast<std::uintptr_t>(systemWindow);
    void* owner = reinterpret_cast<void*>(std::uintptr_t(topLevelWindow(parent)));
#endif
    // Error boxes still to come go above the window as it is now.
    if (ownerWindow && owner != ownerWindow && renderer && renderer->settings())
        renderer->settings()->platform().forgetWindow(ownerWindow);
    ownerWindow = owner;
    return owner;
}

void CPluginEditor::raiseShade() {
    CFrame* frame = getFrame();
    if (!frame || !shade) return;
    frame->removeView(shade, false);
    frame->addView(shade);
}

void CPluginEditor::setParameter(VstInt32 index, float) {
    // Only noted here: the frame and its views belong to the window's thread.
    if (index >= 0 && index < kHostParameterCount)
        hostChanges.fetch_or(std::uint64_t{1} << index, std::memory_order_release);
    else
        otherHostChange.store(true, std::memory_order_release);
}

void CPluginEditor::redrawHostChanges(CFrame& frame) {
    static_assert(kHostParameterCount <= 64, "one bit per host parameter");
    if (otherHostChange.exchange(false, std::memory_order_acq_rel)) frame.setDirty();
    const std::uint64_t changed = hostChanges.exchange(0, std::memory_order_acq_rel);
    if (changed == 0) return;
    for (int i = 0; i < frame.getNbViews(); ++i) {
        auto* c = dynamic_cast<CControl*>(frame.getView(i));
        if (c && c->getTag() >= 0 && c->getTag() < kHostParameterCount &&
            (changed >> c->getTag()) & 1)
            c->setDirty();
    }
    // The delay times' texts are in note values while synced.
    if ((changed >> kDelaySyncTag) & 1)
        for (CView* v : delayTimes)
            dirty(v);
}

void CPluginEditor::dirty(CView* view) {
    if (view) view->setDirty();
}

// ---- value binding ----

double CPluginEditor::getTagValue(long tag) {
    if (tag >= kClearSampleFirstTag && tag < kClearSampleFirstTag + kSampleSlotCount)
        return renderer->slotHasSample(int32_t(tag - kClearSampleFirstTag)) ? 1.0 : 0.0;
    if (tag == kLayoutTag) return layout ? 1.0 : 0.0;
    return renderer->getParameter(int32_t(tag));
}

bool CPluginEditor::getTagText(long tag, char* text, std::size_t capacity) {
    if (capacity == 0) return false;
    text[0] = 0;
    renderer->getParameterDisplay(int32_t(tag), text, capacity);
    if (isRoutingNameTag(tag)) {
        const CProgram& p = renderer->program();
        const int row = int(tag - kEnvelopeRowFirstId) / kEnvelopeRowIdStride;
        return p.envelopePage * kEnvelopesPerPage + row == p.selectedEnvelope;
    }
    return true;
}

// The bar control draws and changes a copy of the selected operator's
// spectrum; a change goes into the program as one edit, so that a chunk never
// holds half of it and the operator's wave follows.
double* CPluginEditor::spectrum(bool phases) {
    const double* stored = renderer->program().selectedSpectrum(phases);
    spectrumPhasesShown = phases;
    std::copy(stored, stored + kHarmonicCount, shownSpectrum);
    return shownSpectrum;
}

void CPluginEditor::spectrumChanged() {
    {
        CProgramEdit edit(*renderer);
        double* stored = edit.program().selectedSpectrum(spectrumPhasesShown);
        std::copy(shownSpectrum, shownSpectrum + kHarmonicCount, stored);
        edit.touchWave(-1);
    }
    dirty(waveView);
}

float CPluginEditor::waveSample(double phase) {
    return renderer->waves().evaluate(renderer->program().selectedOperator, phase);
}

void CPluginEditor::setTagValue(long tag, double value) {
    // Nothing changes under a dialog that is still to be answered.
    if (isDialogOpen()) return;
    CFrame* frame = getFrame();
    if (tag == kLayoutTag) toggleMatrixLayout();
    if (tag == kEnvelopeTempoSyncId && frame) dirty(envelopeView);
    if ((tag == kPreviousProgramTag || tag == kNextProgramTag) && frame) {
        const int current = renderer->banks().currentFile();
        selectProgram(tag == kPreviousProgramTag ? current - 1 : current + 1);
        return;
    }
    if (frame) {
        if (tag == kPreDelayTag)
            value = std::trunc(value * kPreDelayGrid + kGridBias) / kPreDelayGrid;
        else if (tag == kLeftDelayTag || tag == kRightDelayTag)
            value = std::trunc(value * kDelayGrid + kGridBias) / kDelayGrid;
    }
    renderer->setParameter(int32_t(tag), value);
    if (tag >= 0 && tag < kHostParameterCount) {
        renderer->announceValue(int32_t(tag));
        windowValues |= std::uint64_t{1} << tag;
    }
    if (!frame) return;

    if (tag == kDelaySyncTag) {
        convertDelayTimes(value >= 0.5);
        return;
    }
    if (tag == kLoadProgramTag || tag == kSaveProgramTag || tag == kLoadTuningTag) {
        if (commands) commands->runCommand(*this, tag);
        return;
    }
    if (tag == kEnvelopeBipolarId) {
        dirty(envelopeView);
        dirty(pointDisplay);
        return;
    }
    if (tag >= kLoadSampleFirstTag && tag < kClearSampleFirstTag + kSampleSlotCount) {
        if (commands) commands->runCommand(*this, tag);
        redrawSamplerMatrix();
        return;
    }
    if (tag == kOperatorSelectorTag) {
        for (CView* v : operatorControls)
            dirty(v);
        dirty(waveView);
        dirty(amplitudeBars);
        dirty(phaseBars);
        return;
    }
    if (tag == kGroupSelectorTag) {
        markRouting();
        dirty(envelopeView);
        return;
    }
    if (tag == kCurveSelectorTag) {
        dirty(envelopeView);
        return;
    }
    if (isRoutingNameTag(tag)) {
        markRouting();
        dirty(envelopeView);
        for (CView* v : envelopeControls)
            dirty(v);
        showEnvelopeMenus();
        dirty(pointDisplay);
    }
}

void CPluginEditor::showEnvelopeMenus() {
    const CProgram& p = renderer->program();
    if (p.selectedEnvelope < 0 || p.selectedEnvelope >= kProgramEnvelopeCount) return;
    const CEnvelope& e = p.envelopes[p.selectedEnvelope];
    if (targetMenu) targetMenu->setCurrent(e.targetKind);
    if (controllerMenu)
        controllerMenu->setCurrent(e.controller == kNoController ? editormenus::kNoControllerEntry
                                                                 : e.controller + 1);
}

void CPluginEditor::markRouting() {
    for (CView* v : routingCells)
        dirty(v);
    for (CView* v : sampleCells)
        dirty(v);
}

void CPluginEditor::redrawRouting() {
    markRouting();
}

void CPluginEditor::redrawEnvelopeSection() {
    markRouting();
    dirty(envelopeView);
    for (CView* v : envelopeControls)
        dirty(v);
    showEnvelopeMenus();
    dirty(targetMenu);
    dirty(controllerMenu);
    dirty(pointDisplay);
    dirty(groupSelector);
}

void CPluginEditor::redrawSpectrum() {
    dirty(amplitudeBars);
    dirty(phaseBars);
    dirty(waveView);
}

void CPluginEditor::redrawSequencer(int n) {
    if (n < 0 || n >= kSequencerCount) return;
    for (CView* v : sequencerControls[std::size_t(n)])
        dirty(v);
    for (CView* v : stepCells[std::size_t(n)])
        dirty(v);
}

void CPluginEditor::redrawTag(long tag) {
    CFrame* frame = getFrame();
    if (!frame) return;
    for (int i = 0; i < frame->getNbViews(); ++i)
        if (auto* c = dynamic_cast<CControl*>(frame->getView(i)); c && c->getTag() == tag)
            c->setDirty();
}

void CPluginEditor::redrawAll() {
    CFrame* frame = getFrame();
    if (!frame) return;
    showEnvelopeMenus();
    for (int i = 0; i < frame->getNbViews(); ++i)
        frame->getView(i)->setDirty();
    frame->setDirty();
}

void CPluginEditor::redrawSamplerMatrix() {
    for (int i = kSamplerEntriesFirst; i < kMatrixEntries; ++i)
        dirty(matrix[std::size_t(i)]);
}

void CPluginEditor::convertDelayTimes(bool syncOn) {
    const double t = renderer->tempo();
    double times[3] = {renderer->getParameter(int32_t(kPreDelayTag)),
                       renderer->getParameter(int32_t(kLeftDelayTag)),
                       renderer->getParameter(int32_t(kRightDelayTag))};
    if (syncOn) {
        const double p = times[0];
        times[0] = t * kDelaySpanMs * p * p / (8.0 * kSixteenthMsAt1Bpm);
        for (int i = 1; i < 3; ++i) {
            const double l = times[i];
            times[i] = (t * (kDelaySpanMs * l * l + 1.0) - kSixteenthMsAt1Bpm) /
                       (7.0 * kSixteenthMsAt1Bpm);
        }
    } else {
        times[0] = std::sqrt(std::max(0.0, 8.0 * kSixteenthMsAt1Bpm * times[0] / t / kDelaySpanMs));
        for (int i = 1; i < 3; ++i)
            times[i] = std::sqrt(std::max(
                0.0, ((1.0 + 7.0 * times[i]) * kSixteenthMsAt1Bpm / t - 1.0) / kDelaySpanMs));
    }
    const long tags[3] = {kPreDelayTag, kLeftDelayTag, kRightDelayTag};
    for (int i = 0; i < 3; ++i) {
        dirty(delayTimes[std::size_t(i)]);
        renderer->setParameter(int32_t(tags[i]), std::clamp(times[i], 0.0, 1.0));
        renderer->announceValue(int32_t(tags[i]));
        windowValues |= std::uint64_t{1} << tags[i];
    }
}

void CPluginEditor::toggleMatrixLayout() {
    CFrame* frame = getFrame();
    if (!frame) return;
    if (layout == 1) {
        removeMatrixEntries(kSamplerEntriesFirst, kMatrixEntries);
        layout = 0;
        frame->setBackground(bitmap(editorbitmaps::kBackgroundMixer));
        buildOscillatorMatrix();
    } else {
        removeMatrixEntries(0, kSamplerEntriesFirst);
        layout = 1;
        buildSamplerMatrix();
        frame->setBackground(bitmap(editorbitmaps::kBackgroundSampler));
    }
    raiseShade();
    frame->setDirty();
}

void CPluginEditor::removeMatrixEntries(int first, int last) {
    CFrame* frame = getFrame();
    for (int i = first; i < last; ++i) {
        CView*& v = matrix[std::size_t(i)];
        if (v && frame) frame->removeView(v, true);
        v = nullptr;
    }
}

// ---- programs and banks ----

void CPluginEditor::selectProgram(int n) {
    CBankList& banks = renderer->banks();
    if (n < 0 || n >= banks.fileCount()) return;
    if (!renderer->selectBankProgram(n)) {
        if (programMenuCtrl) programMenuCtrl->setCurrent(banks.currentFile());
        return;
    }
    // The window shows the new program whole, as after Load Program: the
    // envelope menus included.
    redrawAll();
    fillBankAndProgramMenus();
}

void CPluginEditor::fillBankAndProgramMenus() {
    if (!bankMenuCtrl || !programMenuCtrl) return;
    CBankList& banks = renderer->banks();
    bankMenuCtrl->removeAllEntry();
    programMenuCtrl->removeAllEntry();
    for (int i = 0; i < CBankList::kMaxListEntries; ++i) {
        const char* name = banks.folderName(i);
        if (!name) break;
        bankMenuCtrl->addEntry(name);
    }
    char name[CBankList::kListEntryCapacity];
    for (int i = 0; i < CBankList::kMaxListEntries; ++i) {
        if (!banks.fileName(i, name, sizeof name)) break;
        programMenuCtrl->addEntry(name);
    }
    bankMenuCtrl->setCurrent(banks.currentFolder());
    programMenuCtrl->setCurrent(banks.currentFile());
}

// ---- the program browser ----

void CPluginEditor::openBrowser() {
    CFrame* frame = getFrame();
    if (!frame || isDialogOpen() || !renderer->settings()) return;
    if (!browser) {
        browser = new CBrowserView(CRect(0, 0, kWidth, kHeight), *renderer->settings(), *this);
        frame->addView(browser);
        raiseShade();
    }
    const CProgram& p = renderer->program();
    browser->open(p.bankName, p.name);
}

void CPluginEditor::browserLoad(const CatalogEntry& entry) {
    if (isDialogOpen()) return;
    if (!renderer->loadProgramFile(entry.path.c_str(), entry.bank.c_str())) return;
    redrawAll();
    fillBankAndProgramMenus();
}

void CPluginEditor::browserClosed() {
    if (browser) browser->setVisible(false);
}

// ---- sound quality ----

void CPluginEditor::chooseQuality(int32_t quality) {
    // Every voice stops: they cannot go on at another rate.
    renderer->setQuality(quality);
    CPluginFile* settings = renderer->settings();
    if (settings && !settings->storeQualitySetting(quality))
        settings->showError("The quality setting could not be saved: it holds for this "
                            "window's instance only");
    if (qualityMenuCtrl) qualityMenuCtrl->setCurrent(qualityEntry());
}

int CPluginEditor::qualityEntry() const {
    return renderer->quality() == CPluginFile::kHighQuality ? kHighQualityEntry : 0;
}

// ---- listener ----

void CPluginEditor::valueChanged(CControl* control) {
    // Only the pop-up menus report choices (the splash control's clicks are its own).
    if (!control || control->getTag() != kMenuTag || isDialogOpen()) return;
    menuChosen(control);
    // A menu's command is one step (one that opens a dialog: when it is answered).
    if (!isDialogOpen()) recordStep(true);
}

void CPluginEditor::menuChosen(CControl* control) {
    auto* m = static_cast<COptionMenu*>(control);
    const int index = m->getCurrent();
    if (control == bankMenuCtrl) {
        // The chosen bank's current program plays, so that the name shown,
        // the sound and the list that Previous and Next walk agree.
        CBankList& banks = renderer->banks();
        banks.selectFolder(index);
        selectProgram(banks.currentFile());
        fillBankAndProgramMenus();
        return;
    }
    if (control == programMenuCtrl) {
        selectProgram(index);
        return;
    }
    if (control == qualityMenuCtrl) {
        chooseQuality(index == kHighQualityEntry ? CPluginFile::kHighQuality
                                                 : CPluginFile::kPlainQuality);
        return;
    }
    if (!commands) return;
    const std::pair<COptionMenu*, EditorMenu> menus[] = {
        {spectrumMenu, EditorMenu::Spectrum},     {targetMenu, EditorMenu::Target},
        {controllerMenu, EditorMenu::Controller}, {routingMenu, EditorMenu::Routing},
        {patternMenus[0], EditorMenu::PatternA},  {patternMenus[1], EditorMenu::PatternB}};
    for (const auto& [menu, kind] : menus)
        if (menu == control) commands->menuChosen(*this, kind, index);
}

void CPluginEditor::controlBeginEdit(CControl* control) {
    if (control) renderer->beginEdit(int32_t(control->getTag()));
}

void CPluginEditor::controlEndEdit(CControl* control) {
    if (control) renderer->endEdit(int32_t(control->getTag()));
    // A drag from press to release, or a click, is one step.
    if (!isDialogOpen()) recordStep(true);
}

// ---- undo and redo ----

void CPluginEditor::recordStep(bool byWindow) {
    if (!renderer || !getFrame()) return;
    std::lock_guard<std::recursive_mutex> lock(renderer->editLock());
    const uint32_t loads = renderer->programLoads();
    const bool loaded = loads != knownLoads;
    knownLoads = loads;
    if (!editHistory.started() || (loaded && !byWindow)) {
        editHistory.reset(renderer->program());
    } else {
        // The host parameters the window did not set changed by the host's
        // automation, unless the window loaded a program, which sets them all.
        static_assert(kHostParameterCount <= 64, "one bit per host parameter");
        const std::uint64_t hostValues = (std::uint64_t{1} << kHostParameterCount) - 1;
        editHistory.record(renderer->program(), loaded ? 0 : hostValues & ~windowValues);
    }
    windowValues = 0;
    showHistoryKeys();
}

void CPluginEditor::showHistoryKeys() {
    const std::array<bool, 2> now{editHistory.canUndo(), editHistory.canRedo()};
    if (now == historyShown) return;
    historyShown = now;
    for (CView* v : historyKeys)
        dirty(v);
}

bool CPluginEditor::undo() {
    return moveInHistory(true);
}

bool CPluginEditor::redo() {
    return moveInHistory(false);
}

bool CPluginEditor::moveInHistory(bool back) {
    if (!renderer || !getFrame() || isDialogOpen()) return false;
    // What the window changed since its last step is a step of its own first.
    recordStep(false);
    const CProgram* target = nullptr;
    {
        std::lock_guard<std::recursive_mutex> lock(renderer->editLock());
        target =
            back ? editHistory.undo(renderer->program()) : editHistory.redo(renderer->program());
    }
    if (!target) return false;
    renderer->restoreProgram(*target);
    {
        std::lock_guard<std::recursive_mutex> lock(renderer->editLock());
        editHistory.settle(renderer->program());
        knownLoads = renderer->programLoads();
        windowValues = 0;
    }
    showHistoryKeys();
    redrawAll();
    fillBankAndProgramMenus();
    return true;
}

bool CPluginEditor::keyTyped(long key, long modifiers) {
    if (!(modifiers & kControl)) return false;
    // Control turns the letters into control characters on some systems.
    const long letter = key >= 1 && key <= 26 ? 'a' + key - 1 : std::tolower(int(key));
    if (letter == 'z') return (modifiers & kShift) ? redo() : undo();
    if (letter == 'y') return redo();
    return false;
}

// ---- the envelope editor and dropped files ----

void CPluginEditor::envelopeEdited() {
    dirty(pointDisplay);
    CProgramEdit edit(*renderer);
    edit.touchEnvelope(edit.program().selectedEnvelope);
}

std::recursive_mutex* CPluginEditor::recordLock() {
    return renderer ? &renderer->editLock() : nullptr;
}

void CPluginEditor::filesDropped(const std::vector<std::string>& paths, const CPoint& where) {
    if (!commands || isDialogOpen()) return;
    for (const std::string& path : paths) {
        commands->fileDropped(*this, path.c_str(), where);
        // Each file loaded is a step.
        recordStep(true);
    }
}
