#pragma once
// The editor's artwork, embedded in the plug-in as PNG files.
//
// The bitmaps are drawn at build time by the artwork generator in resources/
// (once at scale 1 and again, redrawn rather than upscaled, at 1.5 and 2) and
// compiled in as byte arrays on Linux; on Windows the same files are linked
// in as resources of type "PNG" (win32/ResourceBitmaps.cpp). The framework
// decodes them with libpng when the window opens.

#include <cstddef>

namespace qgui {

struct EmbeddedPng {
    int id;                     // resource ID, 120..199
    int halves;                 // the scale in half steps: 2, 3 or 4 (CScale.h)
    const unsigned char* bytes; // the PNG file
    std::size_t size;           // its length in bytes
};

// The PNG of bitmap `id` drawn for the scale of `halves` half steps, or
// nullptr when there is none. Any thread; the arrays are constant.
const EmbeddedPng* findEmbeddedPng(int id, int halves);

} // namespace qgui
