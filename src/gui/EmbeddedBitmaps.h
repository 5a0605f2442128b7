#pragma once
// The editor's artwork, embedded in the plug-in as PNG files.
//
// The bitmaps are drawn at build time by the artwork generator in resources/
// (once at scale 1 and once, redrawn rather than upscaled, at scale 2) and
// compiled in as byte arrays on Linux; on Windows the same files are linked
// in as resources of type "PNG" (win32/ResourceBitmaps.cpp). The framework
// decodes them with libpng when the window opens.

#include <cstddef>

namespace qgui {

struct EmbeddedPng {
    int id;                     // resource ID, 120..199
    int scale;                  // 1 or 2; a scale-2 image is twice as wide and high
    const unsigned char* bytes; // the PNG file
    std::size_t size;           // its length in bytes
};

// The PNG of bitmap `id` drawn for `scale`, or nullptr when there is none.
// Any thread; the arrays are constant.
const EmbeddedPng* findEmbeddedPng(int id, int scale);

} // namespace qgui
