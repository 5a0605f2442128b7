#include "Canvas.h"

#include <cairo-ft.h>
#include <ft2build.h>
#include FT_FREETYPE_H

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace artwork {

namespace {

// The fonts are named by file, never looked up, so that every machine with
// Debian's DejaVu fonts draws the same pixels.
const char* const kRegularFont = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
const char* const kBoldFont = "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf";

// The condensed styles are the normal faces narrowed; labels of small
// buttons need the room.
const double kCondensedWidth = 0.86;

struct Fonts {
    FT_Library library = nullptr;
    cairo_font_face_t* regular = nullptr;
    cairo_font_face_t* bold = nullptr;
};

cairo_font_face_t* loadFace(FT_Library library, const char* path) {
    FT_Face face = nullptr;
    if (FT_New_Face(library, path, 0, &face) != 0) {
        std::fprintf(stderr,
                     "artwork: cannot read the font %s (Debian package fonts-dejavu-core)\n", path);
        std::exit(1);
    }
    cairo_font_face_t* cairoFace = cairo_ft_font_face_create_for_ft_face(face, 0);
    // The FreeType face lives as long as the Cairo face.
    static const cairo_user_data_key_t key{};
    cairo_font_face_set_user_data(cairoFace, &key, face,
                                  [](void* f) { FT_Done_Face(static_cast<FT_Face>(f)); });
    return cairoFace;
}

Fonts& fonts() {
    static Fonts f = [] {
        Fonts loaded;
        if (FT_Init_FreeType(&loaded.library) != 0) {
            std::fprintf(stderr, "artwork: FreeType did not start\n");
            std::exit(1);
        }
        loaded.regular = loadFace(loaded.library, kRegularFont);
        loaded.bold = loadFace(loaded.library, kBoldFont);
        return loaded;
    }();
    return f;
}

// Splits UTF-8 text into its characters, for letter spacing.
std::vector<std::string> characters(const std::string& s) {
    std::vector<std::string> out;
    for (std::size_t i = 0; i < s.size();) {
        std::size_t n = 1;
        const unsigned char c = static_cast<unsigned char>(s[i]);
        if (c >= 0xf0)
            n = 4;
        else if (c >= 0xe0)
            n = 3;
        else if (c >= 0xc0)
            n = 2;
        out.push_back(s.substr(i, n));
        i += n;
    }
    return out;
}

cairo_status_t appendBytes(void* closure, const unsigned char* data, unsigned int length) {
    auto* out = static_cast<std::vector<unsigned char>*>(closure);
    out->insert(out->end(), data, data + length);
    return CAIRO_STATUS_SUCCESS;
}

} // namespace

Colour Colour::mixedWith(const Colour& o, double t) const {
    return {r + (o.r - r) * t, g + (o.g - g) * t, b + (o.b - b) * t, a + (o.a - a) * t};
}

Colour rgb(unsigned hex, double alpha) {
    return {((hex >> 16) & 0xff) / 255.0, ((hex >> 8) & 0xff) / 255.0, (hex & 0xff) / 255.0, alpha};
}

Canvas::Canvas(int width, int height, qgui::CScale scale)
    : width_(width), height_(height), scale_(scale),
      surface_(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, scale.toSurface(width),
                                          scale.toSurface(height))),
      cr_(cairo_create(surface_)) {
    cairo_scale(cr_, scale.factor(), scale.factor());
    cairo_font_options_t* options = cairo_font_options_create();
    cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_GRAY);
    cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_SLIGHT);
    cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
    cairo_set_font_options(cr_, options);
    cairo_font_options_destroy(options);
}

Canvas::~Canvas() {
    cairo_destroy(cr_);
    cairo_surface_destroy(surface_);
}

void Canvas::setColour(const Colour& c) {
    cairo_set_source_rgba(cr_, c.r, c.g, c.b, c.a);
}

void Canvas::roundRect(double x, double y, double w, double h, double radius) {
    if (radius <= 0) {
        cairo_rectangle(cr_, x, y, w, h);
        return;
    }
    const double r = std::fmin(radius, std::fmin(w, h) / 2);
    cairo_new_sub_path(cr_);
    cairo_arc(cr_, x + w - r, y + r, r, -M_PI / 2, 0);
    cairo_arc(cr_, x + w - r, y + h - r, r, 0, M_PI / 2);
    cairo_arc(cr_, x + r, y + h - r, r, M_PI / 2, M_PI);
    cairo_arc(cr_, x + r, y + r, r, M_PI, 3 * M_PI / 2);
    cairo_close_path(cr_);
}

void Canvas::fillRoundRect(double x, double y, double w, double h, double radius, const Colour& c) {
    roundRect(x, y, w, h, radius);
    setColour(c);
    cairo_fill(cr_);
}

void Canvas::fillRoundRectV(double x, double y, double w, double h, double radius,
                            const Colour& top, const Colour& bottom) {
    cairo_pattern_t* p = cairo_pattern_create_linear(0, y, 0, y + h);
    cairo_pattern_add_color_stop_rgba(p, 0, top.r, top.g, top.b, top.a);
    cairo_pattern_add_color_stop_rgba(p, 1, bottom.r, bottom.g, bottom.b, bottom.a);
    roundRect(x, y, w, h, radius);
    cairo_set_source(cr_, p);
    cairo_fill(cr_);
    cairo_pattern_destroy(p);
}

void Canvas::strokeRoundRect(double x, double y, double w, double h, double radius, const Colour& c,
                             double lineWidth) {
    // Inset by half the line so that the stroke stays inside the rectangle.
    const double i = lineWidth / 2;
    roundRect(x + i, y + i, w - lineWidth, h - lineWidth, radius - i);
    setColour(c);
    cairo_set_line_width(cr_, lineWidth);
    cairo_stroke(cr_);
}

void Canvas::line(double x0, double y0, double x1, double y1, const Colour& c, double lineWidth) {
    cairo_move_to(cr_, x0, y0);
    cairo_line_to(cr_, x1, y1);
    setColour(c);
    cairo_set_line_width(cr_, lineWidth);
    cairo_stroke(cr_);
}

void Canvas::selectFont(Font font, double size) {
    Fonts& f = fonts();
    const bool bold = font == Font::Bold || font == Font::CondensedBold;
    cairo_set_font_face(cr_, bold ? f.bold : f.regular);
    const bool condensed = font == Font::Condensed || font == Font::CondensedBold;
    cairo_matrix_t m;
    cairo_matrix_init_scale(&m, condensed ? size * kCondensedWidth : size, size);
    cairo_set_font_matrix(cr_, &m);
}

double Canvas::textWidth(const std::string& s, double size, Font font, double tracking) {
    selectFont(font, size);
    double w = 0;
    const std::vector<std::string> chars = characters(s);
    for (const std::string& ch : chars) {
        cairo_text_extents_t e;
        cairo_text_extents(cr_, ch.c_str(), &e);
        w += e.x_advance;
    }
    if (!chars.empty()) w += tracking * (chars.size() - 1);
    return w;
}

void Canvas::text(double x, double y, const std::string& s, double size, const Colour& c,
                  Align align, Font font, double tracking) {
    const double w = textWidth(s, size, font, tracking);
    if (align == Align::Centre)
        x -= w / 2;
    else if (align == Align::Right)
        x -= w;
    selectFont(font, size);
    setColour(c);
    for (const std::string& ch : characters(s)) {
        cairo_move_to(cr_, x, y);
        cairo_show_text(cr_, ch.c_str());
        cairo_text_extents_t e;
        cairo_text_extents(cr_, ch.c_str(), &e);
        x += e.x_advance + tracking;
    }
}

std::vector<unsigned char> Canvas::png() const {
    cairo_surface_flush(surface_);
    std::vector<unsigned char> out;
    cairo_surface_write_to_png_stream(surface_, appendBytes, &out);
    return out;
}

} // namespace artwork
