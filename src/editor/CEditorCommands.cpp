#include "editor/CEditorCommands.h"

#include "base/ValueIds.h"
#include "editor/CFileCommands.h"
#include "editor/CPluginEditor.h"
#include "editor/EditorLayout.h"
#include "editor/EditorMenus.h"
#include "engine/CProgramEdit.h"
#include "engine/CSoundRenderer.h"
#include "gui/CControl.h"
#include "gui/CFrame.h"
#include "gui/CPoint.h"
#include "gui/CRect.h"
#include "patch/CProgram.h"
#include "voice/CEnvelope.h"

#include <cctype>
#include <cstring>
#include <mutex>
#include <string>

using namespace editormenus;
using namespace editorlayout;

// Every edit of the program's records in place holds the renderer's edit lock,
// so that a host taking the program's chunk on another thread meanwhile never
// saves half of an edit. A file dialog or message is never shown under it.

namespace {

constexpr long kLoadProgramTag = 454;
constexpr long kSaveProgramTag = 455;
constexpr long kLoadTuningTag = kTuningNameId;
constexpr long kLoadSampleFirstTag = kSamplePathLeafFirstId; // 330..337
constexpr long kClearSampleFirstTag = 338;                   // 338..345

// The file's extension in lower case, without the dot ("" when it has none).
std::string extensionOf(const char* path) {
    const char* dot = std::strrchr(path, '.');
    if (!dot || std::strpbrk(dot, "/\\")) return {};
    std::string e(dot + 1);
    for (char& c : e)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    return e;
}

// The sampler slot whose name field lies under where; -1 for none. The field
// is asked for through the window's own views, so it is wherever the sampler
// layout put it.
int slotUnder(CPluginEditor& editor, const VSTGUI::CPoint& where) {
    VSTGUI::CFrame* frame = editor.getFrame();
    auto* field = frame ? dynamic_cast<VSTGUI::CControl*>(frame->getViewAt(where)) : nullptr;
    if (!field) return -1;
    const long slot = field->getTag() - kSamplePathLeafFirstId;
    return slot >= 0 && slot < kSampleSlotCount ? int(slot) : -1;
}

// The sequencer whose strip lies under where; -1 for none.
int sequencerUnder(const VSTGUI::CPoint& where) {
    for (int n = 0; n < kSequencerCount; ++n) {
        const int left = kSequencers[n].x0 - kSequencerStripLeftMargin;
        if (VSTGUI::CRect(left, kSequencerStripTop, left + kSequencerStripWidth,
                          kSequencerStripBottom)
                .pointInside(where))
            return n;
    }
    return -1;
}

} // namespace

void CEditorCommands::runCommand(CPluginEditor& editor, long tag) {
    CSoundRenderer* renderer = editor.getRenderer();
    if (!renderer || !renderer->settings()) return;
    CFileCommands files(*renderer, *renderer->settings(), editor.getSystemWindow());
    if (tag == kLoadProgramTag) {
        if (files.loadProgram(nullptr)) programLoaded(editor);
    } else if (tag == kSaveProgramTag) {
        if (files.saveProgram()) editor.fillBankAndProgramMenus();
    } else if (tag == kLoadTuningTag) {
        if (files.loadTuning(nullptr)) editor.redrawTag(kLoadTuningTag);
    } else if (tag >= kLoadSampleFirstTag && tag < kLoadSampleFirstTag + kSampleSlotCount) {
        files.loadSample(int(tag - kLoadSampleFirstTag), nullptr);
    } else if (tag >= kClearSampleFirstTag && tag < kClearSampleFirstTag + kSampleSlotCount) {
        files.clearSample(int(tag - kClearSampleFirstTag));
    }
    // The editor redraws the sampler matrix after the sample commands, done or not.
}

void CEditorCommands::menuChosen(CPluginEditor& editor, EditorMenu menu, int index) {
    CSoundRenderer* renderer = editor.getRenderer();
    if (!renderer || !renderer->settings() || index < 0) return;
    CFileCommands files(*renderer, *renderer->settings(), editor.getSystemWindow());
    switch (menu) {
    case EditorMenu::Target:
        targetChosen(editor, index);
        break;
    case EditorMenu::Controller:
        controllerChosen(editor, index);
        break;
    case EditorMenu::Spectrum:
        spectrumCommand(editor, files, index);
        break;
    case EditorMenu::Routing:
        envelopeCommand(editor, files, index);
        break;
    case EditorMenu::PatternA:
        patternCommand(editor, files, 0, index);
        break;
    case EditorMenu::PatternB:
        patternCommand(editor, files, 1, index);
        break;
    }
}

void CEditorCommands::targetChosen(CPluginEditor& editor, int index) {
    if (index >= kTargetKindCount) return;
    {
        CProgramEdit edit(*editor.getRenderer());
        CEnvelope& e = edit.program().currentEnvelope();
        e.targetKind = index;
        // Depths a kind cannot reach are brought into its range.
        e.clampDepths();
        edit.touchEnvelope(edit.program().selectedEnvelope);
    }
    editor.redrawRouting();
}

void CEditorCommands::controllerChosen(CPluginEditor& editor, int index) {
    if (index > kControllerCount) return;
    CProgramEdit edit(*editor.getRenderer());
    edit.program().currentEnvelope().controller =
        index == kNoControllerEntry ? kNoController : index - 1;
    edit.touchEnvelope(edit.program().selectedEnvelope);
}

void CEditorCommands::spectrumCommand(CPluginEditor& editor, CFileCommands& files, int index) {
    switch (index) {
    case kImportSpectrum:
        // The file command rebuilds the wave itself once the spectrum is in.
        if (files.importSpectrum(nullptr)) editor.redrawSpectrum();
        return;
    case kExportSpectrum:
        files.exportSpectrum();
        return;
    default:
        break;
    }
    {
        CProgramEdit edit(*editor.getRenderer());
        CProgram& program = edit.program();
        switch (index) {
        case kCopySpectrum:
            program.copySpectrum();
            return;
        case kPasteSpectrum:
            program.pasteSpectrum();
            break;
        case kResetSpectrum:
            program.resetSpectrum();
            break;
        default:
            return;
        }
        edit.touchWave(program.selectedOperator);
    }
    editor.redrawSpectrum();
}

void CEditorCommands::patternCommand(CPluginEditor& editor, CFileCommands& files, int sequencer,
                                     int index) {
    switch (index) {
    case kLoadPattern:
        if (files.loadPattern(sequencer, nullptr)) editor.redrawSequencer(sequencer);
        return;
    case kSavePattern:
        files.savePattern(sequencer);
        return;
    default:
        break;
    }
    {
        CProgramEdit edit(*editor.getRenderer());
        CProgram& program = edit.program();
        switch (index) {
        case kClearPattern:
            program.clearPattern(sequencer);
            break;
        case kShiftLeft:
            program.rotateSteps(sequencer, 1);
            break;
        case kShiftRight:
            program.rotateSteps(sequencer, -1);
            break;
        case kReverse:
            program.reverseSteps(sequencer);
            break;
        default:
            return;
        }
        edit.touchPattern(sequencer);
    }
    editor.redrawSequencer(sequencer);
}

void CEditorCommands::envelopeCommand(CPluginEditor& editor, CFileCommands& files, int index) {
    switch (index) {
    case kLoadEnvelope:
        // The file command tells the renderer itself once the envelope is in.
        if (files.loadEnvelope(nullptr)) editor.redrawEnvelopeSection();
        return;
    case kSaveEnvelope:
        files.saveEnvelope();
        return;
    default:
        break;
    }
    {
        CProgramEdit edit(*editor.getRenderer());
        CProgram& program = edit.program();
        switch (index) {
        case kAddEnvelope:
            program.addEnvelope();
            break;
        case kDeleteEnvelope:
            program.deleteEnvelope();
            break;
        case kMoveUp:
            program.moveEnvelope(-1);
            break;
        case kMoveDown:
            program.moveEnvelope(1);
            break;
        case kCopyView:
            program.copyCurve();
            return;
        case kPasteView:
            program.pasteCurve();
            break;
        // The shown curve starts again; the envelope keeps its target and depths.
        case kResetView:
            program.currentCurve().reset(false);
            break;
        case kCloneEnvelope:
            program.cloneEnvelope();
            break;
        default:
            return;
        }
        edit.restructure();
    }
    editor.redrawEnvelopeSection();
}

void CEditorCommands::fileDropped(CPluginEditor& editor, const char* path,
                                  const VSTGUI::CPoint& where) {
    CSoundRenderer* renderer = editor.getRenderer();
    if (!path || !renderer || !renderer->settings()) return;
    CFileCommands files(*renderer, *renderer->settings(), editor.getSystemWindow());
    const std::string kind = extensionOf(path);
    if (kind == "qxlprg") {
        if (files.loadProgram(path)) programLoaded(editor);
    } else if (kind == "wav" || kind == "aif" || kind == "aiff") {
        const int slot = editor.getLayout() == 1 ? slotUnder(editor, where) : -1;
        if (slot >= 0 && files.loadSample(slot, path)) editor.redrawSamplerMatrix();
    } else if (kind == "tun") {
        if (files.loadTuning(path)) editor.redrawTag(kLoadTuningTag);
    } else if (kind == "qxlenv") {
        if (files.loadEnvelope(path)) editor.redrawEnvelopeSection();
    } else if (kind == "qxlseq") {
        const int n = sequencerUnder(where);
        if (n >= 0 && files.loadPattern(n, path)) editor.redrawSequencer(n);
    } else if (kind == "qxlwav") {
        if (files.importSpectrum(path)) editor.redrawSpectrum();
    }
}

void CEditorCommands::programLoaded(CPluginEditor& editor) {
    editor.redrawAll();
    editor.fillBankAndProgramMenus();
}
