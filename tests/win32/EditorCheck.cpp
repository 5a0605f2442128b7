// The plug-in's editor driven as a user drives it in a host, compared with
// the headless rendering of the same session on Linux.
//
// The session, at scales 1, 1.5 and 2, on the first program of the data root's
// first bank: a click on "Chorus: Enable", a drag of "Master Level" up by 20
// window pixels (ten steps of 0.01), a Control-click on "Chorus: Time" (set
// by the host to 0.75 first; back to its reset value), the same drag on "Distortion" with Alt held
// (tenth steps), then a click on the bank menu, whose pop-up lists the root's bank folders. The
// window is compared after the edits ("edited") and with the pop-up open ("banks").
//
// Linux:   quellor_editor_check --write PREFIX
//          plays the session on the editor over a headless window, with the
//          data root that QUELLOR_ROOT names, and writes the surface's words
//          to PREFIX-STEP-Sx.rgba and the program's name to PREFIX-program.txt.
// Windows: quellor_editor_check.exe --compare PREFIX DLL
//          loads the DLL through its entry point as a host does (the data
//          root comes from the registry), opens the editor in a window of its
//          own, plays the session with window messages, reads the parameters
//          back and compares the window's pixels with the Linux files; then
//          the window scale from the registry, and the faults: a parent that
//          is gone, calls from another thread, the window closed during a drag.
//          quellor_editor_check.exe --dpi DLL
//          opens the editor in a window of a high-density screen (the script
//          sets the prefix's density): the editor must choose scale 2 at 168
//          dpi and more, 1.5 at 132 dpi and more.
//          quellor_editor_check.exe --dialogs
//          opens the platform's file dialogs and message boxes and answers
//          them from a second thread, as a user would.
//          quellor_editor_check.exe --wide FOLDER DLL
//          names outside ASCII: in FOLDER\Klänge-ünï-€ (the script puts the
//          tuning file Ström.TUN there) it writes a sample, saves a program
//          that plays it through the plug-in's own save, drops the program and
//          the tuning file on the editor and reads the program back through
//          the entry point; answers the save dialog with such a name, reads
//          such a path in a message box, takes that folder as the data root
//          from the registry and from QUELLOR_ROOT and lists it; then a
//          program whose sample path is in the ANSI code page (as older
//          builds stored it) goes in as a host chunk.
// Exit status 0 when all holds.
#include "editor/EditorLayout.h"
#include "gui/CScale.h"
#include "vst/VstAbi.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace {

using namespace editorlayout;

// ---- the session, in window pixels at scale 1 ----

struct Point {
    int x, y;
};

// A point well inside a control placed at p.
Point inside(const Placement& p) {
    return Point{p.x + 10, p.y + 10};
}

const Placement& kChorusEnable = kEffects[0];
const Placement& kChorusTime = kEffects[1];
const Placement& kMasterLevel = kMasterControls[0];
const Placement& kDistortion = kMasterControls[1];
constexpr VstInt32 kMasterLevelId = VstInt32(kMasterControls[0].tag);
// Up by 20 window pixels in two moves: the knob steps by 0.01 per 2 pixels,
// by a tenth of that with Alt held.
constexpr int kDragRise = 20;
constexpr double kDragChange = 0.1;
constexpr double kFineDragChange = 0.01;
// What the host sets "Chorus: Time" to before the session (exact as a float).
constexpr float kChorusTimeFromHost = 0.75f;

// Modifier keys held with a click or drag.
enum Keys : int { kNoKeys = 0, kControlKey = 1, kAltKey = 2 };
const Point kBankMenu{kBankMenuX + 10, kTopMenuY + 5};
// Outside every pop-up and control: a click there only closes the pop-up.
const Point kAway{960, 590};

const char* const kSteps[] = {"edited", "banks"};
const qgui::CScale kScales[] = {qgui::CScale(1), qgui::CScale::oneAndAHalf(), qgui::CScale(2)};

std::string rawFile(const std::string& prefix, const char* step, qgui::CScale scale) {
    return prefix + "-" + step + "-" + scale.text() + "x.rgba";
}

std::string programFile(const std::string& prefix) {
    return prefix + "-program.txt";
}

// What a user does; each implementation delivers it its own way and idles the
// editor until it has taken effect.
class User {
public:
    virtual ~User() = default;
    // The host sets a parameter, as its automation does.
    virtual void hostSets(VstInt32 index, float value) = 0;
    virtual void click(Point at, int keys) = 0;
    virtual void drag(Point from, const std::vector<Point>& path, int keys) = 0;
    // The pointer moves there with no button held.
    virtual void moveTo(Point at) = 0;
    // The window's pixels now (0x00RRGGBB or 0xAARRGGBB words, top row first).
    virtual std::vector<std::uint32_t> pixels() = 0;
};

// Plays the session; step is called after each compared step.
template <typename Step> void playSession(User& user, Step step) {
    auto rise = [&](const Placement& p, int keys) {
        const Point knob = inside(p);
        user.drag(knob, {Point{knob.x, knob.y - kDragRise / 2}, Point{knob.x, knob.y - kDragRise}},
                  keys);
    };
    user.hostSets(VstInt32(kChorusTime.tag), kChorusTimeFromHost);
    user.click(inside(kChorusEnable), kNoKeys);
    rise(kMasterLevel, kNoKeys);
    user.click(inside(kChorusTime), kControlKey);
    rise(kDistortion, kAltKey);
    // The pointer leaves the knob, so that the help line shows no control's
    // value in the compared picture.
    user.moveTo(kAway);
    step(kSteps[0]);
    user.click(kBankMenu, kNoKeys);
    step(kSteps[1]);
    user.click(kAway, kNoKeys);
}

} // namespace

#ifndef _WIN32

#include "editor/CPluginEditor.h"
#include "engine/CSoundRenderer.h"
#include "gui/CFrame.h"
#include "gui/CHeadlessWindow.h"
#include "gui/MouseButtons.h"
#include "patch/CPluginFile.h"
#include "platform/IPlatform.h"

namespace {

class HeadlessUser : public User {
public:
    HeadlessUser(CPluginEditor& e, qgui::CHeadlessWindow& w, qgui::CScale s)
        : editor(e), window(w), scale(s) {}
    // As the plug-in passes it on: to the program, then to the editor.
    void hostSets(VstInt32 index, float value) override {
        editor.getRenderer()->setParameter(index, value);
        editor.setParameter(index, value);
        editor.idle();
    }
    // A press and its release, as the window system reports them.
    void click(Point at, int keys) override {
        window.mouseDown(device(at), qgui::kLButton | modifiers(keys));
        window.mouseMove(device(at), modifiers(keys));
        editor.idle();
    }
    void drag(Point from, const std::vector<Point>& path, int keys) override {
        window.mouseDown(device(from), qgui::kLButton | modifiers(keys));
        for (const Point& p : path)
            window.dragTo(device(p), qgui::kLButton | modifiers(keys));
        editor.idle();
    }
    void moveTo(Point at) override {
        window.mouseMove(device(at), 0);
        editor.idle();
    }
    std::vector<std::uint32_t> pixels() override {
        editor.idle();
        const qgui::CSurface& s = *editor.getFrame()->getSurface();
        return std::vector<std::uint32_t>(s.data(), s.data() + std::size_t(s.width()) * s.height());
    }

private:
    qgui::CPoint device(Point p) const {
        return qgui::CPoint(scale.toSurface(p.x), scale.toSurface(p.y));
    }
    static long modifiers(int keys) {
        long b = 0;
        if (keys & kControlKey) b |= qgui::kControl;
        if (keys & kAltKey) b |= qgui::kAlt;
        return b;
    }
    CPluginEditor& editor;
    qgui::CHeadlessWindow& window;
    qgui::CScale scale;
};

int writeReferences(const std::string& prefix) {
    CPluginFile settings(nativePlatform());
    settings.init();
    for (qgui::CScale scale : kScales) {
        CSoundRenderer renderer(&settings, nullptr);
        CPluginEditor editor(nullptr, &renderer);
        auto window = std::make_unique<qgui::CHeadlessWindow>();
        qgui::CHeadlessWindow& w = *window;
        static int parent;
        if (!editor.openWith(&parent, std::move(window), scale)) {
            std::printf("editor-check: the editor did not open at scale %s\n", scale.text());
            return 1;
        }
        editor.idle();
        if (scale == 1) {
            char name[64] = {};
            renderer.getProgramName(name, sizeof name);
            std::ofstream(programFile(prefix)) << name;
            std::printf("editor-check: the first program of the data root: \"%s\"\n", name);
        }
        HeadlessUser user(editor, w, scale);
        bool written = true;
        playSession(user, [&](const char* step) {
            const std::vector<std::uint32_t> p = user.pixels();
            std::ofstream out(rawFile(prefix, step, scale), std::ios::binary);
            out.write(reinterpret_cast<const char*>(p.data()),
                      std::streamsize(p.size() * sizeof p[0]));
            written = written && bool(out);
        });
        if (!written) {
            std::printf("editor-check: cannot write %s\n", rawFile(prefix, "*", scale).c_str());
            return 1;
        }
        std::printf("editor-check: scale %s: Chorus: Enable %.2f, Master Level %.2f, Chorus: "
                    "Time %.2f, Distortion %.2f\n",
                    scale.text(), renderer.getParameter(int32_t(kChorusEnable.tag)),
                    renderer.getParameter(int32_t(kMasterLevel.tag)),
                    renderer.getParameter(int32_t(kChorusTime.tag)),
                    renderer.getParameter(int32_t(kDistortion.tag)));
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--write") == 0) return writeReferences(argv[2]);
    std::fprintf(stderr, "usage: %s --write PREFIX\n", argv[0]);
    return 2;
}

#else

#include "base/CFileStreamer.h"
#include "patch/CMemAssembler.h"
#include "patch/CPluginFile.h"
#include "patch/CProgram.h"
#include "patch/PatchFiles.h"
#include "patch/ProgramFormat.h"
#include "platform/IPlatform.h"
#include "win32/WindowPixels.h"

#include <shlobj.h>

#include <atomic>
#include <thread>

namespace {

using windowpixels::capture;
using windowpixels::countDifferences;
using windowpixels::pumpMessages;

bool allOk = true;

void report(bool ok, const std::string& text) {
    std::printf("editor-check: %s%s\n", ok ? "" : "FAILED: ", text.c_str());
    allOk = allOk && ok;
}

VstIntPtr VSTCALLBACK hostCallback(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    return opcode == audioMasterVersion ? 2400 : 0;
}

using Entry = AEffect*(VSTCALLBACK*)(audioMasterCallback);
Entry entry = nullptr;

// One instance, as a host holds it.
class Plugin {
public:
    Plugin() : effect(entry ? entry(hostCallback) : nullptr) {}
    ~Plugin() {
        if (effect) dispatch(effClose);
    }
    Plugin(const Plugin&) = delete;
    Plugin& operator=(const Plugin&) = delete;

    VstIntPtr dispatch(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0,
                       void* ptr = nullptr, float opt = 0.0f) {
        return effect->dispatcher(effect, opcode, index, value, ptr, opt);
    }
    float get(VstInt32 index) { return effect->getParameter(effect, index); }
    void set(VstInt32 index, float value) { effect->setParameter(effect, index, value); }
    // The editor's size as the host is told it.
    Point size() {
        ERect* r = nullptr;
        if (dispatch(effEditGetRect, 0, 0, &r) != 1 || !r) return Point{0, 0};
        return Point{r->right - r->left, r->bottom - r->top};
    }
    // The peak of a note played for a few blocks.
    float playNote() {
        dispatch(effSetSampleRate, 0, 0, nullptr, 44100.0f);
        dispatch(effSetBlockSize, 0, 512);
        dispatch(effMainsChanged, 0, 1);
        VstMidiEvent note{};
        note.type = kVstMidiType;
        note.byteSize = sizeof note;
        note.midiData[0] = char(0x90);
        note.midiData[1] = 60;
        note.midiData[2] = 100;
        VstEvents events{};
        events.numEvents = 1;
        events.events[0] = reinterpret_cast<VstEvent*>(&note);
        dispatch(effProcessEvents, 0, 0, &events);
        std::vector<float> left(512), right(512);
        float* outputs[2] = {left.data(), right.data()};
        float peak = 0.0f;
        for (int block = 0; block < 20; ++block) {
            effect->processReplacing(effect, nullptr, outputs, 512);
            for (float v : left)
                peak = std::max(peak, std::fabs(v));
        }
        dispatch(effMainsChanged, 0, 0);
        return peak;
    }

    AEffect* effect;
};

// ---- the host's window ----

// Messages another thread sends the host's window, so that the host acts on
// its own thread in the middle of a drag.
constexpr UINT kCloseEditorMessage = WM_APP + 1;
constexpr UINT kDestroyWindowMessage = WM_APP + 2;
Plugin* windowOwner = nullptr;

LRESULT CALLBACK hostProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == kCloseEditorMessage) {
        if (windowOwner) windowOwner->dispatch(effEditClose);
        return 0;
    }
    if (message == kDestroyWindowMessage) {
        DestroyWindow(hwnd);
        return 0;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

HWND makeHostWindow() {
    static bool registered = false;
    if (!registered) {
        WNDCLASSW wc{};
        wc.lpfnWndProc = hostProc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"QuellorEditorHost";
        wc.hbrBackground = HBRUSH(GetStockObject(BLACK_BRUSH));
        RegisterClassW(&wc);
        registered = true;
    }
    // Room for the window at scale 2.
    HWND host =
        CreateWindowExW(0, L"QuellorEditorHost", L"Quellor editor check",
                        WS_POPUP | WS_VISIBLE | WS_CLIPCHILDREN, 0, 0, 2 * kWindowWidth,
                        2 * kWindowHeight, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    pumpMessages();
    return host;
}

HWND editorWindow(HWND host) {
    return host ? GetWindow(host, GW_CHILD) : nullptr;
}

// The host's idle: the editor's idle call and the thread's messages.
void idle(Plugin& p, int times = 3) {
    for (int i = 0; i < times; ++i) {
        p.dispatch(effEditIdle);
        pumpMessages();
    }
}

void setScaleVariable(const char* value) {
    // The plug-in reads the variable through the same C run-time (msvcrt).
    std::string assignment = std::string("QUELLOR_SCALE=") + value;
    _putenv(assignment.c_str());
}

// ---- the session with window messages ----

class MessageUser : public User {
public:
    MessageUser(Plugin& p, HWND child, qgui::CScale s) : plugin(p), window(child), scale(s) {}
    void hostSets(VstInt32 index, float value) override {
        plugin.set(index, value);
        idle(plugin);
    }
    void click(Point at, int keys) override {
        setKeys(keys);
        post(WM_LBUTTONDOWN, at, MK_LBUTTON | flags(keys));
        post(WM_LBUTTONUP, at, flags(keys));
        pumpMessages();
        idle(plugin);
        setKeys(kNoKeys);
    }
    // The window queues the press, the moves and the release as the host's
    // loop hands them to it; the editor's idle delivers them.
    void drag(Point from, const std::vector<Point>& path, int keys) override {
        setKeys(keys);
        post(WM_LBUTTONDOWN, from, MK_LBUTTON | flags(keys));
        pumpMessages();
        for (const Point& p : path)
            post(WM_MOUSEMOVE, p, MK_LBUTTON | flags(keys));
        post(WM_LBUTTONUP, path.back(), flags(keys));
        idle(plugin);
        setKeys(kNoKeys);
    }
    void moveTo(Point at) override {
        post(WM_MOUSEMOVE, at, 0);
        pumpMessages();
        idle(plugin);
    }
    std::vector<std::uint32_t> pixels() override {
        idle(plugin);
        return capture(window, scale.toSurface(kWindowWidth), scale.toSurface(kWindowHeight));
    }
    void post(UINT message, Point at, WPARAM flags) {
        PostMessageW(
            window, message, flags,
            MAKELPARAM(WORD(short(scale.toSurface(at.x))), WORD(short(scale.toSurface(at.y)))));
    }

private:
    // Control travels in the mouse message; Alt only in the keyboard state,
    // where the window reads both.
    static WPARAM flags(int keys) { return (keys & kControlKey) ? MK_CONTROL : 0; }
    static void setKeys(int keys) {
        BYTE state[256];
        GetKeyboardState(state);
        state[VK_CONTROL] = state[VK_LCONTROL] = (keys & kControlKey) ? 0x80 : 0;
        state[VK_MENU] = state[VK_LMENU] = (keys & kAltKey) ? 0x80 : 0;
        SetKeyboardState(state);
    }
    Plugin& plugin;
    HWND window;
    qgui::CScale scale;
};

bool readRaw(const std::string& path, std::size_t words, std::vector<std::uint32_t>& out) {
    std::ifstream in(path, std::ios::binary);
    out.assign(words, 0);
    in.read(reinterpret_cast<char*>(out.data()), std::streamsize(words * sizeof out[0]));
    return bool(in) && in.gcount() == std::streamsize(words * sizeof out[0]);
}

void compareStep(const std::string& prefix, const char* step, qgui::CScale scale,
                 const std::vector<std::uint32_t>& shown, const char* what) {
    const int width = scale.toSurface(kWindowWidth), height = scale.toSurface(kWindowHeight);
    std::vector<std::uint32_t> linux;
    if (!readRaw(rawFile(prefix, step, scale), std::size_t(width) * height, linux)) {
        report(false, "no Linux rendering in " + rawFile(prefix, step, scale));
        return;
    }
    std::string first;
    const long n = countDifferences(shown, linux, width, first);
    report(n == 0, std::string("scale ") + scale.text() + ", " + step + ": " + what +
                       (n == 0 ? " equals the Linux rendering pixel for pixel"
                               : " differs from the Linux rendering in " + std::to_string(n) +
                                     " pixels, " + first));
}

std::string readText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void session(const std::string& prefix, qgui::CScale scale) {
    setScaleVariable(scale.text());
    Plugin plugin;
    HWND host = makeHostWindow();
    if (!plugin.effect || !host) {
        report(false, "no plug-in instance or no host window");
        return;
    }
    const bool opened = plugin.dispatch(effEditOpen, 0, 0, host) == 1;
    const Point size = plugin.size();
    HWND child = editorWindow(host);
    report(opened && child && size.x == scale.toSurface(kWindowWidth) &&
               size.y == scale.toSurface(kWindowHeight),
           std::string("scale ") + scale.text() + ": the editor opens in the host's window, " +
               std::to_string(size.x) + " x " + std::to_string(size.y));
    if (!opened || !child) return;
    idle(plugin);

    if (scale == 1) {
        // The program loaded from the registry's root, the one Linux loaded from the same folder.
        char name[64] = {};
        plugin.dispatch(effGetProgramName, 0, 0, name);
        const std::string expected = readText(programFile(prefix));
        report(!expected.empty() && expected == name,
               std::string("the first program of the registry's data root: \"") + name +
                   "\" (Linux: \"" + expected + "\")");
    }

    // What the edits must leave, from the values before.
    struct Edit {
        const Placement& control;
        const char* name;
        float before, expected;
    } edits[] = {{kChorusEnable, "Chorus: Enable", 0, 0},
                 {kMasterLevel, "Master Level", 0, 0},
                 {kChorusTime, "Chorus: Time", 0, float(kChorusTime.reset)},
                 {kDistortion, "Distortion", 0, 0}};
    for (Edit& e : edits)
        e.before = plugin.get(VstInt32(e.control.tag));
    edits[2].before = kChorusTimeFromHost;
    edits[0].expected = edits[0].before > 0.5f ? 0.0f : 1.0f;
    edits[1].expected = std::min(1.0f, edits[1].before + float(kDragChange));
    edits[3].expected = std::min(1.0f, edits[3].before + float(kFineDragChange));
    MessageUser user(plugin, child, scale);
    playSession(user, [&](const char* step) {
        if (step == kSteps[0]) {
            for (const Edit& e : edits) {
                const float now = plugin.get(VstInt32(e.control.tag));
                char text[160];
                std::snprintf(text, sizeof text, "scale %s: %s %.3f -> %.3f (expected %.3f)",
                              scale.text(), e.name, double(e.before), double(now),
                              double(e.expected));
                report(std::fabs(now - e.expected) < 1e-4f, text);
            }
        }
        compareStep(prefix, step, scale, user.pixels(), "the window");
        // Exposed again, the window repaints from what the editor drew.
        RedrawWindow(child, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
        pumpMessages();
        compareStep(prefix, step, scale,
                    capture(child, scale.toSurface(kWindowWidth), scale.toSurface(kWindowHeight)),
                    "the window repainted after an expose");
    });
    plugin.dispatch(effEditClose);
    pumpMessages();
    report(!IsWindow(child), std::string("scale ") + scale.text() + ": closing leaves no window");
    DestroyWindow(host);
    pumpMessages();
}

// ---- the scale chosen from the registry ----

const char kSettingsKey[] = "SOFTWARE\\tavrino\\Quellor";

void setRegistryScale(const char* value) {
    HKEY key;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, kSettingsKey, 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                        nullptr) != ERROR_SUCCESS)
        return;
    if (value)
        RegSetValueExA(key, "scale", 0, REG_SZ, reinterpret_cast<const BYTE*>(value),
                       DWORD(std::strlen(value) + 1));
    else
        RegDeleteValueA(key, "scale");
    RegCloseKey(key);
}

// The width the editor opens with in a new instance.
int openedWidth() {
    Plugin plugin;
    HWND host = makeHostWindow();
    int width = 0;
    if (plugin.effect && plugin.dispatch(effEditOpen, 0, 0, host) == 1) {
        idle(plugin, 1);
        width = plugin.size().x;
        plugin.dispatch(effEditClose);
    }
    DestroyWindow(host);
    pumpMessages();
    return width;
}

void registryScale() {
    setScaleVariable("");
    setRegistryScale("2");
    const int two = openedWidth();
    setRegistryScale("1.5");
    const int oneAndAHalf = openedWidth();
    setRegistryScale(nullptr);
    const int one = openedWidth();
    report(two == 2 * kWindowWidth && oneAndAHalf == kWindowWidth * 3 / 2 && one == kWindowWidth,
           "the registry value \"scale\" = 2 opens the window " + std::to_string(two) +
               " pixels wide, = 1.5 " + std::to_string(oneAndAHalf) + "; without it " +
               std::to_string(one));
}

// ---- faults ----

// A parent window that is gone: effEditOpen answers 0 and the plug-in plays on.
void parentGone() {
    Plugin plugin;
    HWND gone = makeHostWindow();
    DestroyWindow(gone);
    const VstIntPtr opened = plugin.dispatch(effEditOpen, 0, 0, gone);
    const float peak = plugin.playNote();
    char text[120];
    std::snprintf(text, sizeof text,
                  "a parent window that is gone: effEditOpen answers %d, a note still plays "
                  "(peak %.3f)",
                  int(opened), double(peak));
    report(opened == 0 && peak > 0.01f, text);
}

// Opens the editor on this thread; false (reported) when it does not open.
bool openEditor(Plugin& plugin, HWND& host, HWND& child, const char* what) {
    host = makeHostWindow();
    const bool opened = plugin.effect && plugin.dispatch(effEditOpen, 0, 0, host) == 1;
    child = editorWindow(host);
    if (!opened || !child) report(false, std::string(what) + ": the editor did not open");
    idle(plugin);
    return opened && child;
}

// After a fault: the window is gone, and the editor opens and closes again.
void checkAfter(Plugin& plugin, HWND host, HWND child, const std::string& what, bool extra) {
    for (int i = 0; i < 20 && IsWindow(child); ++i) {
        idle(plugin, 1);
        Sleep(5);
    }
    const bool gone = !IsWindow(child);
    if (IsWindow(host)) DestroyWindow(host);
    pumpMessages();
    HWND again = makeHostWindow();
    const bool reopened = plugin.dispatch(effEditOpen, 0, 0, again) == 1;
    idle(plugin);
    plugin.dispatch(effEditClose);
    DestroyWindow(again);
    pumpMessages();
    report(gone && reopened && extra,
           what + (gone ? ": the window is gone" : ": the window is still there") +
               (reopened ? ", the editor opens again" : ", the editor does not open again"));
}

// effEditIdle, setParameter and effEditClose from another thread while the
// window's thread idles the editor.
void otherThread() {
    Plugin plugin;
    HWND host, child;
    if (!openEditor(plugin, host, child, "calls from another thread")) return;
    std::atomic<bool> done{false};
    std::thread other([&] {
        for (int i = 0; i < 200; ++i) {
            plugin.dispatch(effEditIdle);
            plugin.set(kMasterLevelId, float(i % 100) / 100.0f);
        }
        plugin.dispatch(effEditClose);
        for (int i = 0; i < 50; ++i) {
            plugin.dispatch(effEditIdle);
            plugin.set(kMasterLevelId, 0.5f);
        }
        done = true;
    });
    while (!done) {
        idle(plugin, 1);
        Sleep(1);
    }
    other.join();
    checkAfter(plugin, host, child, "idle, setParameter and close from another thread",
               plugin.get(kMasterLevelId) == 0.5f);
}

// A drag on "Master Level" that runs on this thread while fault happens on
// another: the knob moves up 10 pixels first, then fault(host, child).
template <typename Fault> void duringDrag(const std::string& what, Fault fault, bool hostCloses) {
    Plugin plugin;
    HWND host, child;
    if (!openEditor(plugin, host, child, what.c_str())) return;
    windowOwner = &plugin;
    const float before = plugin.get(kMasterLevelId);
    MessageUser user(plugin, child, 1);
    const Point knob = inside(kMasterLevel);
    user.post(WM_LBUTTONDOWN, knob, MK_LBUTTON);
    pumpMessages();
    std::atomic<bool> done{false};
    std::thread other([&] {
        Sleep(200);
        PostMessageW(child, WM_MOUSEMOVE, MK_LBUTTON,
                     MAKELPARAM(WORD(knob.x), WORD(knob.y - kDragRise / 2)));
        Sleep(200);
        fault(plugin, host, child);
        done = true;
    });
    // The host's loop meanwhile: its messages and the editor's idle, which
    // delivers the click and the move; the release never comes.
    while (!done) {
        plugin.dispatch(effEditIdle);
        pumpMessages();
        Sleep(5);
    }
    other.join();
    pumpMessages();
    if (!hostCloses) plugin.dispatch(effEditClose);
    windowOwner = nullptr;
    const float after = plugin.get(kMasterLevelId);
    checkAfter(plugin, host, child, what,
               std::fabs(after - (before + float(kDragChange) / 2.0f)) < 1e-4f);
}

void faults() {
    parentGone();
    otherThread();
    duringDrag(
        "the host closes the editor on its own thread during a drag",
        [](Plugin&, HWND host, HWND) { SendMessageW(host, kCloseEditorMessage, 0, 0); }, true);
    duringDrag(
        "the host closes the editor from another thread during a drag",
        [](Plugin& p, HWND, HWND) { p.dispatch(effEditClose); }, true);
    duringDrag(
        "the host destroys its window during a drag",
        [](Plugin&, HWND host, HWND) { SendMessageW(host, kDestroyWindowMessage, 0, 0); }, false);
}

int compare(const std::string& prefix) {
    for (qgui::CScale scale : kScales)
        session(prefix, scale);
    registryScale();
    faults();
    return allOk ? 0 : 1;
}

// ---- the screen's density ----

int highDensity() {
    // A host that is aware of the screen's density sees it (others are
    // scaled by the system and see 96).
    using Aware = BOOL(WINAPI*)();
    if (HMODULE user32 = GetModuleHandleW(L"user32.dll"))
        if (auto aware = reinterpret_cast<Aware>(
                reinterpret_cast<void*>(GetProcAddress(user32, "SetProcessDPIAware"))))
            aware();
    setScaleVariable("");
    setRegistryScale(nullptr);
    Plugin plugin;
    HWND host = makeHostWindow();
    using ForWindow = UINT(WINAPI*)(HWND);
    auto forWindow = reinterpret_cast<ForWindow>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
    const int dpi = forWindow ? int(forWindow(host)) : 0;
    // 2 from 168 dpi, 1.5 (a 150 % desktop) from 132.
    if (dpi < 132) {
        std::printf("editor-check: scale from the screen not checked: this system reports %d dpi "
                    "for the host's window\n",
                    dpi);
        DestroyWindow(host);
        return 0;
    }
    const int expected = dpi >= 168 ? 2 * kWindowWidth : kWindowWidth * 3 / 2;
    const bool opened = plugin.effect && plugin.dispatch(effEditOpen, 0, 0, host) == 1;
    const Point size = plugin.size();
    if (opened) plugin.dispatch(effEditClose);
    DestroyWindow(host);
    pumpMessages();
    report(opened && size.x == expected, "a host window at " + std::to_string(dpi) +
                                             " dpi: the editor opens " + std::to_string(size.x) +
                                             " pixels wide");
    return allOk ? 0 : 1;
}

// ---- dialogs ----

// Finds the top-level window titled title within a few seconds (another
// thread shows it) and sends it command; false when none appeared.
bool answer(const wchar_t* title, WPARAM command, std::atomic<bool>& found) {
    for (int i = 0; i < 1500; ++i) {
        if (HWND w = FindWindowW(nullptr, title)) {
            found = true;
            Sleep(100); // let it finish showing
            PostMessageW(w, WM_COMMAND, command, 0);
            return true;
        }
        Sleep(10);
    }
    return false;
}

int dialogs() {
    IPlatform& platform = nativePlatform();
    struct FileCase {
        const char* title;
        const wchar_t* wideTitle;
        bool forOpening;
    } files[] = {{"Load Program", L"Load Program", true}, {"Save Program", L"Save Program", false}};
    for (const FileCase& f : files) {
        std::atomic<bool> found{false};
        std::thread user([&] { answer(f.wideTitle, IDCANCEL, found); });
        char path[260] = "untitled.qxlprg";
        const bool chosen = platform.chooseFile(path, sizeof path, f.title, "*.qxlprg", "Program",
                                                nullptr, f.forOpening);
        user.join();
        report(found && !chosen, std::string("the ") + (f.forOpening ? "open" : "save") +
                                     " dialog \"" + f.title + "\" " +
                                     (found ? "opened" : "did not appear") + " and " +
                                     (chosen ? "reported a choice" : "was cancelled"));
    }
    {
        std::atomic<bool> found{false};
        std::thread user([&] { answer(L"Quellor", IDOK, found); });
        platform.showError("Quellor", "The format of the file is unknown or file is corrupted");
        user.join();
        report(found, std::string("the error box \"Quellor\" ") +
                          (found ? "opened and was dismissed" : "did not appear"));
    }
    {
        std::atomic<bool> found{false};
        std::thread user([&] { answer(L"Quellor", IDYES, found); });
        const bool yes = platform.askYesNo("Quellor", "Clear Sample?");
        user.join();
        report(found && yes, std::string("the question box \"Quellor\" ") +
                                 (found ? "opened" : "did not appear") +
                                 (yes ? " and answered Yes" : " and did not answer Yes"));
    }
    return allOk ? 0 : 1;
}

// ---- names outside ASCII ----

// The UTF-8 and UTF-16 forms of a text.
std::string utf8(const std::wstring& text) {
    const int n = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string out(std::size_t(n > 0 ? n : 1), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, &out[0], n, nullptr, nullptr);
    out.resize(std::strlen(out.c_str()));
    return out;
}

std::wstring wideOf(const char* text, UINT codePage) {
    const int n = MultiByteToWideChar(codePage, 0, text, -1, nullptr, 0);
    std::wstring out(std::size_t(n > 0 ? n : 1), L'\0');
    MultiByteToWideChar(codePage, 0, text, -1, &out[0], n);
    out.resize(std::wcslen(out.c_str()));
    return out;
}

// A short 16-bit mono WAV file, written with the system's own wide call.
bool writeWav(const std::wstring& path) {
    constexpr std::uint32_t kFrames = 4410, kRate = 44100;
    std::FILE* f = _wfopen(path.c_str(), L"wb");
    if (!f) return false;
    auto u32 = [&](std::uint32_t v) {
        const unsigned char b[4] = {
            static_cast<unsigned char>(v), static_cast<unsigned char>(v >> 8),
            static_cast<unsigned char>(v >> 16), static_cast<unsigned char>(v >> 24)};
        std::fwrite(b, 1, 4, f);
    };
    auto u16 = [&](std::uint32_t v) {
        const unsigned char b[2] = {static_cast<unsigned char>(v),
                                    static_cast<unsigned char>(v >> 8)};
        std::fwrite(b, 1, 2, f);
    };
    std::fwrite("RIFF", 1, 4, f);
    u32(36 + kFrames * 2);
    std::fwrite("WAVEfmt ", 1, 8, f);
    u32(16);
    u16(1);
    u16(1);
    u32(kRate);
    u32(kRate * 2);
    u16(2);
    u16(16);
    std::fwrite("data", 1, 4, f);
    u32(kFrames * 2);
    for (std::uint32_t i = 0; i < kFrames; ++i)
        u16(std::uint16_t(std::int16_t(8000.0 * std::sin(2.0 * 3.14159265 * 440.0 * i / kRate))));
    return std::fclose(f) == 0;
}

// Dismisses the message boxes the plug-in shows while it runs, and keeps
// their texts: a file that did not open is told in one.
class BoxWatcher {
public:
    BoxWatcher()
        : thread([this] {
              while (!stop) {
                  for (const wchar_t* caption : {L"Quellor", L"File Error"})
                      if (HWND box = FindWindowW(L"#32770", caption)) {
                          wchar_t text[1024] = {};
                          GetDlgItemTextW(box, 0xFFFF, text, 1024);
                          texts.push_back(utf8(text));
                          PostMessageW(box, WM_COMMAND, IDOK, 0);
                          Sleep(200);
                      }
                  Sleep(20);
              }
          }) {}
    ~BoxWatcher() { finish(); }
    // The texts of the boxes shown so far, joined; empty when there were none.
    std::string finish() {
        if (thread.joinable()) {
            stop = true;
            thread.join();
        }
        std::string all;
        for (const std::string& t : texts)
            all += (all.empty() ? "" : " / ") + t;
        return all;
    }

private:
    std::atomic<bool> stop{false};
    std::vector<std::string> texts;
    std::thread thread;
};

// Drops one file on the editor's window, as the shell does.
void dropFile(Plugin& plugin, HWND child, const std::wstring& path) {
    std::wstring list = path;
    list += L'\0';
    list += L'\0';
    HGLOBAL memory = GlobalAlloc(GHND, sizeof(DROPFILES) + list.size() * sizeof(wchar_t));
    auto* drop = static_cast<DROPFILES*>(GlobalLock(memory));
    drop->pFiles = sizeof(DROPFILES);
    drop->pt.x = 150;
    drop->pt.y = 40;
    drop->fWide = TRUE;
    std::memcpy(reinterpret_cast<char*>(drop) + sizeof(DROPFILES), list.data(),
                list.size() * sizeof(wchar_t));
    GlobalUnlock(memory);
    PostMessageW(child, WM_DROPFILES, WPARAM(memory), 0);
    idle(plugin, 5);
}

// The plug-in's program as the host gets it: its chunk, and the chunk read
// back into program (which keeps its own tuning: a loaded chunk does not
// change it).
bool programOf(Plugin& plugin, CProgram& program, std::string& chunk) {
    void* data = nullptr;
    const VstIntPtr n = plugin.dispatch(effGetChunk, 1, 0, &data);
    chunk.assign(static_cast<const char*>(data), data && n > 0 ? std::size_t(n) : 0);
    CMemAssembler reader;
    return n > 0 && data && reader.assign(data, int32_t(n)) && loadProgram(program, reader, false);
}

// The save dialog answered with a name typed in, without its extension, and a
// message box showing a path: both outside ASCII.
void wideDialogs(const std::wstring& folder) {
    IPlatform& platform = nativePlatform();
    const std::wstring typed = folder + L"\\Gr\u00fc\u00dfe";
    std::atomic<bool> found{false};
    std::thread user([&] {
        for (int i = 0; i < 1500 && !found; ++i) {
            if (HWND w = FindWindowW(nullptr, L"Save Program")) {
                found = true;
                Sleep(100); // let it finish showing
                // The file name field: a combo box in the explorer-style dialog.
                if (!SetDlgItemTextW(w, 0x47c, typed.c_str()))
                    SetDlgItemTextW(w, 0x480, typed.c_str());
                PostMessageW(w, WM_COMMAND, IDOK, 0);
            }
            Sleep(10);
        }
    });
    char path[260] = "untitled.qxlprg";
    const bool chosen = platform.chooseFile(path, sizeof path, "Save Program", "*.qxlprg",
                                            "Program", nullptr, false);
    user.join();
    const std::string expected = utf8(typed + L".qxlprg");
    report(found && chosen && expected == path,
           std::string("the save dialog ") + (found ? "" : "did not appear; ") +
               (chosen ? "hands back \"" + std::string(path) + "\"" : "was cancelled") +
               " for the name typed in, " + utf8(typed));

    BoxWatcher boxes;
    const std::string text = "Error opening the file  '" + utf8(typed) + "'";
    platform.showError("Quellor", text.c_str());
    const std::string shown = boxes.finish();
    report(shown == text, "the error box shows \"" + shown + "\"");
}

// The data root from the registry and from QUELLOR_ROOT, and its listing.
void wideSettings(const std::wstring& folder) {
    IPlatform& platform = nativePlatform();
    HKEY key;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, L"SOFTWARE\\tavrino\\Quellor", 0, nullptr, 0,
                        KEY_READ | KEY_WRITE, nullptr, &key, nullptr) != ERROR_SUCCESS) {
        report(false, "cannot open the plug-in's registry key");
        return;
    }
    // The value the script set, put back afterwards.
    wchar_t before[1024] = {};
    DWORD size = sizeof before - sizeof before[0];
    const bool had = RegQueryValueExW(key, L"rootFolder", nullptr, nullptr,
                                      reinterpret_cast<BYTE*>(before), &size) == ERROR_SUCCESS;
    RegSetValueExW(key, L"rootFolder", 0, REG_SZ, reinterpret_cast<const BYTE*>(folder.c_str()),
                   DWORD((folder.size() + 1) * sizeof(wchar_t)));
    _wputenv(L"QUELLOR_ROOT=");
    const std::string fromRegistry = platform.configuredRootFolder();
    if (had)
        RegSetValueExW(key, L"rootFolder", 0, REG_SZ, reinterpret_cast<const BYTE*>(before),
                       DWORD((std::wcslen(before) + 1) * sizeof(wchar_t)));
    else
        RegDeleteValueW(key, L"rootFolder");
    RegCloseKey(key);
    _wputenv((L"QUELLOR_ROOT=" + folder).c_str());
    const std::string fromVariable = platform.configuredRootFolder();
    _wputenv(L"QUELLOR_ROOT=");
    report(fromRegistry == utf8(folder) && fromVariable == utf8(folder),
           "the data root from the registry reads \"" + fromRegistry + "\", from QUELLOR_ROOT \"" +
               fromVariable + "\"");

    std::string names;
    for (const FolderEntry& e : platform.listFolder(utf8(folder)))
        if (e.name == "Str\u00f6m.TUN" && !e.isDirectory) names = e.name;
    report(!names.empty(),
           "the listing of that folder " +
               (names.empty() ? std::string("lacks Str\u00f6m.TUN") : "names " + names));
}

int wideNames(const std::string& parent) {
    const std::wstring folder =
        wideOf(parent.c_str(), CP_ACP) + L"\\Kl\u00e4nge-\u00fcn\u00ef-\u20ac";
    const std::wstring sample = folder + L"\\Well\u00e9.wav";
    const std::wstring saved = folder + L"\\Gl\u00f6ckchen.qxlprg";
    const std::wstring tuning = folder + L"\\Str\u00f6m.TUN";
    if (!writeWav(sample)) {
        report(false, "cannot write the sample " + utf8(sample));
        return 1;
    }

    // The plug-in's own save, to a UTF-8 path.
    CPluginFile settings(nativePlatform());
    settings.init();
    auto program = std::make_unique<CProgram>();
    std::snprintf(program->sampleSlots[0].samplePath, kProgramPathSize, "%s", utf8(sample).c_str());
    {
        BoxWatcher boxes;
        const bool ok = saveProgramFile(*program, utf8(saved).c_str(), settings);
        const std::string shown = boxes.finish();
        report(ok && shown.empty(), "a program saved as " + utf8(saved) +
                                        (ok ? "" : ": the save failed") +
                                        (shown.empty() ? "" : ", the plug-in said: " + shown));
    }

    // A program an older build saved, its sample path in the ANSI code page.
    const std::wstring oldProgram = folder + L"\\Alt.qxlprg";
    {
        auto old = std::make_unique<CProgram>();
        std::snprintf(old->sampleSlots[0].samplePath, kProgramPathSize, "%s",
                      "C:\\Samples\\Well\xe9.wav");
        BoxWatcher boxes;
        const bool ok = saveProgramFile(*old, utf8(oldProgram).c_str(), settings);
        report(ok && boxes.finish().empty(),
               "a program with an ANSI sample path saved as " + utf8(oldProgram));
    }

    // The program and the tuning file dropped on the editor.
    Plugin plugin;
    HWND host, child;
    if (!openEditor(plugin, host, child, "files named outside ASCII")) return 1;
    {
        BoxWatcher boxes;
        dropFile(plugin, child, saved);
        dropFile(plugin, child, tuning);
        const std::string shown = boxes.finish();
        char name[64] = {};
        plugin.dispatch(effGetProgramName, 0, 0, name);
        auto back = std::make_unique<CProgram>();
        std::string chunk;
        const bool read = programOf(plugin, *back, chunk);
        const std::string samplePath = read ? back->sampleSlots[0].samplePath : "";
        // The tuning's name, NUL-terminated, in the program's chunk.
        const std::string tuningName = "Str\u00f6m";
        const bool tuned = chunk.find(tuningName + '\0') != std::string::npos;
        report(std::string(name) == "Gl\u00f6ckchen" && samplePath == utf8(sample),
               std::string("the program dropped from that folder loads as \"") + name +
                   "\" with its sample " + (samplePath.empty() ? "not loaded" : samplePath) +
                   (shown.empty() ? "" : "; the plug-in said: " + shown));
        report(tuned,
               "the tuning file dropped from that folder " +
                   (tuned ? "loads as \"" + tuningName + "\"" : std::string("does not load")));
    }
    {
        BoxWatcher boxes;
        dropFile(plugin, child, oldProgram);
        const std::string shown = boxes.finish();
        auto back = std::make_unique<CProgram>();
        std::string chunk;
        const std::string path =
            programOf(plugin, *back, chunk) ? back->sampleSlots[0].samplePath : "";
        report(path == utf8(sample) && shown.empty(),
               "the older program dropped from that folder finds its sample beside it: " +
                   (path.empty() ? std::string("not loaded") : path) +
                   (shown.empty() ? "" : "; the plug-in said: " + shown));
    }
    plugin.dispatch(effEditClose);
    DestroyWindow(host);
    pumpMessages();
    wideDialogs(folder);
    wideSettings(folder);

    // A sample path in the ANSI code page, as an older build stored it.
    const char ansiLeaf[] = "Jos\xe9";
    if (GetACP() != 1252) {
        std::printf("editor-check: ANSI sample path not checked: the ANSI code page is %u, not "
                    "1252\n",
                    GetACP());
        return allOk ? 0 : 1;
    }
    const std::wstring ansiFolder = wideOf(parent.c_str(), CP_ACP) + L"\\Jos\u00e9";
    CreateDirectoryW(ansiFolder.c_str(), nullptr);
    if (!writeWav(ansiFolder + L"\\Welle.wav")) {
        report(false, "cannot write the sample in " + utf8(ansiFolder));
        return 1;
    }
    const std::string ansiPath = parent + "\\" + ansiLeaf + "\\Welle.wav";
    auto old = std::make_unique<CProgram>();
    std::snprintf(old->sampleSlots[0].samplePath, kProgramPathSize, "%s", ansiPath.c_str());
    CMemAssembler writer;
    uint8_t* bytes = nullptr;
    const int32_t n = saveProgram(*old, writer) ? writer.assemble(bytes) : 0;
    {
        BoxWatcher boxes;
        plugin.dispatch(effSetChunk, 1, n, bytes);
        const std::string shown = boxes.finish();
        auto back = std::make_unique<CProgram>();
        std::string chunk;
        const bool read = programOf(plugin, *back, chunk);
        const std::string utf8Path = utf8(ansiFolder + L"\\Welle.wav");
        report(n > 0 && read && utf8Path == back->sampleSlots[0].samplePath && shown.empty(),
               "a host chunk whose sample path is in the ANSI code page (" + utf8Path +
                   ") loads its sample, its path now in UTF-8" +
                   (shown.empty() ? "" : "; the plug-in said: " + shown));
    }
    // Any other path that is not UTF-8 is still opened in the ANSI code page.
    CFileStreamer file;
    report(file.open(ansiPath.c_str(), true) && file.fileSize() > 0,
           "the ANSI path of that sample opens as it is");
    return allOk ? 0 : 1;
}

bool loadPlugin(const char* path) {
    HMODULE library = LoadLibraryA(path);
    entry = library ? reinterpret_cast<Entry>(
                          reinterpret_cast<void*>(GetProcAddress(library, "VSTPluginMain")))
                    : nullptr;
    if (!entry) std::printf("editor-check: cannot load %s\n", path);
    return entry != nullptr;
}

} // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "--compare" && argc == 4) return loadPlugin(argv[3]) ? compare(argv[2]) : 1;
    if (mode == "--dpi" && argc == 3) return loadPlugin(argv[2]) ? highDensity() : 1;
    if (mode == "--dialogs") return dialogs();
    if (mode == "--wide" && argc == 4) return loadPlugin(argv[3]) ? wideNames(argv[2]) : 1;
    std::fprintf(stderr,
                 "usage: %s --compare PREFIX DLL | --dpi DLL | --dialogs | --wide FOLDER DLL\n",
                 argv[0]);
    return 2;
}

#endif
