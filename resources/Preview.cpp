#include "Preview.h"

#include "Layout.h"
#include "Palette.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace artwork {

namespace {

namespace l = layout;

// Copies the w x h rectangle at (sx, sy) of a bitmap to (dx, dy) of the window.
void blit(Canvas& c, cairo_surface_t* bmp, int sx, int sy, int w, int h, int dx, int dy) {
    cairo_t* cr = c.cr();
    cairo_save(cr);
    cairo_rectangle(cr, dx, dy, w, h);
    cairo_clip(cr);
    // The bitmap's pixels are already at the canvas's scale, placed as the
    // editor places them.
    cairo_translate(cr, c.snap(dx) - c.snap(sx), c.snap(dy) - c.snap(sy));
    cairo_scale(cr, 1.0 / c.scale().factor(), 1.0 / c.scale().factor());
    cairo_set_source_surface(cr, bmp, 0, 0);
    cairo_paint(cr);
    cairo_restore(cr);
}

int clampFrame(int i, int n) {
    return std::max(0, std::min(n - 1, i));
}

void envelopeCurve(Canvas& c, const l::Control& k) {
    const double left = k.x + 4, right = k.x + k.w - 4, top = k.y + 4, bottom = k.y + k.h - 18;
    const Colour curve = rgb(0x00aaff), grid = rgb(0x004261), selected = rgb(0xffc900);
    const double px[5] = {0, 0.08, 0.25, 0.55, 0.8};
    const double lv[5] = {0, 1.0, 0.62, 0.62, 0};
    cairo_t* cr = c.cr();
    auto X = [&](double t) { return left + t * (right - left); };
    auto Y = [&](double v) { return bottom - v * (bottom - top); };
    c.line(X(0.25), top, X(0.25), bottom, grid);
    c.line(X(0.55), top, X(0.55), bottom, grid);
    cairo_new_path(cr);
    cairo_move_to(cr, X(0), Y(0));
    for (int i = 1; i < 5; ++i) {
        const double x0 = X(px[i - 1]), x1 = X(px[i]);
        for (double x = x0; x <= x1; x += 1) {
            const double f = (x - x0) / std::max(1.0, x1 - x0);
            const double shaped = lv[i] > lv[i - 1] ? 1 - std::pow(1 - f, 2.5) : std::pow(f, 0.4);
            cairo_line_to(cr, x, Y(lv[i - 1] + (lv[i] - lv[i - 1]) * shaped));
        }
    }
    c.setColour(curve);
    cairo_set_line_width(cr, 1);
    cairo_stroke(cr);
    for (int i = 0; i < 5; ++i)
        c.fillRoundRect(X(px[i]) - 4, Y(lv[i]) - 4, 8, 8, 0, i == 2 ? selected : curve);
    c.text(X(0.25) + 2, bottom - 5, "S", 8, curve);
    c.text(X(0.55) - 8, bottom - 5, "E", 8, curve);
    for (int i = 0; i < 8; ++i) {
        char axis[16];
        std::snprintf(axis, sizeof axis, "%.2f", i * 1.25);
        c.text(left + i * 55, bottom + 13, axis, 8, rgb(0), Align::Left, Font::Regular);
    }
}

} // namespace

void drawPreview(Canvas& c, bool samplerLayout,
                 const std::function<cairo_surface_t*(int)>& bitmap) {
    blit(
        c,
        bitmap(samplerLayout ? editorbitmaps::kBackgroundSampler : editorbitmaps::kBackgroundMixer),
        0, 0, l::kWindowWidth, l::kWindowHeight, 0, 0);
    for (const l::Control& k : l::controls(samplerLayout)) {
        cairo_surface_t* bmp = k.bitmap ? bitmap(k.bitmap) : nullptr;
        switch (k.kind) {
        case l::Kind::Knob:
            blit(c, bmp, 0, k.h * clampFrame(int(k.value * 55), 55), k.w, k.h, k.x, k.y);
            break;
        case l::Kind::Button:
            blit(c, bmp, 0, k.h * clampFrame(int(k.value * (k.frames - 1) + 0.001), k.frames), k.w,
                 k.h, k.x, k.y);
            break;
        case l::Kind::Selector:
            blit(c, bmp, k.w * clampFrame(int(k.value * k.frames), k.frames), 0, k.w, k.h, k.x,
                 k.y);
            break;
        case l::Kind::Cell:
            blit(c, bmp, 0, k.h * int(k.value), k.w, k.h, k.x, k.y);
            c.text(k.x + (k.bitmap >= 178 && k.bitmap <= 185 ? 34 : k.w / 2.0), k.y + 10.5, k.text,
                   8, rgb(0), k.bitmap >= 178 && k.bitmap <= 185 ? Align::Left : Align::Centre,
                   Font::Regular);
            break;
        case l::Kind::Menu:
            blit(c, bmp, 0, 0, k.w, k.h, k.x, k.y);
            c.text(k.x + 4, k.y + k.h - 2.5, k.text, 8, k.whiteText ? rgb(0xffffff) : rgb(0),
                   Align::Left, Font::Regular);
            break;
        case l::Kind::PlainNumber:
        case l::Kind::DigitNumber:
            c.fillRoundRect(k.x, k.y, k.w, k.h, 0, rgb(0x010101));
            c.text(k.kind == l::Kind::DigitNumber ? k.x + k.w - 2 : k.x + k.w / 2.0, k.y + 10.5,
                   k.text, 9, rgb(0xff0000),
                   k.kind == l::Kind::DigitNumber ? Align::Right : Align::Centre, Font::Regular);
            break;
        case l::Kind::Spectrum:
            for (int i = 0; i < 32; ++i) {
                double v = k.value == 0 ? 1.0 / (i + 1) : std::fmod(i * 0.37, 1.0);
                if (k.value == 0) v = std::cbrt(v * (i % 2 == 0 ? 1.0 : 0.3));
                const int level = clampFrame(int(v * 100), 100);
                blit(c, bmp, level * 3, 0, 3, k.h, k.x + 3 * i, k.y);
            }
            break;
        case l::Kind::WaveView:
            for (int i = 0; i < k.w; ++i) {
                const double t = i / double(k.w);
                const double wave = 0.9 * std::sin(2 * M_PI * t + 1.4 * std::sin(4 * M_PI * t));
                const int level = clampFrame(int(180 * (wave * 0.5 + 0.5)), 180);
                blit(c, bmp, level, 0, 1, k.h, k.x + i, k.y);
            }
            break;
        case l::Kind::EnvelopeView:
            blit(c, bmp, 0, 0, k.w, k.h, k.x, k.y);
            envelopeCurve(c, k);
            break;
        }
    }
}

} // namespace artwork
