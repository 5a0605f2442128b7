#include "editor/CEnvelopeCtrl.h"

#include "gui/CBitmap.h"
#include "gui/CDrawContext.h"
#include "gui/CFrame.h"
#include "gui/MouseButtons.h"
#include "patch/CProgram.h"
#include "voice/CEnvelope.h"

#include <cmath>
#include <cstdio>

using namespace qgui;

namespace {

// The plot's margins inside the control; the strip below it carries the axis labels and scrolls.
constexpr int kPlotMargin = 4;
constexpr int kAxisStrip = 18;

constexpr CColor kCurveColor{0, 170, 255, 255};
constexpr CColor kGridColor{0, 66, 97, 255};
constexpr CColor kPointColor{0, 170, 255, 255};
constexpr CColor kSelectedColor{255, 201, 0, 255};
constexpr CColor kMarkerColor{0, 66, 97, 255};
constexpr CColor kCurveHandleColor{0, 170, 255, 255};
constexpr CColor kLabelColor{0, 0, 0, 255};

// Half sizes of the squares, which are also the pick distances.
constexpr int kPointRadius = 4;
constexpr int kCurveHandleRadius = 3;

// Labels: 30 × 12 boxes below the plot, at least 30 pixels apart.
constexpr int kLabelOffset = 6;
constexpr int kLabelWidth = 30;
constexpr int kLabelHeight = 12;
constexpr double kLabelSteps[] = {3, 2.5, 2, 1.5, 1, 0.5, 0.25, 0.1, 0.05, 0.025, 0.01};
// Key-table curves: keys (or velocities) 0..120 in octaves, on the 0..127 scale.
constexpr int kKeyLabelStep = 12;
constexpr int kKeyLabelLast = 120;
constexpr double kKeyLabelScale = 127.0;

// Tempo-synced envelopes: lines and snapping on a grid of eighth beats.
constexpr double kTempoGrid = 0.125;

// The start-level handle shows only while the view starts at time 0.
constexpr double kViewAtStart = 0.0001;

// Drag gains: curve change per pixel, zoom change per pixel.
constexpr double kCurvePerPixel = 0.01;
constexpr double kZoomPerPixel = 0.002;
// A notch of the wheel zooms as far as a drag of this many pixels.
constexpr double kZoomPixelsPerNotch = 10.0;

void fillSquare(CDrawContext* c, int x, int y, int radius, const CColor& color) {
    c->setFillColor(color);
    c->fillRect(CRect(x - radius, y - radius, x + radius + 1, y + radius + 1));
}

// The nearest multiple of the tempo grid; exactly half a step goes down.
double snapToTempoGrid(double t) {
    const double n = std::floor(t / kTempoGrid);
    return (t - n * kTempoGrid > kTempoGrid / 2 ? n + 1 : n) * kTempoGrid;
}

// First point whose end time is not below t; the point count when there is none.
int firstPointFrom(const CEnvelope& e, double t) {
    int i = 0;
    while (i < e.pointCount && e.endTime(i) < t)
        ++i;
    return i;
}

} // namespace

CEnvelopeCtrl::CEnvelopeCtrl(const CRect& size, CProgram* program_, IEnvelopeCtrlOwner* owner_,
                             long tag, CBitmap* background)
    : CControl(size, nullptr, tag, background), program(program_), owner(owner_),
      plotArea(size.left + kPlotMargin, size.top + kPlotMargin, size.right - kPlotMargin,
               size.bottom - kAxisStrip) {}

CEnvelope& CEnvelopeCtrl::record() const {
    return program->currentCurve();
}

EnvelopePlot CEnvelopeCtrl::plot() const {
    EnvelopePlot p;
    p.area = plotArea;
    p.keyTable = record().keyTableCurve;
    p.viewStart = viewStart;
    p.zoom = zoom;
    return p;
}

bool CEnvelopeCtrl::showsStartLevel(const CEnvelope& e) const {
    return viewStart < kViewAtStart || e.keyTableCurve;
}

double CEnvelopeCtrl::timeAt(const CEnvelope& e, const EnvelopePlot& p, int x) const {
    const double t = p.t(x);
    return e.tempoSync ? snapToTempoGrid(t) : t;
}

void CEnvelopeCtrl::pointText(char* text, std::size_t capacity, char decimalSeparator) const {
    record().pointText(text, capacity, decimalSeparator);
}

// ---- drawing ----

void CEnvelopeCtrl::draw(CDrawContext* c) {
    if (background) background->draw(c, size);
    const CEnvelope& e = record();
    const EnvelopePlot p = plot();
    c->setLineWidth(1);
    if (e.bipolar) {
        // The zero line of a curve that swings both ways.
        c->setFrameColor(kGridColor);
        const int mid = p.top() + (p.bottom() - p.top()) / 2;
        c->drawLine(CPoint(p.left(), mid), CPoint(p.right(), mid));
    }
    drawAxis(c, e, p);
    if (!e.keyTableCurve) drawLoop(c, e, p);
    drawCurve(c, e, p);
    drawHandles(c, e, p);
}

void CEnvelopeCtrl::drawAxis(CDrawContext* c, const CEnvelope& e, const EnvelopePlot& p) {
    c->setFont(kSmallFont);
    c->setFontColor(kLabelColor);
    const int labelTop = p.bottom() + kLabelOffset;
    char text[32];
    auto label = [&](int x) {
        CRect box(x, labelTop, std::min(x + kLabelWidth, p.right()), labelTop + kLabelHeight);
        if (!box.isEmpty()) c->drawString(text, box, kLeftText);
    };
    if (e.keyTableCurve) {
        for (int k = 0; k <= kKeyLabelLast; k += kKeyLabelStep) {
            std::snprintf(text, sizeof text, "%d", k);
            label(static_cast<int>(p.left() + k / kKeyLabelScale * (p.right() - p.left())));
        }
    } else {
        const double span = p.t(kLabelWidth) - p.t(0);
        double step = kLabelSteps[0];
        for (double s : kLabelSteps)
            if (s > span) step = s;
        for (long k = static_cast<long>(viewStart / step);; ++k) {
            const int x = p.x(k * step);
            if (x > p.right()) break;
            if (x < p.left()) continue;
            std::snprintf(text, sizeof text, "%.2f", k * step);
            label(x);
        }
    }
    if (e.tempoSync) {
        c->setFrameColor(kGridColor);
        const double first = e.keyTableCurve ? 0.0 : std::floor(viewStart / kTempoGrid);
        for (long k = static_cast<long>(first);; ++k) {
            const int x = p.x(k * kTempoGrid);
            if (x > p.right()) break;
            if (x < p.left()) continue;
            c->drawLine(CPoint(x, p.top()), CPoint(x, p.bottom()));
        }
    }
}

void CEnvelopeCtrl::drawLoop(CDrawContext* c, const CEnvelope& e, const EnvelopePlot& p) {
    int xS = p.x(e.endTime(e.loopStart - 1));
    int xE = p.x(e.endTime(e.loopEnd));
    if (xS > p.right() || xE < p.left()) return;
    c->setFont(kSmallFont);
    auto marker = [&](int x, const char* letter, const CRect& box) {
        c->setFrameColor(kGridColor);
        c->drawLine(CPoint(x, p.top()), CPoint(x, p.bottom()));
        fillSquare(c, x, p.bottom(), kPointRadius, kMarkerColor);
        c->setFontColor(kCurveColor);
        c->drawString(letter, box, kCenterText);
    };
    if (xS < p.left())
        xS = p.left();
    else
        marker(xS, "S", CRect(xS + 1, p.bottom() - 15, xS + 8, p.bottom() - 3));
    if (xE > p.right())
        xE = p.right();
    else
        marker(xE, "E", CRect(xE - 9, p.bottom() - 15, xE - 1, p.bottom() - 3));

    // The sustain level, and the way back from it to the loop's start.
    c->setFrameColor(kGridColor);
    const int sustainY = p.y(e.level(e.loopEnd));
    c->drawLine(CPoint(xS, sustainY), CPoint(xE, sustainY));
    if (e.loopEnd == e.loopStart) return;
    const double end = e.endTime(e.loopStart);
    const int xa = p.x(end - e.delta(e.loopStart));
    const int xb = p.x(end);
    const EnvelopePoint& back = e.loopBack;
    // Left of the plot the pen only moves, so the line starts just before the plot.
    const int first = std::max(xa, p.left() - 1);
    for (int x = first; x <= std::min(xb, p.right()); ++x) {
        const double fraction = xb > xa ? double(x - xa) / (xb - xa) : 1.0;
        const CPoint at(
            x, p.y(CEnvelope::segmentShape(back.startLevel, back.level, back.curve, fraction)));
        if (x == first)
            c->moveTo(at);
        else
            c->lineTo(at);
    }
}

void CEnvelopeCtrl::drawCurve(CDrawContext* c, const CEnvelope& e, const EnvelopePlot& p) {
    // The record's own output, run once through all its points without looping or release.
    CEnvelope run = e;
    run.bipolar = false;
    const double t0 = p.t(p.left());
    run.start(t0);
    const double dt = (p.t(p.right()) - t0) / (p.right() - p.left());
    const int height = p.bottom() - p.top();
    c->setFrameColor(kCurveColor);
    for (int x = p.left(); x < p.right() && !run.isFinished(); ++x) {
        const double v = run.evaluate(dt, false);
        const int y = std::clamp(static_cast<int>(p.bottom() - height * v), p.top(), p.bottom());
        // The curve starts where its first value is: a stroke up from the plot's floor would
        // look like a point that is not there.
        if (x == p.left())
            c->moveTo(CPoint(x, y));
        else
            c->lineTo(CPoint(x, y));
    }
}

void CEnvelopeCtrl::drawHandles(CDrawContext* c, const CEnvelope& e, const EnvelopePlot& p) {
    const int last = e.pointCount - 1;
    const int selected = e.selectedPointClamped();
    if (showsStartLevel(e))
        fillSquare(c, p.left(), p.y(e.lastLevel()), kPointRadius,
                   selected == last ? kSelectedColor : kPointColor);
    for (int k = 0; k <= last; ++k) {
        const int xk = p.x(e.endTime(k));
        if (xk < p.left()) continue;
        const int xm = p.x(e.endTime(k) - e.delta(k) / 2);
        if (p.inside(xm)) {
            const EnvelopePoint& pt = e.points[k];
            fillSquare(c, xm, p.y(CEnvelope::segmentShape(pt.startLevel, pt.level, pt.curve, 0.5)),
                       kCurveHandleRadius, kCurveHandleColor);
        }
        if (xk > p.right()) break;
        fillSquare(c, xk, p.y(e.level(k)), kPointRadius,
                   k == selected ? kSelectedColor : kPointColor);
    }
}

// ---- mouse ----

void CEnvelopeCtrl::mouse(CDrawContext*, CPoint& where, long buttons) {
    CFrame* f = getFrame();
    if (buttons == -1) buttons = f ? f->getCurrentMouseButtons() : 0;
    endDrag();
    if (buttons & kRButton) {
        auto lock = lockRecord();
        rightClick(where.h, where.v);
    }
    if (!(buttons & kLButton)) return;

    beginEdit();
    dragging = true;
    altHeld = (buttons & kAlt) != 0;
    controlHeld = (buttons & kControl) != 0;
    lastX = where.h;
    lastY = where.v;
    {
        auto lock = lockRecord();
        pick(where.h, where.v);
    }
    // Outside a window no moves follow.
    if (!f) endDrag();
}

void CEnvelopeCtrl::mouseMoved(const CPoint& now, long held) {
    if (!dragging) return;
    if (!(held & kLButton)) {
        endDrag();
        return;
    }
    altHeld = (held & kAlt) != 0;
    controlHeld = (held & kControl) != 0;
    if (now.h == lastX && now.v == lastY) return;
    auto lock = lockRecord();
    drag(now.h, now.v);
    lastX = now.h;
    lastY = now.v;
}

void CEnvelopeCtrl::mouseUp(const CPoint&, long) {
    endDrag();
}

void CEnvelopeCtrl::mouseCancelled() {
    endDrag();
}

void CEnvelopeCtrl::endDrag() {
    if (!dragging) return;
    dragging = false;
    endEdit();
}

void CEnvelopeCtrl::pick(int x, int y) {
    CEnvelope& e = record();
    const EnvelopePlot p = plot();
    dragMode = e.keyTableCurve ? kDragNothing : kDragZoom;
    curveDrag = false;
    startLevelDrag = false;
    const int count = e.pointCount;

    if (showsStartLevel(e) && std::abs(x - p.left()) <= kPointRadius &&
        std::abs(y - p.y(e.lastLevel())) <= kPointRadius) {
        startLevelDrag = true;
        dragMode = count - 1;
        edited(e, count - 1);
        return;
    }
    for (int k = 0; k < count; ++k) {
        const int xk = p.x(e.endTime(k));
        if (xk > p.right()) break;
        if (std::abs(x - xk) <= kPointRadius && std::abs(y - p.y(e.level(k))) <= kPointRadius) {
            dragMode = k;
            edited(e, k);
            return;
        }
    }
    if (!e.keyTableCurve) {
        const int xS = p.x(e.endTime(e.loopStart - 1));
        const int xE = p.x(e.endTime(e.loopEnd));
        const bool nearBottom = std::abs(y - p.bottom()) <= kPointRadius;
        if (p.inside(xS) && std::abs(x - xS) <= kPointRadius && nearBottom) {
            dragMode = kDragLoopStart;
            return;
        }
        if (p.inside(xE) && std::abs(x - xE) <= kPointRadius && nearBottom) {
            dragMode = kDragLoopEnd;
            return;
        }
    }
    // A curve handle takes the whole column around its segment's middle.
    for (int k = 0; k < count; ++k) {
        const int xm = p.x(e.endTime(k) - e.delta(k) / 2);
        if (p.inside(xm) && std::abs(x - xm) <= kCurveHandleRadius && y < p.bottom()) {
            dragMode = k;
            curveDrag = true;
            edited(e, k);
            return;
        }
        if (p.x(e.endTime(k)) > p.right()) break;
    }
    if (!e.keyTableCurve && y > p.bottom()) dragMode = kDragScroll;
}

bool CEnvelopeCtrl::mouseWheel(const CPoint&, float distance, long buttons) {
    if (dragging || distance == 0.0f) return false;
    const double fineness = (buttons & kAlt) ? 0.1 : 1.0;
    const double z = std::clamp(
        zoom + double(distance) * kZoomPixelsPerNotch * kZoomPerPixel * fineness, 0.0, 1.0);
    if (z == zoom) return false;
    zoom = z;
    setDirty();
    return true;
}

void CEnvelopeCtrl::drag(int x, int y) {
    CEnvelope& e = record();
    const EnvelopePlot p = plot();
    if (dragMode >= 0) {
        dragPoint(e, dragMode, x, y);
        return;
    }
    switch (dragMode) {
    case kDragZoom: {
        const double z = std::clamp(zoom - (y - lastY) * kZoomPerPixel, 0.0, 1.0);
        if (z != zoom) {
            zoom = z;
            setDirty();
        }
        return;
    }
    case kDragScroll: {
        const double start = std::max(0.0, viewStart - (p.t(x) - p.t(lastX)));
        if (start != viewStart) {
            viewStart = start;
            tellOwner();
            setDirty();
        }
        return;
    }
    case kDragLoopStart:
    case kDragLoopEnd:
        dragLoopMarker(e, dragMode == kDragLoopStart, x);
        return;
    default:
        return;
    }
}

void CEnvelopeCtrl::dragPoint(CEnvelope& e, int k, int x, int y) {
    const EnvelopePlot p = plot();
    if (curveDrag) {
        // Dragging up bends the segment up on screen: a rising one then starts faster, a
        // falling one slower.
        const double dy = y - lastY;
        e.setCurve(k, e.isRising(k) ? e.curve(k) - dy * kCurvePerPixel
                                    : e.curve(k) + dy * kCurvePerPixel);
    } else if (startLevelDrag) {
        e.setLastLevel(p.level(y));
    } else {
        if (!altHeld) e.setLevel(k, p.level(y));
        // The last two points of a key-table curve hold the axis' end and keep their times.
        const bool timeLocked = controlHeld || (e.keyTableCurve && k >= e.pointCount - 2);
        if (!timeLocked) {
            const double t = timeAt(e, p, x);
            e.setDelta(k, k > 0 ? t - e.endTime(k - 1) : t);
        }
    }
    tellOwner();
    setDirty();
}

void CEnvelopeCtrl::dragLoopMarker(CEnvelope& e, bool loopStartMarker, int x) {
    // The marker jumps to the point nearest the pointer.
    const double t = plot().t(x);
    const int i = firstPointFrom(e, t);
    const int count = e.pointCount;
    const int before = loopStartMarker ? e.loopStart : e.loopEnd;
    int index;
    if (i > count - 2)
        index = count - 2;
    else if (i == 0)
        index = 1;
    else if (loopStartMarker)
        index = t - e.endTime(i - 1) < e.endTime(i) - t ? i : i + 1;
    else
        index = e.endTime(i) - t < t - e.endTime(i - 1) ? i : i - 1;
    if (loopStartMarker)
        e.setLoopStart(index);
    else
        e.setLoopEnd(index);
    if ((loopStartMarker ? e.loopStart : e.loopEnd) != before) setDirty();
}

void CEnvelopeCtrl::rightClick(int x, int y) {
    CEnvelope& e = record();
    const EnvelopePlot p = plot();
    if (y > p.bottom() || x >= p.right() || x < p.left()) return;
    // No edits right of the last point.
    if (p.x(e.endTime(e.pointCount - 1)) < x + kPointRadius) return;

    for (int k = 0; k < e.pointCount; ++k) {
        const int xk = p.x(e.endTime(k));
        if (xk > p.right()) break;
        if (std::abs(x - xk) <= kPointRadius && std::abs(y - p.y(e.level(k))) <= kPointRadius) {
            e.deletePoint(k);
            edited(e, k > 0 ? k - 1 : 0);
            return;
        }
    }
    // Snapped to the tempo grid, the time may pass the last point; a point there would be an
    // edit right of the last point, and in a full envelope the model would answer with the last
    // point's index, whose level must not change.
    const double t = timeAt(e, p, x);
    const int i = t <= e.endTime(e.pointCount - 1) ? e.addPointAtTime(t) : -1;
    if (i < 0) {
        // Refused: full, or too close to the next point while the points keep their times.
        setDirty();
        return;
    }
    e.setLevel(i, p.level(y));
    edited(e, i);
}

void CEnvelopeCtrl::edited(CEnvelope& e, int k) {
    e.selectedPoint = k;
    e.selectedPoint = e.selectedPointClamped();
    tellOwner();
    setDirty();
}

std::unique_lock<std::recursive_mutex> CEnvelopeCtrl::lockRecord() const {
    std::recursive_mutex* m = owner ? owner->recordLock() : nullptr;
    return m ? std::unique_lock<std::recursive_mutex>(*m)
             : std::unique_lock<std::recursive_mutex>();
}

void CEnvelopeCtrl::tellOwner() {
    if (owner) owner->envelopeEdited();
}
