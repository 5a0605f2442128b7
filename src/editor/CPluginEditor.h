#pragma once
// The plug-in's editor window: one 970 x 600 screen of fixed sections that
// the host opens inside its own window. The editor reads and changes the
// program only through the engine's edit interface (IEditorEngine), by value
// ID or in an edit transaction (CProgramEdit); its controls keep no values and
// ask it (IEditorBinding) whenever they draw or change.
//
// Threads: the window belongs to the thread that opened it. setParameter
// may come from any thread and only notes which value changed; the window's
// next idle redraws the controls that show it. idle from another thread does
// nothing. close from another thread (or from inside the window's own event
// handling, as when a host closes the editor while it hears of an edit) asks
// the window to go, which ends a press in progress with its end-edit, and
// leaves the frame to be deleted by the window's thread once nothing runs in
// it.

#include "editor/CBrowserView.h"
#include "editor/CEditHistory.h"
#include "editor/CEditorDialog.h"
#include "editor/CEnvelopeCtrl.h"
#include "editor/EditorLayout.h"
#include "editor/IEditorBinding.h"
#include "editor/IEditorCommands.h"
#include "engine/IEditorEngine.h"
#include "gui/CControlListener.h"
#include "gui/CFrame.h"
#include "patch/CProgram.h"
#include "vst/AEffGUIEditor.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class CDialogShade;
class CHelpLine;
class CMenuCtrl;
class CNumberCtrl;

namespace qgui {
class CBitmap;
class CControl;
class COptionMenu;
class CTextField;
class CView;
class IPlatformWindow;
} // namespace qgui

class CPluginEditor : public AEffGUIEditor,
                      public qgui::CControlListener,
                      public IEditorBinding,
                      public IEnvelopeCtrlOwner,
                      public qgui::IFileDropTarget,
                      public IBrowserOwner,
                      public qgui::IKeyTarget {
public:
    static constexpr int kWidth = editorlayout::kWindowWidth;
    static constexpr int kHeight = editorlayout::kWindowHeight;
    static constexpr int kMatrixEntries = 300;
    static constexpr int kSamplerEntriesFirst = 200;
    static constexpr long kLayoutTag = editortags::kLayoutTag;

    // renderer: the instance's engine (not owned; the sound renderer is one);
    // commands: the dialogs and menu commands (not owned; null: the editor's
    // own, on the platform of the engine's settings).
    CPluginEditor(AudioEffectX* effect, IEditorEngine* renderer,
                  IEditorCommands* commands = nullptr);
    ~CPluginEditor() override;

    // ---- the host's calls ----
    // The window's size at the scale it will open with (chosen at the first ask).
    bool getRect(ERect** rect) override;
    // parent: the host's window (the X11 window id, or an HWND). False, with
    // nothing left open, when a bitmap, the font or the window cannot be had.
    bool open(void* parent) override;
    void close() override;
    bool isOpen() const override { return frameObject.load() != nullptr; }
    void idle() override;
    // Any thread: the host moved a parameter; the controls showing it
    // redraw at the next idle.
    void setParameter(VstInt32 index, float value) override;

    // Opens on a given platform window (tests: a headless one) at a given scale.
    bool openWith(void* parent, std::unique_ptr<qgui::IPlatformWindow> window, qgui::CScale scale);

    // ---- value binding (IEditorBinding) ----
    double getTagValue(long tag) override;
    virtual void setTagValue(long tag, double value);
    bool getTagText(long tag, char* text, std::size_t capacity) override;
    double* spectrum(bool phases) override;
    void spectrumChanged() override;
    float waveSample(double phase) override;
    // Opens a text field over the pressed control showing its value.
    void typeValue(long tag) override;
    // The value typed for the control with this tag, in the units its text
    // shows ("440", "-12", "0.35"), as one edit; clamped to the control's
    // range. False, with nothing changed, when it is no number or the
    // control shows no number.
    bool applyTypedValue(long tag, const char* typed);
    // The selected envelope point's level, curve and delta typed as the
    // point display shows them ("Lev 0.50 Crv 0.50 Dlt 1.00"), or the
    // numbers alone, as one edit; each clamped as a drag would.
    bool applyTypedPoint(const char* typed);
    // The open text field, or null.
    qgui::CTextField* typingField() const { return textField; }

    // ---- programs and banks ----
    // Loads program n of the current bank; numbers outside the bank are ignored.
    void selectProgram(int n);
    void fillBankAndProgramMenus();

    // ---- sound quality ----
    // The quality menu's entries, in the order of its positions.
    static constexpr const char* kQualityEntries[] = {"Quality: 1x", "Quality: 2x"};
    static constexpr int kHighQualityEntry = 1;
    // Applies a quality (CPluginFile::kPlainQuality or kHighQuality) to this
    // instance and keeps it for the instances to come; says so when it cannot
    // be kept.
    void chooseQuality(int32_t quality);
    // The menu position of the instance's quality.
    int qualityEntry() const;

    // ---- CControlListener: the pop-up menus and edit gestures ----
    void valueChanged(qgui::CControl* control) override;
    long controlModifierClicked(qgui::CControl*, long) override { return 0; }
    void controlBeginEdit(qgui::CControl* control) override;
    void controlEndEdit(qgui::CControl* control) override;

    // ---- the envelope editor and dropped files ----
    // The shown envelope record was edited in place: the point display shows
    // the new values and the sound takes the record.
    void envelopeEdited() override;
    // The engine's edit lock: a chunk taken meanwhile holds the record before or after.
    std::recursive_mutex* recordLock() override;
    // Each file goes to the commands, which act by its kind and by what lies
    // under the pointer.
    void filesDropped(const std::vector<std::string>& paths, const qgui::CPoint& where) override;

    // ---- the program browser ----
    // Opens the browser over the window, the current program selected.
    void openBrowser();
    // Loads the program as Load Program does; the browser stays open, so that
    // the next one is a key away.
    void browserLoad(const CatalogEntry& entry) override;
    void browserClosed() override;
    // Null until the browser was first opened in this window.
    CBrowserView* browserView() const { return browser; }
    // ---- the help line ----
    // "Name value" of the control with this tag, in the value's own units
    // ("Chorus: Time 0.35"); empty for controls that show no value.
    std::string readout(long tag);
    const CHelpLine* getHelpLine() const { return helpLine; }

    // ---- undo and redo ----
    // Goes back over the newest step of the window's history, or forward
    // over the newest one undone, and shows the program as it is then; false
    // when there is none or a dialog waits for an answer.
    bool undo();
    bool redo();
    const CEditHistory& history() const { return editHistory; }
    // Ctrl+Z undoes; Ctrl+Shift+Z and Ctrl+Y redo.
    bool keyTyped(long key, long modifiers) override;

    // ---- dialogs ----
    // Waits for a dialog without holding up the host: until the user has
    // answered, the window shows that a dialog is open and takes no input;
    // then `then` runs (at once for a dialog answered already). False while
    // another dialog is open.
    bool waitForDialog(std::unique_ptr<IPendingDialog> dialog, CEditorDialog::Answer then);
    // A dialog of the window's, or an error box above it, waits for an answer.
    bool isDialogOpen() const { return dialog.isOpen() || messageShown; }
    // The window the dialogs stay above: the host's top-level window, asked
    // of the window system again at each call (the commands call it when they
    // open a dialog; hosts may move their window into another meanwhile).
    void* dialogOwner();

    // ---- what tests and the commands reach ----
    qgui::CFrame* getFrame() const { return frameObject.load(); }
    IEditorEngine* getRenderer() const { return renderer; }
    int getLayout() const { return layout; }
    qgui::CScale getScale() const { return scale; }
    qgui::CBitmap* bitmap(int id) const;
    qgui::CView* matrixEntry(int i) const { return matrix[std::size_t(i)]; }
    qgui::COptionMenu* bankMenu() const { return bankMenuCtrl; }
    qgui::COptionMenu* qualityMenu() const { return qualityMenuCtrl; }
    CMenuCtrl* programMenu() const { return programMenuCtrl; }
    // Marks every control of the sampler matrix for redraw (after a sample command).
    void redrawSamplerMatrix();

    // ---- what the commands redraw (nothing while the window is closed) ----
    // The routing cells and the sample-layer column.
    void redrawRouting();
    // The routing list, the envelope editor and its buttons and numbers, the
    // point display and the group selector; the target and controller menus
    // show the selected envelope again.
    void redrawEnvelopeSection();
    // The amplitude and phase editors and the wave view.
    void redrawSpectrum();
    // Sequencer n's six controls and 32 step cells.
    void redrawSequencer(int n);
    // Every control with this tag (the microtuning field after a load).
    void redrawTag(long tag);
    // The whole window, with the envelope menus set from the selected envelope.
    void redrawAll();

private:
    // ---- sections (EditorSections.cpp) ----
    int buildOscillatorMatrix();
    int buildSamplerMatrix();
    int buildOperatorPanel();
    int buildEnvelopeSection();
    int buildRoutingList();
    int buildEffectsSection();
    int buildSequencers();
    void buildTopBar();
    void addSplash();
    // Creates the control or menu a layout table row declares and adds it to the frame.
    qgui::CControl* place(const editorlayout::Placement& p);
    qgui::COptionMenu* menu(const editorlayout::Placement& p);

    // ---- behaviour ----
    void toggleMatrixLayout();
    void convertDelayTimes(bool syncOn);
    void removeMatrixEntries(int first, int last);
    void markRouting();
    void showEnvelopeMenus();
    void dirty(qgui::CView* view);
    bool loadBitmaps();
    void releaseBitmaps();
    void clearRegistries();
    void idleFrame();
    // Acts on a dialog's answer, moves the error boxes on and shows or hides
    // the dialog-open state.
    void pollDialogs();
    // The dialog-open state lies above every other view.
    void raiseShade();
    // Marks dirty the controls of the values the host changed since the last idle.
    void redrawHostChanges(qgui::CFrame& frame);
    bool onWindowThread() const { return std::this_thread::get_id() == windowThread.load(); }
    // The window's thread, outside idle: deletes the frames closed while in use.
    void deleteRetiredFrames();

    // Ends a step of the history with what changed since the last one.
    // byWindow: the window just acted (a program it loaded is one of its
    // steps); otherwise a program loaded meanwhile came from the host, and
    // the history starts again from it.
    void recordStep(bool byWindow);
    bool moveInHistory(bool back);
    // The undo and redo keys redraw when what they can do changes.
    void showHistoryKeys();
    void buildHelpLine();
    // The help line shows the dragged or hovered control's name and value.
    void showReadout(qgui::CFrame& frame);
    // What a pop-up menu's choice does.
    void menuChosen(qgui::CControl* control);

    IEditorEngine* renderer;
    CEditHistory editHistory;
    uint32_t knownLoads = 0;        // the engine's program loads the history has seen
    std::uint64_t windowValues = 0; // host parameters the window set since the last step
    // The spectrum half the bar control last asked for, as it shows it.
    double shownSpectrum[kHarmonicCount] = {};
    bool spectrumPhasesShown = false;
    // The commands the window runs: the caller's, else its own.
    std::unique_ptr<IEditorCommands> ownCommands;
    IEditorCommands* commands;
    std::atomic<qgui::CFrame*> frameObject{nullptr};
    std::atomic<std::thread::id> windowThread{};
    int idleDepth = 0; // idle calls running (the window's thread)
    // The host parameters changed since the window's last idle, one bit each;
    // a change of any other value redraws the whole window.
    std::atomic<std::uint64_t> hostChanges{0};
    std::atomic<bool> otherHostChange{false};
    std::mutex retiredLock;
    std::vector<qgui::CFrame*> retired; // closed while in use, deleted by the window's thread
    qgui::CScale scale;
    bool scaleChosen = false; // at the first getRect or open
    unsigned char layout = 0;

    std::array<std::unique_ptr<qgui::CBitmap>, editorbitmaps::kLastId - editorbitmaps::kFirstId + 1>
        bitmaps;

    // Registries of the controls redrawn or reached together.
    std::array<qgui::CView*, kMatrixEntries> matrix{};
    std::array<qgui::CView*, 88> routingCells{};
    std::array<qgui::CView*, 8> sampleCells{};
    std::array<qgui::CView*, 3> delayTimes{};
    CBrowserView* browser = nullptr;
    qgui::COptionMenu* routingMenu = nullptr;
    qgui::CView* envelopeView = nullptr;
    std::array<qgui::CView*, 7> envelopeControls{};
    qgui::CView* pointDisplay = nullptr;
    qgui::CView* groupSelector = nullptr;
    std::array<qgui::CView*, 6> operatorControls{};
    qgui::CView* amplitudeBars = nullptr;
    qgui::CView* phaseBars = nullptr;
    qgui::CView* waveView = nullptr;
    std::array<std::array<qgui::CView*, 6>, 2> sequencerControls{};
    std::array<std::array<qgui::CView*, 32>, 2> stepCells{};
    std::array<qgui::COptionMenu*, 2> patternMenus{};
    qgui::COptionMenu* targetMenu = nullptr;
    qgui::COptionMenu* controllerMenu = nullptr;
    qgui::COptionMenu* spectrumMenu = nullptr;
    qgui::COptionMenu* bankMenuCtrl = nullptr;
    qgui::COptionMenu* qualityMenuCtrl = nullptr;
    CMenuCtrl* programMenuCtrl = nullptr;
    qgui::CView* tuningNumber = nullptr;
    std::array<qgui::CView*, 2> historyKeys{}; // undo, redo
    std::array<bool, 2> historyShown{};        // whether each showed a step to go over
    CHelpLine* helpLine = nullptr;
    // The text field a value is typed in, and its tag; what it was closed
    // with waits for the end of the event that closed it.
    qgui::CTextField* textField = nullptr;
    long typedTag = 0;
    bool typingDone = false;
    bool openingPress = false; // the press that opened the field is still held
    bool typedCancelled = false;
    std::string typedText;
    void finishTyping();

    CEditorDialog dialog;
    CDialogShade* shade = nullptr;
    bool messageShown = false;   // an error box lies above this window
    void* ownerWindow = nullptr; // the last answer of dialogOwner (null: not asked yet)

    char shownProgramName[100] = {};
    char shownTuningText[100] = {};
};
