#pragma once
// What the Windows checks share: pumping the thread's messages, reading a
// window's pixels back and comparing them with a rendering of the Linux
// build.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace windowpixels {

// Dispatches every message the thread has.
inline void pumpMessages() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

// The window's pixels as 0x00RRGGBB, top row first, read back through a DIB.
inline std::vector<std::uint32_t> capture(HWND window, int width, int height) {
    std::vector<std::uint32_t> out;
    HDC dc = GetDC(window);
    if (!dc) return out;
    HDC memory = CreateCompatibleDC(dc);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP dib = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (memory && dib) {
        HGDIOBJ old = SelectObject(memory, dib);
        if (BitBlt(memory, 0, 0, width, height, dc, 0, 0, SRCCOPY)) {
            GdiFlush();
            const auto* p = static_cast<const std::uint32_t*>(bits);
            out.assign(p, p + std::size_t(width) * std::size_t(height));
            for (auto& v : out)
                v &= 0xffffff;
        }
        SelectObject(memory, old);
    }
    if (dib) DeleteObject(dib);
    if (memory) DeleteDC(memory);
    ReleaseDC(window, dc);
    return out;
}

// Pixels that differ in colour (alpha aside), with the first one described.
inline long countDifferences(const std::vector<std::uint32_t>& a,
                             const std::vector<std::uint32_t>& b, int width, std::string& first) {
    long n = 0;
    for (std::size_t i = 0; i < a.size() && i < b.size(); ++i)
        if ((a[i] & 0xffffff) != (b[i] & 0xffffff)) {
            if (n++ == 0) {
                char text[96];
                std::snprintf(text, sizeof text, "first at (%d, %d): %06x, not %06x",
                              int(i % std::size_t(width)), int(i / std::size_t(width)),
                              unsigned(a[i] & 0xffffff), unsigned(b[i] & 0xffffff));
                first = text;
            }
        }
    return n + long(a.size() > b.size() ? a.size() - b.size() : b.size() - a.size());
}

} // namespace windowpixels
