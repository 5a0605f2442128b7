#pragma once
// The plug-in's editor window: one 970 x 600 screen of fixed sections that
// the host opens inside its own window. The editor reads and changes the
// program only through the renderer, by value ID; its controls keep no values
// and ask it (IEditorBinding) whenever they draw or change.
//
// Threads: the window belongs to the thread that opened it. setParameter
// may come from any thread and only marks the window dirty; idle from
// another thread does nothing; close from another thread (or from inside the
// window's own event handling, as when a host closes the editor while a
// control drags) asks the window to go and leaves the frame to be deleted by
// the window's thread once nothing runs in it.

#include "editor/CEnvelopeCtrl.h"
#include "editor/IEditorBinding.h"
#include "editor/IEditorCommands.h"
#include "gui/CControlListener.h"
#include "gui/CFrame.h"
#include "patch/CProgram.h"
#include "vst/AEffGUIEditor.h"

#include <array>
#include <atomic>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

class CSoundRenderer;
class CMenuCtrl;
class CNumberCtrl;

namespace VSTGUI {
class CBitmap;
class CControl;
class COptionMenu;
class CView;
class IPlatformWindow;
} // namespace VSTGUI

namespace editorlayout {
struct Placement;
}

class CPluginEditor : public AEffGUIEditor,
                      public VSTGUI::CControlListener,
                      public IEditorBinding,
                      public IEnvelopeCtrlOwner,
                      public VSTGUI::IFileDropTarget {
public:
    static constexpr int kWidth = 970;
    static constexpr int kHeight = 600;
    static constexpr int kMatrixEntries = 300;
    static constexpr int kSamplerEntriesFirst = 200;
    static constexpr long kLayoutTag = 453;

    // renderer: the instance's engine (not owned); commands: the dialogs and
    // menu commands (not owned; null: the editor's own, on the platform of
    // the renderer's settings).
    CPluginEditor(AudioEffectX* effect, CSoundRenderer* renderer,
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
    // Any thread: the host moved a parameter; the window redraws at the next idle.
    void setParameter(VstInt32 index, float value) override;

    // Opens on a given platform window (tests: a headless one) at a given scale.
    bool openWith(void* parent, std::unique_ptr<VSTGUI::IPlatformWindow> window, int scale);

    // ---- value binding (IEditorBinding) ----
    double getTagValue(long tag) override;
    virtual void setTagValue(long tag, double value);
    bool getTagText(long tag, char* text, std::size_t capacity) override;
    double* spectrum(bool phases) override;
    void spectrumChanged() override;
    float waveSample(double phase) override;

    // ---- programs and banks ----
    // Loads program n of the current bank; numbers outside the bank are ignored.
    void selectProgram(int n);
    void fillBankAndProgramMenus();

    // ---- CControlListener: the pop-up menus and edit gestures ----
    void valueChanged(VSTGUI::CControl* control) override;
    long controlModifierClicked(VSTGUI::CControl*, long) override { return 0; }
    void controlBeginEdit(VSTGUI::CControl* control) override;
    void controlEndEdit(VSTGUI::CControl* control) override;

    // ---- the envelope editor and dropped files ----
    // The shown envelope record was edited in place: the point display shows
    // the new values and the sound takes the record.
    void envelopeEdited() override;
    // The renderer's edit lock: a chunk taken meanwhile holds the record before or after.
    std::recursive_mutex* recordLock() override;
    // Each file goes to the commands, which act by its kind and by what lies
    // under the pointer.
    void filesDropped(const std::vector<std::string>& paths, const VSTGUI::CPoint& where) override;

    // ---- what tests and the commands reach ----
    VSTGUI::CFrame* getFrame() const { return frameObject.load(); }
    CSoundRenderer* getRenderer() const { return renderer; }
    int getLayout() const { return layout; }
    int getScale() const { return scale; }
    VSTGUI::CBitmap* bitmap(int id) const;
    VSTGUI::CView* matrixEntry(int i) const { return matrix[std::size_t(i)]; }
    VSTGUI::COptionMenu* bankMenu() const { return bankMenuCtrl; }
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
    // Creates the control a table row describes and adds it to the frame.
    VSTGUI::CControl* place(const editorlayout::Placement& p);
    VSTGUI::CControl* place(const editorlayout::Placement& p, long tag, int x);
    CNumberCtrl* cell(int x, int y, long tag, int bitmap, double reset);
    VSTGUI::COptionMenu* menu(int x, int y, int bitmap, bool white);

    // ---- behaviour ----
    void toggleMatrixLayout();
    void convertDelayTimes(bool syncOn);
    void removeMatrixEntries(int first, int last);
    void markRouting();
    void showEnvelopeMenus();
    void dirty(VSTGUI::CView* view);
    bool loadBitmaps();
    void releaseBitmaps();
    void clearRegistries();
    void idleFrame();
    bool onWindowThread() const { return std::this_thread::get_id() == windowThread.load(); }
    // Waits until no setParameter call from another thread still uses a frame.
    void waitForFrameReaders() const;
    // The window's thread, outside idle: deletes the frames closed while in use.
    void deleteRetiredFrames();

    CSoundRenderer* renderer;
    // The spectrum half the bar control last asked for, as it shows it.
    double shownSpectrum[kHarmonicCount] = {};
    bool spectrumPhasesShown = false;
    // The commands the window runs: the caller's, else its own.
    std::unique_ptr<IEditorCommands> ownCommands;
    IEditorCommands* commands;
    std::atomic<VSTGUI::CFrame*> frameObject{nullptr};
    std::atomic<std::thread::id> windowThread{};
    int idleDepth = 0;                        // idle calls running (the window's thread)
    mutable std::atomic<int> frameReaders{0}; // setParameter calls reading frameObject
    std::mutex retiredLock;
    std::vector<VSTGUI::CFrame*> retired; // closed while in use, deleted by the window's thread
    int scale = 0;                        // 0: not chosen yet
    unsigned char layout = 0;

    std::array<std::unique_ptr<VSTGUI::CBitmap>, 80> bitmaps;

    // Registries of the controls redrawn or reached together.
    std::array<VSTGUI::CView*, kMatrixEntries> matrix{};
    std::array<VSTGUI::CView*, 88> routingCells{};
    std::array<VSTGUI::CView*, 8> sampleCells{};
    std::array<VSTGUI::CView*, 3> delayTimes{};
    VSTGUI::COptionMenu* routingMenu = nullptr;
    VSTGUI::CView* envelopeView = nullptr;
    std::array<VSTGUI::CView*, 7> envelopeControls{};
    VSTGUI::CView* pointDisplay = nullptr;
    VSTGUI::CView* groupSelector = nullptr;
    std::array<VSTGUI::CView*, 6> operatorControls{};
    VSTGUI::CView* amplitudeBars = nullptr;
    VSTGUI::CView* phaseBars = nullptr;
    VSTGUI::CView* waveView = nullptr;
    std::array<std::array<VSTGUI::CView*, 6>, 2> sequencerControls{};
    std::array<std::array<VSTGUI::CView*, 32>, 2> stepCells{};
    std::array<VSTGUI::COptionMenu*, 2> patternMenus{};
    VSTGUI::COptionMenu* targetMenu = nullptr;
    VSTGUI::COptionMenu* controllerMenu = nullptr;
    VSTGUI::COptionMenu* spectrumMenu = nullptr;
    VSTGUI::COptionMenu* bankMenuCtrl = nullptr;
    CMenuCtrl* programMenuCtrl = nullptr;
    VSTGUI::CView* tuningNumber = nullptr;

    char shownProgramName[100] = {};
    char shownTuningText[100] = {};
};
