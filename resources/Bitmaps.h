#pragma once
// The editor's bitmaps: resource IDs, sizes and filmstrip frames, and the
// routine that draws each.

#include "Canvas.h"

#include <vector>

namespace artwork {

struct BitmapSpec {
    int id;
    int width, height; // whole bitmap in window pixels
    int frames;
    bool sideBySide; // frames left to right (selectors, level images), else top to bottom
    int frameWidth() const { return sideBySide ? width / frames : width; }
    int frameHeight() const { return sideBySide ? height : height / frames; }
};

const std::vector<BitmapSpec>& bitmapTable();
const BitmapSpec& bitmapSpec(int id);

// Draws bitmap `id` whole, every frame, onto a canvas of its size.
void drawBitmap(Canvas& canvas, const BitmapSpec& spec);

// Resource IDs with a meaning of their own.
inline constexpr int kBackgroundMixer = 120;
inline constexpr int kBackgroundSampler = 176;
inline constexpr int kSplash = 191;
inline constexpr int kEnvelopeBackground = 157;

// Drawing routines by theme (Controls.cpp, Displays.cpp, Panels.cpp).
void drawKnobFrame(Canvas& c, double size, double value);
void drawControlFrame(Canvas& c, const BitmapSpec& spec, int frame);
void drawDisplayFrame(Canvas& c, const BitmapSpec& spec, int frame);
bool isDisplay(int id);
void drawBackground(Canvas& c, bool samplerLayout);
void drawSplash(Canvas& c);
void drawEnvelopeBackground(Canvas& c);

} // namespace artwork
