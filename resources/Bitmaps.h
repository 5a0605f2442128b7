#pragma once
// The editor's bitmaps, as the editor's bitmap table declares them (resource
// IDs, sizes and filmstrip frames), and the routine that draws each.

#include "Canvas.h"
#include "editor/BitmapIds.h"

#include <vector>

namespace artwork {

namespace bmp = editorbitmaps;
using BitmapSpec = editorbitmaps::BitmapSpec;

const std::vector<BitmapSpec>& bitmapTable();
const BitmapSpec& bitmapSpec(int id);

// Draws bitmap `id` whole, every frame, onto a canvas of its size.
void drawBitmap(Canvas& canvas, const BitmapSpec& art);

// Drawing routines by theme (Controls.cpp, Displays.cpp, Panels.cpp).
void drawKnobFrame(Canvas& c, double size, double value);
void drawControlFrame(Canvas& c, const BitmapSpec& art, int frame);
void drawDisplayFrame(Canvas& c, const BitmapSpec& art, int frame);
bool isDisplay(int id);
void drawBackground(Canvas& c, bool samplerLayout);
void drawSplash(Canvas& c);
void drawEnvelopeBackground(Canvas& c);

} // namespace artwork
