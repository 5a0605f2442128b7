#pragma once
// Drawing into the window's surface. Callers give every coordinate in window
// pixels at scale 1; the context maps them by the scale (CScale.h says how
// edges and lines land at 1.5), so the same drawing code makes a sharp
// picture at 1.5 and 2 (thicker lines, text set at the scaled size, bitmaps
// from the artwork drawn for that scale).
//
// All drawing is clipped to the clip rectangle, which the frame sets to the
// area it is repainting. UI thread only.

#include "gui/CColor.h"
#include "gui/CFontRenderer.h"
#include "gui/CRect.h"
#include "gui/CScale.h"

namespace qgui {

class CBitmap;
class CSurface;

enum CHoriTxtAlign { kLeftText = 0, kCenterText, kRightText };

class CDrawContext {
public:
    // fonts may be null; text is then not drawn.
    CDrawContext(CSurface& surface, CScale scale, CFontRenderer* fonts);

    CScale getScale() const { return scale; }
    CSurface& getSurface() { return surface; }

    // Scale-1 rectangle; kept inside the window.
    void setClipRect(const CRect& clip);
    const CRect& getClipRect() const { return clipRect; }
    void resetClipRect();

    void setFrameColor(const CColor& c) { frameColor = c; } // lines and outlines
    void setFillColor(const CColor& c) { fillColor = c; }
    void setFontColor(const CColor& c) { fontColor = c; }
    void setFont(CFontId f) { font = f; }
    void setLineWidth(int w) { lineWidth = w < 1 ? 1 : w; }
    const CColor& getFrameColor() const { return frameColor; }
    const CColor& getFillColor() const { return fillColor; }
    const CColor& getFontColor() const { return fontColor; }
    CFontId getFont() const { return font; }
    int getLineWidth() const { return lineWidth; }

    // A line from the centre of pixel a to the centre of pixel b, both ends
    // included, lineWidth pixels thick, in the frame colour.
    void drawLine(const CPoint& a, const CPoint& b);
    void moveTo(const CPoint& p) { pen = p; }
    void lineTo(const CPoint& p) {
        drawLine(pen, p);
        pen = p;
    }
    void fillRect(const CRect& r); // fill colour
    void drawRect(const CRect& r); // outline inside r, frame colour
    // The polygon through the points (closed), filled with the fill colour by
    // the even-odd rule; a pixel is inside when its centre is.
    void fillPolygon(const CPoint* points, int count);

    // text in the current font and font colour, aligned horizontally in r and
    // centred vertically on its capitals; clipped to r.
    void drawString(const char* text, const CRect& r, CHoriTxtAlign align = kCenterText);
    // Width of text in the current font at scale 1 (may be a fraction at 1.5 and 2).
    double getStringWidth(const char* text);
    // Line height of the current font at scale 1, rounded up.
    int getFontHeight() const;

    // Used by CBitmap::draw.
    void drawBitmap(const CBitmap& bitmap, const CRect& dest, const CPoint& offset);

private:
    // Clip r (surface pixels) to the clip; false when nothing is left.
    bool clipDevice(int& x0, int& y0, int& x1, int& y1) const;
    void fillDevice(int x0, int y0, int x1, int y1, const CColor& c);

    CSurface& surface;
    CScale scale;
    CFontRenderer* fonts;
    CRect windowRect; // the whole surface at scale 1
    CRect clipRect;
    CColor frameColor = kBlackCColor;
    CColor fillColor = kWhiteCColor;
    CColor fontColor = kBlackCColor;
    CFontId font = kStandardFont;
    int lineWidth = 1;
    CPoint pen;
};

} // namespace qgui
