#pragma once
// A Cairo image surface sized in window pixels and drawn at scale 1, 1.5 or 2.
//
// Every drawing routine of the artwork works in window pixels; the canvas
// scales them, so the 1.5 and 2 sets are renderings of the same vector
// drawing, never enlargements of the scale-1 pixels. The surface is as large
// as the editor maps the bitmap's size (CScale.h), so at 1.5 an odd size
// loses the last half pixel.

#include "gui/CScale.h"

#include <cairo.h>

#include <string>
#include <vector>

namespace artwork {

struct Colour {
    double r, g, b, a = 1.0;
    Colour withAlpha(double alpha) const { return {r, g, b, alpha}; }
    Colour mixedWith(const Colour& other, double t) const;
};

// 0xRRGGBB
Colour rgb(unsigned hex, double alpha = 1.0);

enum class Font { Regular, Bold, Condensed, CondensedBold };
enum class Align { Left, Centre, Right };

class Canvas {
public:
    Canvas(int width, int height, qgui::CScale scale);
    ~Canvas();
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;

    int width() const { return width_; }
    int height() const { return height_; }
    qgui::CScale scale() const { return scale_; }
    // The window coordinate of the surface pixel edge where the editor puts
    // window coordinate x (CScale.h): x itself at scales 1 and 2.
    double snap(int x) const { return scale_.toSurface(x) / scale_.factor(); }
    cairo_t* cr() const { return cr_; }
    cairo_surface_t* surface() const { return surface_; }

    void setColour(const Colour& c);
    void roundRect(double x, double y, double w, double h, double radius);
    void fillRoundRect(double x, double y, double w, double h, double radius, const Colour& c);
    // Vertical gradient from `top` to `bottom` over the rectangle.
    void fillRoundRectV(double x, double y, double w, double h, double radius, const Colour& top,
                        const Colour& bottom);
    void strokeRoundRect(double x, double y, double w, double h, double radius, const Colour& c,
                         double lineWidth = 1.0);
    void line(double x0, double y0, double x1, double y1, const Colour& c, double lineWidth = 1.0);

    // Text with its baseline at y; `tracking` adds space between letters.
    void text(double x, double y, const std::string& s, double size, const Colour& c,
              Align align = Align::Left, Font font = Font::Bold, double tracking = 0.0);
    double textWidth(const std::string& s, double size, Font font, double tracking = 0.0);

    // The surface as a PNG file.
    std::vector<unsigned char> png() const;

private:
    void selectFont(Font font, double size);

    int width_, height_;
    qgui::CScale scale_;
    cairo_surface_t* surface_;
    cairo_t* cr_;
};

} // namespace artwork
