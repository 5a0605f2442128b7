// The level images of the spectrum editors and the wave view, and the
// envelope editor's screen.

#include "Bitmaps.h"
#include "Palette.h"

#include <cmath>

namespace artwork {

namespace {

namespace p = palette;

constexpr int kSpectrumLevels = 100;
constexpr int kWaveLevels = 180;

void screen(Canvas& c, double x, double y, double w, double h) {
    c.fillRoundRectV(x, y, w, h, 0, p::screenTop, p::screenBottom);
}

// Faint level lines at quarters, drawn the same in every level image so that
// they run straight across the whole control.
void levelGrid(Canvas& c, double w, double h) {
    for (int i = 1; i < 4; ++i) {
        const double y = std::floor(h * i / 4.0);
        c.fillRoundRect(0, y, w, 1, 0, i == 2 ? p::screenGrid.withAlpha(0.16) : p::screenGrid);
    }
}

// One bar of a spectrum editor: 2 pixels of bar, 1 pixel of gap.
void spectrumLevel(Canvas& c, double w, double h, int level) {
    screen(c, 0, 0, w, h);
    levelGrid(c, w, h);
    const double barWidth = w - 1;
    if (level == 0) {
        c.fillRoundRect(0, h - 1, barWidth, 1, 0, p::accent.withAlpha(0.25));
        return;
    }
    const double top = h - h * level / double(kSpectrumLevels - 1);
    c.fillRoundRectV(0, top, barWidth, h - top, 0, p::accentBright, p::accentDeep);
    c.fillRoundRect(0, top, barWidth, 1, 0, rgb(0xe8f7ff));
}

// One column of the wave view: the wave's level as a trace, filled towards
// the centre line.
void waveLevel(Canvas& c, double w, double h, int level) {
    screen(c, 0, 0, w, h);
    levelGrid(c, w, h);
    const double centre = h / 2;
    const double y = h * (1 - (level + 0.5) / kWaveLevels);
    c.fillRoundRect(0, std::fmin(y, centre), w, std::fabs(centre - y), 0,
                    p::accent.withAlpha(0.28));
    c.fillRoundRect(0, y - 1, w, 2, 0, p::accentBright);
}

} // namespace

bool isDisplay(int id) {
    return id == bmp::kSpectrumBars || id == bmp::kWaveColumns;
}

void drawDisplayFrame(Canvas& c, const BitmapSpec& art, int frame) {
    if (art.id == bmp::kSpectrumBars)
        spectrumLevel(c, art.width / kSpectrumLevels, art.height, frame);
    else
        waveLevel(c, art.frameWidth(), art.frameHeight(), frame);
}

void drawEnvelopeBackground(Canvas& c) {
    // The editor plots inside 4 pixels of the edges and keeps an 18-pixel
    // strip at the bottom, where it writes the time axis in black.
    const double w = c.width(), h = c.height();
    const double left = 4, top = 4, right = w - 4, bottom = h - 18;
    c.fillRoundRect(0, 0, w, h, 0, p::panelEdge);
    c.fillRoundRectV(1, 1, w - 2, bottom + 2, 0, p::screenTop, p::screenBottom);
    for (int i = 1; i < 4; ++i) {
        const double y = std::floor(top + (bottom - top) * i / 4.0);
        c.fillRoundRect(left, y, right - left, 1, 0, p::screenGrid);
    }
    c.fillRoundRect(left, top, right - left, 1, 0, p::screenGrid.withAlpha(0.2));
    c.fillRoundRect(left, bottom, right - left, 1, 0, p::screenGrid.withAlpha(0.3));
    // The axis strip: light, for the black time labels.
    c.fillRoundRectV(1, bottom + 3, w - 2, h - bottom - 4, 0, rgb(0xb9c4cf), rgb(0x97a4b1));
    c.fillRoundRect(1, bottom + 3, w - 2, 1, 0, rgb(0xffffff, 0.45));
}

} // namespace artwork
