// The framework's window driven as a user drives it, then compared with the
// headless rendering of the same session.
//
// A frame of a few controls over the editor's artwork (a switch, three
// knobs, a line of text) is clicked and dragged: a left click on the switch,
// a right click on it (which the switch ignores), a plain drag and a drag
// with Control (fine steps) on two knobs, and an Alt-click (back to the
// default) on the third. At scale 1 and 2.
//
// Linux:   quellor_window_check --write PREFIX
//          plays the session on a headless window and writes PREFIX-1x.png
//          and PREFIX-2x.png.
// Windows: quellor_window_check.exe --compare PREFIX [--capture PREFIX2]
//          plays it on a real window (a child of a top-level window of its
//          own, as a host gives one) with posted mouse messages, reads the
//          window's pixels back and compares them with the Linux files, pixel
//          for pixel; PREFIX2-1x.png... keep what the window showed.
// Both check the controls' values after the session; exit status 0 when all holds.
#include "gui/CBitmap.h"
#include "gui/CControl.h"
#include "gui/CDrawContext.h"
#include "gui/CFrame.h"
#include "gui/CHeadlessWindow.h"
#include "gui/MouseButtons.h"
#include "gui/PngCodec.h"

#ifdef _WIN32
#include "win32/WindowPixels.h"

#include <shellapi.h>
#include <shlobj.h>
#endif

#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

using namespace qgui;

namespace {

// The artwork used (resource IDs): the mixer background, an effect switch
// (two frames, top to bottom) and the large knob's filmstrip.
constexpr int kBackgroundId = 120;
constexpr int kSwitchId = 139;
constexpr int kSwitchWidth = 34, kSwitchHeight = 44;
constexpr int kKnobId = 149;
constexpr int kKnobSide = 22, kKnobFrames = 55;

constexpr int kWidth = 240, kHeight = 120;
// A knob moves over its range in this many pixels of vertical drag; with
// Control held, ten times as many.
constexpr float kDragPixels = 200.0f;
constexpr float kFineFactor = 0.1f;

class Switch : public CControl {
public:
    Switch(const CRect& r, CBitmap* bitmap) : CControl(r, nullptr, 0, bitmap) {}
    long lastButtons = 0;
    void draw(CDrawContext* c) override {
        background->draw(c, size, CPoint(0, getValue() > 0.5f ? kSwitchHeight : 0));
    }
    void mouse(CDrawContext*, CPoint&, long buttons) override {
        lastButtons = buttons;
        if (!(buttons & kLButton)) return;
        setValue(getValue() > 0.5f ? 0.0f : 1.0f);
    }
};

class Knob : public CControl {
public:
    Knob(const CRect& r, CBitmap* bitmap, float initial) : CControl(r, nullptr, 0, bitmap) {
        setValue(initial);
    }
    void draw(CDrawContext* c) override {
        const int frameIndex = int(std::lround(getValue() * float(kKnobFrames - 1)));
        background->draw(c, size, CPoint(0, frameIndex * kKnobSide));
    }
    // Up raises the value; Control gives fine steps; Alt-click restores the default.
    void mouse(CDrawContext*, CPoint& where, long buttons) override {
        dragging = false;
        if (!(buttons & kLButton)) return;
        if (buttons & kAlt) {
            setValue(getDefaultValue());
            return;
        }
        start = getValue();
        startY = where.v;
        dragging = true;
    }
    void mouseMoved(const CPoint& p, long now) override {
        if (!dragging) return;
        if (!(now & kLButton)) {
            dragging = false;
            return;
        }
        const float step = (now & kControl) ? kFineFactor / kDragPixels : 1.0f / kDragPixels;
        setValue(start + float(startY - p.v) * step);
        bounceValue();
    }
    void mouseUp(const CPoint&, long) override { dragging = false; }
    void mouseCancelled() override { dragging = false; }

private:
    bool dragging = false;
    float start = 0.0f;
    int startY = 0;
};

// The values as text, in both font sizes.
class Readout : public CView {
public:
    Readout(const CRect& r, std::vector<CControl*> c) : CView(r), controls(std::move(c)) {}
    void draw(CDrawContext* c) override {
        c->setFillColor(CColor{16, 20, 28, 255});
        c->fillRect(size);
        std::string text;
        char one[32];
        for (CControl* control : controls) {
            std::snprintf(one, sizeof one, "%.3f  ", double(control->getValue()));
            text += one;
        }
        c->setFontColor(CColor{230, 230, 210, 255});
        c->setFont(kStandardFont);
        c->drawString(text.c_str(), CRect(size.left + 4, size.top, size.right, size.top + 14),
                      kLeftText);
        c->setFont(kSmallFont);
        c->drawString("Chorus: Enable / Master Level",
                      CRect(size.left + 4, size.top + 14, size.right, size.bottom), kLeftText);
    }

private:
    std::vector<CControl*> controls;
};

// What a user does, in window coordinates; the implementations deliver it
// to the frame their own way.
class Mouse {
public:
    virtual ~Mouse() = default;
    virtual void click(CPoint at, long buttons) = 0;
    virtual void drag(CPoint from, const std::vector<CPoint>& path, long buttons) = 0;
};

struct Editor {
    std::unique_ptr<CBitmap> background, switchBitmap, knobBitmap;
    std::unique_ptr<CFrame> frame;
    Switch* onOff = nullptr;
    Knob* knobs[3] = {};
    CView* readout = nullptr;

    // True when the artwork loads and the frame opens in parent.
    bool open(int scale, std::unique_ptr<IPlatformWindow> window, void* parent) {
        frame = std::make_unique<CFrame>(CRect(0, 0, kWidth, kHeight), scale, std::move(window));
        background = CBitmap::load(kBackgroundId, scale);
        switchBitmap = CBitmap::load(kSwitchId, scale);
        knobBitmap = CBitmap::load(kKnobId, scale);
        if (!background || !switchBitmap || !knobBitmap) {
            std::printf("window-check: the artwork did not load at scale %d\n", scale);
            return false;
        }
        frame->setBackground(background.get());
        onOff =
            new Switch(CRect(10, 10, 10 + kSwitchWidth, 10 + kSwitchHeight), switchBitmap.get());
        frame->addView(onOff);
        const float initial[3] = {0.5f, 0.5f, 0.9f};
        for (int k = 0; k < 3; ++k) {
            const int x = 80 + 50 * k;
            knobs[k] =
                new Knob(CRect(x, 20, x + kKnobSide, 20 + kKnobSide), knobBitmap.get(), initial[k]);
            frame->addView(knobs[k]);
        }
        readout = new Readout(CRect(10, 70, 230, 100), {onOff, knobs[0], knobs[1], knobs[2]});
        frame->addView(readout);
        if (!frame->open(parent)) {
            std::printf("window-check: the frame did not open at scale %d\n", scale);
            return false;
        }
        frame->idle();
        return true;
    }

    void play(Mouse& mouse) {
        // The readout shows the values as each step leaves them.
        auto update = [this]() {
            readout->setDirty();
            frame->idle();
        };
        mouse.click(CPoint(20, 30), kLButton);
        update();
        mouse.click(CPoint(20, 30), kRButton);
        update();
        mouse.drag(CPoint(90, 30), {CPoint(90, 25), CPoint(91, 5), CPoint(91, -10)}, kLButton);
        update();
        mouse.drag(CPoint(140, 30), {CPoint(140, 20), CPoint(141, -20)}, kLButton | kControl);
        update();
        mouse.click(CPoint(190, 30), kLButton | kAlt);
        update();
    }

    // The values the session must leave.
    bool valuesAsExpected(int scale) const {
        const float expected[3] = {0.5f + 40.0f / kDragPixels,
                                   0.5f + 50.0f * kFineFactor / kDragPixels, 0.5f};
        bool ok = onOff->getValue() == 1.0f && (onOff->lastButtons & kRButton);
        for (int k = 0; k < 3; ++k)
            ok = ok && std::fabs(knobs[k]->getValue() - expected[k]) < 1e-5f;
        std::printf("window-check: scale %d: switch %.0f (last click buttons %ld), knobs %.4f %.4f "
                    "%.4f%s\n",
                    scale, double(onOff->getValue()), onOff->lastButtons,
                    double(knobs[0]->getValue()), double(knobs[1]->getValue()),
                    double(knobs[2]->getValue()), ok ? ", as expected" : "");
        if (!ok)
            std::printf("window-check: expected switch 1 (buttons with the right one), knobs "
                        "%.4f %.4f %.4f\n",
                        double(expected[0]), double(expected[1]), double(expected[2]));
        return ok;
    }
};

std::string fileFor(const std::string& prefix, int scale) {
    return prefix + "-" + std::to_string(scale) + "x.png";
}

#ifndef _WIN32

class HeadlessMouse : public Mouse {
public:
    HeadlessMouse(CHeadlessWindow& w, CFrame& f) : window(w), frame(f) {}
    void click(CPoint at, long buttons) override {
        window.mouseDown(surfacePoint(at), buttons);
        frame.idle();
    }
    void drag(CPoint from, const std::vector<CPoint>& path, long buttons) override {
        window.mouseDown(surfacePoint(from), buttons);
        for (const CPoint& p : path)
            window.dragTo(surfacePoint(p), buttons);
        frame.idle();
    }

private:
    CPoint surfacePoint(CPoint p) const {
        return CPoint(frame.getScale().toSurface(p.h), frame.getScale().toSurface(p.v));
    }
    CHeadlessWindow& window;
    CFrame& frame;
};

int writeHeadless(const std::string& prefix) {
    bool ok = true;
    for (int scale : {1, 2}) {
        Editor editor;
        auto window = std::make_unique<CHeadlessWindow>();
        CHeadlessWindow& w = *window;
        if (!editor.open(scale, std::move(window), nullptr)) return 1;
        HeadlessMouse mouse(w, *editor.frame);
        editor.play(mouse);
        ok = editor.valuesAsExpected(scale) && ok;
        if (!writePng(*editor.frame->getSurface(), fileFor(prefix, scale))) {
            std::printf("window-check: cannot write %s\n", fileFor(prefix, scale).c_str());
            return 1;
        }
    }
    return ok ? 0 : 1;
}

#else

using windowpixels::capture;
using windowpixels::countDifferences;
using windowpixels::pumpMessages;

// Mouse messages posted to the frame's window, with the keyboard state
// (which is where Alt is read from) set to match.
class MessageMouse : public Mouse {
public:
    MessageMouse(HWND w, CFrame& f) : window(w), frame(f) {}
    void click(CPoint at, long buttons) override {
        setKeys(buttons);
        const bool right = buttons & kRButton;
        post(right ? WM_RBUTTONDOWN : WM_LBUTTONDOWN, at, buttons);
        pumpMessages();
        post(right ? WM_RBUTTONUP : WM_LBUTTONUP, at, buttons & ~kMouseButtonsMask);
        pumpMessages();
        frame.idle();
        setKeys(0);
    }
    // The window queues the press, the moves and the release as the
    // thread's loop hands them to it; the next idle delivers them.
    void drag(CPoint from, const std::vector<CPoint>& path, long buttons) override {
        setKeys(buttons);
        post(WM_LBUTTONDOWN, from, buttons);
        for (const CPoint& p : path)
            post(WM_MOUSEMOVE, p, buttons);
        post(WM_LBUTTONUP, path.back(), buttons & ~kMouseButtonsMask);
        pumpMessages();
        frame.idle();
        setKeys(0);
    }

private:
    void post(UINT message, CPoint at, long buttons) {
        WPARAM flags = 0;
        if (buttons & kLButton) flags |= MK_LBUTTON;
        if (buttons & kRButton) flags |= MK_RBUTTON;
        if (buttons & kControl) flags |= MK_CONTROL;
        if (buttons & kShift) flags |= MK_SHIFT;
        const CScale s = frame.getScale();
        PostMessageW(window, message, flags,
                     MAKELPARAM(WORD(short(s.toSurface(at.h))), WORD(short(s.toSurface(at.v)))));
    }
    static void setKeys(long buttons) {
        BYTE keys[256];
        GetKeyboardState(keys);
        keys[VK_CONTROL] = keys[VK_LCONTROL] = (buttons & kControl) ? 0x80 : 0;
        keys[VK_MENU] = keys[VK_LMENU] = (buttons & kAlt) ? 0x80 : 0;
        keys[VK_SHIFT] = keys[VK_LSHIFT] = (buttons & kShift) ? 0x80 : 0;
        SetKeyboardState(keys);
    }
    HWND window;
    CFrame& frame;
};

LRESULT CALLBACK hostProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

HWND makeHostWindow(int width, int height) {
    static bool registered = false;
    if (!registered) {
        WNDCLASSW wc{};
        wc.lpfnWndProc = hostProc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"QuellorCheckHost";
        wc.hbrBackground = HBRUSH(GetStockObject(BLACK_BRUSH));
        RegisterClassW(&wc);
        registered = true;
    }
    HWND host = CreateWindowExW(0, L"QuellorCheckHost", L"Quellor window check",
                                WS_POPUP | WS_VISIBLE | WS_CLIPCHILDREN, 0, 0, width, height,
                                nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    pumpMessages();
    return host;
}

bool readPng(const std::string& path, DecodedPng& out) {
    std::ifstream in(path, std::ios::binary);
    std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(in)),
                                     std::istreambuf_iterator<char>());
    return !bytes.empty() && decodePng(bytes.data(), bytes.size(), out);
}

bool writeCapture(const std::vector<std::uint32_t>& pixels, int width, int height,
                  const std::string& path) {
    CSurface s(width, height);
    for (std::size_t i = 0; i < pixels.size(); ++i)
        s.data()[i] = 0xff000000u | pixels[i];
    return writePng(s, path);
}

int compareWindows(const std::string& prefix, const std::string& capturePrefix) {
    bool ok = true;
    // A host window that is gone: open must fail and leave nothing behind.
    {
        HWND gone = makeHostWindow(10, 10);
        DestroyWindow(gone);
        CFrame frame(CRect(0, 0, kWidth, kHeight), 1);
        const bool opened = frame.open(gone);
        std::printf("window-check: a parent window that is gone: %s\n",
                    opened ? "the frame opened anyway" : "open fails, as it should");
        ok = !opened && ok;
    }
    for (int scale : {1, 2}) {
        const int width = kWidth * scale, height = kHeight * scale;
        HWND host = makeHostWindow(width, height);
        if (!host) {
            std::printf("window-check: no top-level window\n");
            return 1;
        }
        Editor editor;
        if (!editor.open(scale, nullptr, host)) return 1;
        HWND child = static_cast<HWND>(editor.frame->getPlatformWindow()->nativeHandle());
        pumpMessages();
        MessageMouse mouse(child, *editor.frame);
        editor.play(mouse);
        ok = editor.valuesAsExpected(scale) && ok;
        editor.frame->idle();
        pumpMessages();

        DecodedPng linux;
        if (!readPng(fileFor(prefix, scale), linux) || linux.width != width ||
            linux.height != height) {
            std::printf("window-check: no %d x %d rendering in %s\n", width, height,
                        fileFor(prefix, scale).c_str());
            return 1;
        }
        const CSurface& surface = *editor.frame->getSurface();
        std::vector<std::uint32_t> drawn(surface.data(),
                                         surface.data() + std::size_t(width) * height);
        // What the frame's own blits left, then what painting an exposed
        // window gives.
        std::vector<std::uint32_t> shown = capture(child, width, height);
        RedrawWindow(child, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
        pumpMessages();
        std::vector<std::uint32_t> painted = capture(child, width, height);
        struct {
            const char* what;
            const std::vector<std::uint32_t>& pixels;
        } checks[] = {{"the surface", drawn},
                      {"the window after the frame's updates", shown},
                      {"the window repainted after an expose", painted}};
        for (const auto& c : checks) {
            std::string first;
            const long n = countDifferences(c.pixels, linux.pixels, width, first);
            std::printf("window-check: scale %d: %s %s\n", scale, c.what,
                        n == 0 ? "equals the Linux rendering pixel for pixel"
                               : ("differs from the Linux rendering in " + std::to_string(n) +
                                  " pixels, " + first)
                                     .c_str());
            ok = n == 0 && ok;
        }
        if (!capturePrefix.empty())
            writeCapture(painted, width, height, fileFor(capturePrefix, scale));
        editor.frame.reset();
        DestroyWindow(host);
        pumpMessages();
    }
    // The window destroyed while a knob drags (as when the host closes its
    // window then): the drag ends with the last move, and the frame idles
    // and closes unharmed.
    {
        HWND host = makeHostWindow(kWidth, kHeight);
        Editor editor;
        if (!host || !editor.open(1, nullptr, host)) return 1;
        HWND child = static_cast<HWND>(editor.frame->getPlatformWindow()->nativeHandle());
        PostMessageW(child, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(90, 30));
        pumpMessages();
        editor.frame->idle();
        PostMessageW(child, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(90, 10));
        PostMessageW(child, WM_CLOSE, 0, 0);
        pumpMessages();
        editor.frame->idle();
        editor.frame->idle();
        const float value = editor.knobs[0]->getValue();
        const bool ended =
            !IsWindow(child) && std::fabs(value - (0.5f + 20.0f / kDragPixels)) < 1e-5f;
        std::printf("window-check: a window destroyed during a drag: %s (knob %.4f)\n",
                    ended ? "the drag ends with the last move" : "not as expected", double(value));
        ok = ended && ok;
        editor.frame.reset();
        DestroyWindow(host);
        pumpMessages();
    }
    // Files dropped from the shell: the frame's drop target gets their wide
    // names as UTF-8, in order, at the drop point in window pixels.
    for (int scale : {1, 2}) {
        HWND host = makeHostWindow(kWidth * scale, kHeight * scale);
        Editor editor;
        if (!host || !editor.open(scale, nullptr, host)) return 1;
        struct Target : IFileDropTarget {
            std::vector<std::string> paths;
            CPoint where;
            int drops = 0;
            void filesDropped(const std::vector<std::string>& p, const CPoint& w) override {
                paths = p;
                where = w;
                ++drops;
            }
        } target;
        editor.frame->setDropTarget(&target);
        HWND child = static_cast<HWND>(editor.frame->getPlatformWindow()->nativeHandle());
        // "Z:\tmp\Bässe\Glocke €.wav" and "Z:\tmp\两.qxlprg", as the shell hands them over.
        const std::wstring names[] = {L"Z:\\tmp\\B\u00e4sse\\Glocke \u20ac.wav",
                                      L"Z:\\tmp\\\u4e24.qxlprg"};
        const std::string expected[] = {"Z:\\tmp\\B\xc3\xa4sse\\Glocke \xe2\x82\xac.wav",
                                        "Z:\\tmp\\\xe4\xb8\xa4.qxlprg"};
        std::wstring list;
        for (const std::wstring& n : names)
            list += n + L'\0';
        list += L'\0';
        HGLOBAL memory = GlobalAlloc(GHND, sizeof(DROPFILES) + list.size() * sizeof(wchar_t));
        auto* drop = static_cast<DROPFILES*>(GlobalLock(memory));
        drop->pFiles = sizeof(DROPFILES);
        drop->pt.x = 150 * scale;
        drop->pt.y = 40 * scale;
        drop->fNC = FALSE;
        drop->fWide = TRUE;
        std::memcpy(reinterpret_cast<char*>(drop) + sizeof(DROPFILES), list.data(),
                    list.size() * sizeof(wchar_t));
        GlobalUnlock(memory);
        PostMessageW(child, WM_DROPFILES, WPARAM(memory), 0);
        pumpMessages();
        editor.frame->idle();
        const bool dropped = target.drops == 1 && target.paths.size() == 2 &&
                             target.paths[0] == expected[0] && target.paths[1] == expected[1] &&
                             target.where == CPoint(150, 40);
        std::printf("window-check: scale %d: files dropped on the window %s (%d drops, %d paths, "
                    "at %d, %d)\n",
                    scale,
                    dropped ? "reach the frame's drop target as UTF-8, at the drop point"
                            : "do not arrive as expected",
                    target.drops, int(target.paths.size()), int(target.where.h),
                    int(target.where.v));
        ok = dropped && ok;
        editor.frame.reset();
        DestroyWindow(host);
        pumpMessages();
    }
    return ok ? 0 : 1;
}

#endif

} // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 2 ? argv[1] : "";
#ifndef _WIN32
    if (mode == "--write") return writeHeadless(argv[2]);
    std::fprintf(stderr, "usage: %s --write PREFIX\n", argv[0]);
#else
    if (mode == "--compare")
        return compareWindows(argv[2],
                              argc > 4 && std::strcmp(argv[3], "--capture") == 0 ? argv[4] : "");
    std::fprintf(stderr, "usage: %s --compare PREFIX [--capture PREFIX]\n", argv[0]);
#endif
    return 2;
}
