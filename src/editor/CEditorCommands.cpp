#include "editor/CEditorCommands.h"

#include "base/ValueIds.h"
#include "editor/CFileCommands.h"
#include "editor/CPluginEditor.h"
#include "editor/EditorLayout.h"
#include "editor/EditorMenus.h"
#include "engine/CProgramEdit.h"
#include "engine/IEditorEngine.h"
#include "gui/CControl.h"
#include "gui/CFrame.h"
#include "gui/CPoint.h"
#include "gui/CRect.h"
#include "patch/CPluginFile.h"
#include "patch/CProgram.h"
#include "platform/IPlatform.h"
#include "voice/CEnvelope.h"

#include <cctype>
#include <cstring>
#include <functional>
#include <mutex>
#include <string>
#include <utility>

using namespace editormenus;
using namespace editorlayout;

// Every edit of the program's records in place holds the renderer's edit lock,
// so that a host taking the program's chunk on another thread meanwhile never
// saves half of an edit. A file dialog or message is never shown under it.
//
// A command that asks first (a file dialog, the question before clearing a
// sample) opens its dialog and returns; the window waits for the answer from
// its idle calls and only then carries the command out.

namespace {

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
int slotUnder(CPluginEditor& editor, const qgui::CPoint& where) {
    qgui::CFrame* frame = editor.getFrame();
    auto* field = frame ? dynamic_cast<qgui::CControl*>(frame->getViewAt(where)) : nullptr;
    if (!field) return -1;
    const long slot = field->getTag() - kSamplePathLeafFirstId;
    return slot >= 0 && slot < kSampleSlotCount ? int(slot) : -1;
}

// The sequencer whose strip lies under where; -1 for none.
int sequencerUnder(const qgui::CPoint& where) {
    for (int n = 0; n < kSequencerCount; ++n) {
        const int left = kSequencers[n].x0 - kSequencerStripLeftMargin;
        if (qgui::CRect(left, kSequencerStripTop, left + kSequencerStripWidth,
                        kSequencerStripBottom)
                .pointInside(where))
            return n;
    }
    return -1;
}

using FileAction = std::function<void(CPluginEditor&, CFileCommands&, const char* path)>;

// Opens the dialog; once the user has chosen a file, act runs on it. A
// cancelled dialog does nothing and says nothing.
void withChosenFile(CPluginEditor& editor, const CFileCommands::Dialog& dialog, FileAction act) {
    IEditorEngine& renderer = *editor.getRenderer();
    CFileCommands files(renderer, *renderer.settings(), editor.dialogOwner());
    editor.waitForDialog(files.openDialog(dialog),
                         [&editor, act = std::move(act)](const IPendingDialog& answer) {
                             IEditorEngine* r = editor.getRenderer();
                             if (!answer.confirmed() || !r || !r->settings()) return;
                             CFileCommands chosen(*r, *r->settings(), nullptr);
                             act(editor, chosen, answer.chosenPath().c_str());
                         });
}

// Clears the slot once the user has answered Yes to the question.
void clearSampleAsked(CPluginEditor& editor, int slot) {
    IEditorEngine& renderer = *editor.getRenderer();
    CFileCommands files(renderer, *renderer.settings(), nullptr);
    if (!files.canClearSample(slot)) return;
    editor.waitForDialog(
        renderer.settings()->platform().openQuestion(
            CPluginFile::kCaption, CFileCommands::kClearSampleQuestion, editor.dialogOwner()),
        [&editor, slot](const IPendingDialog& answer) {
            IEditorEngine* r = editor.getRenderer();
            if (!answer.confirmed() || !r || !r->settings()) return;
            CFileCommands(*r, *r->settings(), nullptr).clearSample(slot);
            editor.redrawSamplerMatrix();
        });
}

} // namespace

void CEditorCommands::runCommand(CPluginEditor& editor, long tag) {
    IEditorEngine* renderer = editor.getRenderer();
    if (!renderer || !renderer->settings()) return;
    if (tag == kLoadProgramTag) {
        withChosenFile(editor, CFileCommands::kLoadProgram,
                       [](CPluginEditor& e, CFileCommands& files, const char* path) {
                           if (files.loadProgram(path)) programLoaded(e);
                       });
    } else if (tag == kSaveProgramTag) {
        withChosenFile(editor, CFileCommands::kSaveProgram,
                       [](CPluginEditor& e, CFileCommands& files, const char* path) {
                           if (files.saveProgram(path)) e.fillBankAndProgramMenus();
                       });
    } else if (tag == kLoadTuningTag) {
        withChosenFile(editor, CFileCommands::kLoadTuning,
                       [](CPluginEditor& e, CFileCommands& files, const char* path) {
                           if (files.loadTuning(path)) e.redrawTag(kLoadTuningTag);
                       });
    } else if (tag >= kLoadSampleFirstTag && tag < kLoadSampleFirstTag + kSampleSlotCount) {
        const int slot = int(tag - kLoadSampleFirstTag);
        withChosenFile(editor, CFileCommands::kLoadSample,
                       [slot](CPluginEditor& e, CFileCommands& files, const char* path) {
                           files.loadSample(slot, path);
                           e.redrawSamplerMatrix();
                       });
    } else if (tag >= kClearSampleFirstTag && tag < kClearSampleFirstTag + kSampleSlotCount) {
        clearSampleAsked(editor, int(tag - kClearSampleFirstTag));
    }
    // The editor redraws the sampler matrix after the sample commands, done or not.
}

void CEditorCommands::menuChosen(CPluginEditor& editor, EditorMenu menu, int index) {
    IEditorEngine* renderer = editor.getRenderer();
    if (!renderer || !renderer->settings() || index < 0) return;
    switch (menu) {
    case EditorMenu::Target:
        targetChosen(editor, index);
        break;
    case EditorMenu::Controller:
        controllerChosen(editor, index);
        break;
    case EditorMenu::Spectrum:
        spectrumCommand(editor, index);
        break;
    case EditorMenu::Routing:
        envelopeCommand(editor, index);
        break;
    case EditorMenu::PatternA:
        patternCommand(editor, 0, index);
        break;
    case EditorMenu::PatternB:
        patternCommand(editor, 1, index);
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

void CEditorCommands::spectrumCommand(CPluginEditor& editor, int index) {
    switch (index) {
    case kImportSpectrum:
        // The file command rebuilds the wave itself once the spectrum is in.
        withChosenFile(editor, CFileCommands::kImportWave,
                       [](CPluginEditor& e, CFileCommands& files, const char* path) {
                           if (files.importSpectrum(path)) e.redrawSpectrum();
                       });
        return;
    case kExportSpectrum:
        withChosenFile(editor, CFileCommands::kExportWave,
                       [](CPluginEditor&, CFileCommands& files, const char* path) {
                           files.exportSpectrum(path);
                       });
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

void CEditorCommands::patternCommand(CPluginEditor& editor, int sequencer, int index) {
    switch (index) {
    case kLoadPattern:
        withChosenFile(editor, CFileCommands::kLoadPattern,
                       [sequencer](CPluginEditor& e, CFileCommands& files, const char* path) {
                           if (files.loadPattern(sequencer, path)) e.redrawSequencer(sequencer);
                       });
        return;
    case kSavePattern:
        withChosenFile(editor, CFileCommands::kSavePattern,
                       [sequencer](CPluginEditor&, CFileCommands& files, const char* path) {
                           files.savePattern(sequencer, path);
                       });
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

void CEditorCommands::envelopeCommand(CPluginEditor& editor, int index) {
    switch (index) {
    case kLoadEnvelope:
        // The file command tells the renderer itself once the envelope is in.
        withChosenFile(editor, CFileCommands::kLoadEnvelope,
                       [](CPluginEditor& e, CFileCommands& files, const char* path) {
                           if (files.loadEnvelope(path)) e.redrawEnvelopeSection();
                       });
        return;
    case kSaveEnvelope:
        withChosenFile(editor, CFileCommands::kSaveEnvelope,
                       [](CPluginEditor&, CFileCommands& files, const char* path) {
                           files.saveEnvelope(path);
                       });
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
                                  const qgui::CPoint& where) {
    IEditorEngine* renderer = editor.getRenderer();
    if (!path || !renderer || !renderer->settings()) return;
    CFileCommands files(*renderer, *renderer->settings(), nullptr);
    const std::string kind = extensionOf(path);
    if (kind == "qxlprg") {
        if (files.loadProgram(path)) programLoaded(editor);
    } else if (kind == "wav" || kind == "aif" || kind == "aiff") {
        const int slot = editor.getLayout() == 1 ? slotUnder(editor, where) : -1;
        if (slot >= 0 && files.loadSample(slot, path)) editor.redrawSamplerMatrix();
    } else if (kind == "tun" || kind == "scl" || kind == "kbm") {
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
