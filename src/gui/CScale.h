#pragma once
// The window's scale: how many surface pixels stand for one window pixel,
// 1, 1.5 or 2, held as a count of half steps (2, 3 or 4) so that every
// mapping stays in whole numbers.
//
// Views place everything in window pixels at scale 1. At 1 and 2 a window
// pixel is exactly 1 × 1 or 2 × 2 surface pixels. At 1.5 it is not, and this
// is the one place that decides where things land:
// - an edge at window coordinate x lands on surface coordinate ⌊1.5 x⌋, so
//   rectangles that touch at scale 1 still touch, with no gap and no overlap;
// - a line n window pixels thick is ⌊1.5 n + ½⌋ surface pixels thick
//   wherever it lies, so a 1-pixel line is 2 pixels everywhere, not 1 or 2
//   by the parity of its position;
// - a surface pixel maps back to the window pixel whose span holds it, so a
//   mouse position maps back exactly as at 1 and 2.
// Plain value; any thread.

namespace qgui {

class CScale {
public:
    // The scales the window draws at, in half steps.
    static constexpr int kMinHalves = 2;
    static constexpr int kMaxHalves = 4;

    constexpr CScale() = default;
    // A whole scale, 1 or 2 (kept within them). Implicit, so that a whole
    // number reads as the scale it names.
    constexpr CScale(int whole) : steps(clamp(2 * whole)) {}
    static constexpr CScale fromHalves(int halves) {
        CScale s;
        s.steps = clamp(halves);
        return s;
    }
    static constexpr CScale oneAndAHalf() { return fromHalves(3); }

    constexpr int halves() const { return steps; }
    constexpr bool isWhole() const { return steps % 2 == 0; }
    constexpr double factor() const { return steps / 2.0; }

    // A window coordinate (an edge) on the surface: rounded down.
    constexpr int toSurface(int window) const { return floorDiv(window * steps, 2); }
    // A thickness of n window pixels on the surface, the same wherever it lies.
    constexpr int thickness(int n) const { return floorDiv(n * steps + 1, 2); }
    // The window pixel whose span on the surface holds surface pixel p (also
    // left of and above the window, where a drag may go).
    constexpr int toWindow(int p) const { return floorDiv(2 * p + 1, steps); }
    // The window length whose surface length is pixels; -1 when no whole
    // window length maps there (an image that was not drawn for this scale).
    constexpr int windowLength(int pixels) const {
        const int n = (2 * pixels + steps - 1) / steps;
        return pixels >= 0 && toSurface(n) == pixels ? n : -1;
    }

    // The nearest scale the window draws at to factor (halves round up).
    static CScale nearest(double factor) {
        const double h = factor * 2.0 + 0.5;
        if (!(h >= kMinHalves)) return fromHalves(kMinHalves); // also NaN
        if (h >= kMaxHalves) return fromHalves(kMaxHalves);
        return fromHalves(int(h));
    }

    // The scale as people write it: "1", "1.5", "2".
    const char* text() const { return steps == 2 ? "1" : steps == 3 ? "1.5" : "2"; }

    constexpr bool operator==(const CScale& o) const { return steps == o.steps; }
    constexpr bool operator!=(const CScale& o) const { return steps != o.steps; }

private:
    static constexpr int clamp(int h) {
        return h < kMinHalves ? kMinHalves : h > kMaxHalves ? kMaxHalves : h;
    }
    static constexpr int floorDiv(int a, int b) { return a >= 0 ? a / b : -((b - 1 - a) / b); }

    int steps = kMinHalves;
};

} // namespace qgui
