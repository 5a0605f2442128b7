#include "gui/win32/CWin32Window.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <shellapi.h>

#include "gui/CSurface.h"
#include "gui/KeyCodes.h"
#include "gui/MouseButtons.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>

namespace qgui {

namespace {

// One notch of the wheel in WM_MOUSEWHEEL's delta.
constexpr int kWheelNotch = 120;

// The module (our DLL, or the program linking the framework) that owns the
// window class: the one this function lives in, not the host's .exe.
HINSTANCE ownModule() {
    HMODULE module = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                           GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&ownModule), &module);
    return module;
}

// The class is registered while a window of ours is open and removed with the
// last one: a DLL may be unloaded and loaded again at another address, and a
// class left behind would point at a window procedure that is gone.
// Counted atomically: a window closed from another thread than its own
// (a host's mistake we survive) also gives up its count.
std::atomic<int> openWindows{0};
const wchar_t kClassName[] = L"QuellorFrame";

LRESULT CALLBACK windowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* self = reinterpret_cast<CWin32Window*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (self) {
        // No exception may cross into Windows' code (it could not unwind there).
        try {
            LRESULT handled = LRESULT(self->handleMessage(message, wParam, lParam));
            if (handled >= 0) return handled;
        } catch (...) {
            return 0;
        }
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

bool registerClass() {
    if (openWindows++ > 0) return true;
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    // No CS_HREDRAW/VREDRAW and no background brush: exposed parts are
    // painted straight from the surface, never erased first.
    wc.style = CS_DBLCLKS;
    wc.lpfnWndProc = windowProc;
    wc.hInstance = ownModule();
    wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    wc.lpszClassName = kClassName;
    if (RegisterClassExW(&wc) || GetLastError() == ERROR_CLASS_ALREADY_EXISTS) return true;
    --openWindows;
    return false;
}

void unregisterClass() {
    if (openWindows.fetch_sub(1) == 1) UnregisterClassW(kClassName, ownModule());
}

// The modifier keys as the thread's keyboard state has them with the message
// being handled (Alt is not among a mouse message's flags).
long modifierKeys() {
    long b = 0;
    if (GetKeyState(VK_SHIFT) < 0) b |= kShift;
    if (GetKeyState(VK_CONTROL) < 0) b |= kControl;
    if (GetKeyState(VK_MENU) < 0) b |= kAlt;
    return b;
}

long buttonsFromFlags(WPARAM flags) {
    long b = 0;
    if (flags & MK_LBUTTON) b |= kLButton;
    if (flags & MK_MBUTTON) b |= kMButton;
    if (flags & MK_RBUTTON) b |= kRButton;
    if (flags & MK_SHIFT) b |= kShift;
    if (flags & MK_CONTROL) b |= kControl;
    return b | (modifierKeys() & kAlt);
}

using GetDpiForWindowFunction = UINT(WINAPI*)(HWND);
using GetDpiForSystemFunction = UINT(WINAPI*)();

// Windows 10 1607 and later; older systems (and Wine) may lack them.
template <typename F> F user32Function(const char* name) {
    HMODULE user32 = GetModuleHandleW(L"user32.dll");
    return user32 ? reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(user32, name)))
                  : nullptr;
}

int deviceDpi(HWND hwnd) {
    HDC dc = GetDC(hwnd);
    if (!dc) return 96;
    int dpi = GetDeviceCaps(dc, LOGPIXELSX);
    ReleaseDC(hwnd, dc);
    return dpi > 0 ? dpi : 96;
}

} // namespace

std::unique_ptr<IPlatformWindow> createNativeWindow() {
    return std::make_unique<CWin32Window>();
}

int nativeScreenDpi() {
    if (auto forSystem = user32Function<GetDpiForSystemFunction>("GetDpiForSystem"))
        if (UINT dpi = forSystem()) return int(dpi);
    return deviceDpi(nullptr);
}

CWin32Window::~CWin32Window() {
    close();
}

bool CWin32Window::open(void* parent, const CSurface& s) {
    close();
    HWND parentWindow = static_cast<HWND>(parent);
    if (!parentWindow || !IsWindow(parentWindow) || s.width() <= 0 || s.height() <= 0) return false;
    if (!registerClass()) return false;
    holdsClass = true;
    surface = &s;
    HWND hwnd = CreateWindowExW(0, kClassName, L"", WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS, 0, 0,
                                s.width(), s.height(), parentWindow, nullptr, ownModule(), this);
    if (!hwnd) {
        close();
        return false;
    }
    window = hwnd;
    postTarget.store(hwnd);
    // Files dragged from the shell arrive as WM_DROPFILES.
    DragAcceptFiles(hwnd, TRUE);
    return true;
}

void CWin32Window::close() {
    postTarget.store(nullptr);
    if (window) {
        HWND hwnd = window;
        window = nullptr;
        if (IsWindow(hwnd)) {
            // What Windows sends while destroying it goes to the default
            // procedure, not to this object.
            SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
            if (GetWindowThreadProcessId(hwnd, nullptr) == GetCurrentThreadId()) {
                DestroyWindow(hwnd);
            } else {
                // Only the window's own thread may destroy it: it is left to the
                // default procedure, which destroys it on the close message
                // when that thread next handles its messages.
                SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&DefWindowProcW));
                PostMessageW(hwnd, WM_CLOSE, 0, 0);
            }
        }
    }
    // Also when the host destroyed the window (and ours with it) first.
    if (holdsClass) unregisterClass();
    holdsClass = false;
    surface = nullptr;
    events.clear();
    buttons = 0;
    captured = false;
}

void CWin32Window::requestClose() {
    // The window procedure leaves the close message to the default one,
    // which destroys the window; WM_DESTROY then ends any drag in progress.
    if (HWND hwnd = postTarget.load()) PostMessageW(hwnd, WM_CLOSE, 0, 0);
}

void CWin32Window::paintRect(void* dcHandle, const CRect& r) const {
    if (!surface) return;
    const int x0 = std::max(r.left, 0), y0 = std::max(r.top, 0);
    const int x1 = std::min(r.right, surface->width()), y1 = std::min(r.bottom, surface->height());
    if (x0 >= x1 || y0 >= y1) return;
    // A DIB of just rows y0..y1, full width: its first scan line is the
    // surface's row y0, so no bottom-up origin arithmetic is involved.
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = surface->width();
    info.bmiHeader.biHeight = -(y1 - y0); // negative: top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    const std::uint32_t* rows = surface->data() + std::size_t(y0) * std::size_t(surface->width());
    SetDIBitsToDevice(static_cast<HDC>(dcHandle), x0, y0, DWORD(x1 - x0), DWORD(y1 - y0), x0, 0, 0,
                      UINT(y1 - y0), rows, &info, DIB_RGB_COLORS);
}

void CWin32Window::show(const std::vector<CRect>& rects) {
    if (!window || rects.empty()) return;
    HDC dc = GetDC(window);
    if (!dc) return;
    for (const CRect& r : rects)
        paintRect(dc, r);
    ReleaseDC(window, dc);
}

long long CWin32Window::handleMessage(unsigned message, unsigned long long wParam,
                                      long long lParam) {
    auto queueDown = [&](long bit) {
        mouse = CPoint(short(LOWORD(lParam)), short(HIWORD(lParam)));
        buttons = buttonsFromFlags(WPARAM(wParam));
        events.push_back(Event{Kind::Down, mouse, bit | (buttons & ~kMouseButtonsMask), {}});
        // Moves and the release come to us even outside the window while a
        // control drags.
        SetCapture(window);
        captured = true;
        return 0;
    };
    switch (message) {
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(window, &ps);
        if (dc) {
            // The surface still holds the picture: show it again, no redraw.
            paintRect(dc,
                      CRect(ps.rcPaint.left, ps.rcPaint.top, ps.rcPaint.right, ps.rcPaint.bottom));
            EndPaint(window, &ps);
        }
        return 0;
    }
    case WM_ERASEBKGND:
        return 1; // painting covers every pixel
    case WM_LBUTTONDOWN:
        return queueDown(kLButton);
    case WM_LBUTTONDBLCLK:
        return queueDown(kLButton | kDoubleClick);
    case WM_RBUTTONDOWN:
    case WM_RBUTTONDBLCLK:
        return queueDown(kRButton);
    case WM_MBUTTONDOWN:
    case WM_MBUTTONDBLCLK:
        return queueDown(kMButton);
    case WM_MOUSEMOVE:
        mouse = CPoint(short(LOWORD(lParam)), short(HIWORD(lParam)));
        buttons = buttonsFromFlags(WPARAM(wParam));
        // Without a button held only the latest of a run of moves matters; a
        // drag sees every one (the bar editor draws each column it crosses).
        if (!events.empty() && events.back().kind == Kind::Moved && !(buttons & kMouseButtonsMask))
            events.back() = Event{Kind::Moved, mouse, buttons, {}};
        else
            events.push_back(Event{Kind::Moved, mouse, buttons, {}});
        return 0;
    case WM_LBUTTONUP:
    case WM_RBUTTONUP:
    case WM_MBUTTONUP:
        // The flags are those after the release: the buttons still held.
        mouse = CPoint(short(LOWORD(lParam)), short(HIWORD(lParam)));
        buttons = buttonsFromFlags(WPARAM(wParam));
        if (!(buttons & kMouseButtonsMask) && captured) {
            captured = false; // before the release, so that it is not taken for a loss
            ReleaseCapture();
        }
        events.push_back(Event{Kind::Up, mouse, buttons, {}});
        return 0;
    case WM_MOUSEWHEEL: {
        // The wheel's position is on the screen.
        POINT at{short(LOWORD(lParam)), short(HIWORD(lParam))};
        ScreenToClient(window, &at);
        Event e{Kind::Wheel,
                CPoint(int(at.x), int(at.y)),
                buttonsFromFlags(WPARAM(LOWORD(wParam))) & ~kMouseButtonsMask,
                {}};
        e.distance = float(short(HIWORD(wParam))) / float(kWheelNotch);
        events.push_back(std::move(e));
        return 0;
    }
    case WM_KEYDOWN: {
        // The movement keys type no character: WM_CHAR never tells of them.
        long key = 0;
        switch (wParam) {
        case VK_UP:
            key = kKeyUp;
            break;
        case VK_DOWN:
            key = kKeyDown;
            break;
        case VK_PRIOR:
            key = kKeyPageUp;
            break;
        case VK_NEXT:
            key = kKeyPageDown;
            break;
        default:
            return -1; // Windows' own handling, which makes the WM_CHAR
        }
        Event e{Kind::Key, mouse, modifierKeys(), {}};
        e.key = key;
        events.push_back(std::move(e));
        return 0;
    }
    case WM_CHAR: {
        Event e{Kind::Key, mouse, modifierKeys(), {}};
        e.key = long(wParam);
        events.push_back(std::move(e));
        return 0;
    }
    case WM_DROPFILES:
        queueDrop(reinterpret_cast<void*>(wParam));
        return 0;
    case WM_CAPTURECHANGED:
        // Another window took the mouse: a press in progress must end, as it
        // would never see the release.
        if (captured) events.push_back(Event{Kind::Cancelled, mouse, 0, {}});
        captured = false;
        buttons &= ~kMouseButtonsMask;
        return 0;
    case WM_DESTROY:
        // Gone with the host's window, or closed by us.
        if (captured) events.push_back(Event{Kind::Cancelled, mouse, 0, {}});
        captured = false;
        window = nullptr;
        postTarget.store(nullptr);
        buttons = 0;
        return 0;
    default:
        return -1;
    }
}

void CWin32Window::pumpEvents(IPlatformWindowEvents& sink) {
    // A handler may let messages in (a dialog) that queue more; take only
    // what is here now.
    std::deque<Event> now;
    now.swap(events);
    // What the user did before the window went still counts: the frame
    // decides whether it still handles events.
    for (const Event& e : now) {
        switch (e.kind) {
        case Kind::Down:
            sink.onMouseDown(e.where, e.buttons);
            break;
        case Kind::Moved:
            sink.onMouseMoved(e.where, e.buttons);
            break;
        case Kind::Up:
            sink.onMouseUp(e.where, e.buttons);
            break;
        case Kind::Cancelled:
            sink.onMouseCancelled();
            break;
        case Kind::Wheel:
            sink.onMouseWheel(e.where, e.distance, e.buttons);
            break;
        case Kind::Key:
            sink.onKeyDown(e.key, e.buttons);
            break;
        case Kind::Dropped:
            sink.onFilesDropped(e.paths, e.where);
            break;
        }
    }
}

void CWin32Window::queueDrop(void* handle) {
    HDROP drop = static_cast<HDROP>(handle);
    POINT at{0, 0};
    DragQueryPoint(drop, &at); // in the window's client area
    Event e{Kind::Dropped, CPoint(int(at.x), int(at.y)), 0, {}};
    const UINT count = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
    for (UINT i = 0; i < count; ++i) {
        // Wide names: a path in any language reaches the frame whole, as UTF-8.
        const UINT length = DragQueryFileW(drop, i, nullptr, 0);
        if (length == 0) continue;
        std::wstring wide(std::size_t(length) + 1, L'\0');
        if (DragQueryFileW(drop, i, wide.data(), length + 1) != length) continue;
        wide.resize(length);
        const int bytes = WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), int(length), nullptr, 0,
                                              nullptr, nullptr);
        if (bytes <= 0) continue;
        std::string path(std::size_t(bytes), '\0');
        WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), int(length), path.data(), bytes, nullptr,
                            nullptr);
        e.paths.push_back(std::move(path));
    }
    DragFinish(drop);
    if (!e.paths.empty()) events.push_back(std::move(e));
}

int windowDpi(void* handle) {
    HWND hwnd = static_cast<HWND>(handle);
    if (!hwnd || !IsWindow(hwnd)) return nativeScreenDpi();
    if (auto forWindow = user32Function<GetDpiForWindowFunction>("GetDpiForWindow"))
        if (UINT dpi = forWindow(hwnd)) return int(dpi);
    return deviceDpi(hwnd);
}

} // namespace qgui
