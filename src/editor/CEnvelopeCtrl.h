// The graphic envelope editor: one envelope record drawn as its curve, with points, curve
// handles, loop markers and a time axis, edited with the mouse.
//
// It shows the record the program's curve selector picks for the selected envelope (the
// modulation envelope, its key-scaling curve or its velocity curve) and edits that record in
// place through its model operations, never through value IDs. Left button: pick a point, a curve
// handle, the start level, a loop marker, or the empty plot (zoom) or the axis strip (scroll), and
// drag it; Alt keeps a point's level, Control its time. Right button: delete the point under the
// pointer, or add one there.
//
// Zoom, scroll position and drag state live in the control and start afresh with every window;
// the selected point lives in the record. UI thread only.
#pragma once

#include "editor/EnvelopePlot.h"
#include "gui/CControl.h"

#include <cstddef>
#include <mutex>

class CEnvelope;
class CProgram;

// What the envelope editor needs from the window that holds it; the plug-in's editor implements
// it. Called on the UI thread, possibly in the middle of a drag.
struct IEnvelopeCtrlOwner {
    // The shown record was edited (a point moved, bent, added, deleted or selected, the start
    // level changed) or the view scrolled: the window redraws the point display, which shows the
    // selected point's text (CEnvelopeCtrl::pointText), while it is open.
    virtual void envelopeEdited() = 0;
    // Held around each change of the shown record (a click, each step of a drag), so that
    // nobody reading the program on another thread, such as a host taking its chunk, sees
    // half of one; null when nobody else reads it.
    virtual std::recursive_mutex* recordLock() { return nullptr; }

protected:
    ~IEnvelopeCtrlOwner() = default;
};

class CEnvelopeCtrl : public qgui::CControl {
public:
    // Drag modes besides a point index.
    static constexpr int kDragZoom = -100;
    static constexpr int kDragScroll = -101;
    static constexpr int kDragLoopStart = -102;
    static constexpr int kDragLoopEnd = -103;
    static constexpr int kDragNothing = -999;
    static constexpr int kDragNone = -1000; // before the first click

    static constexpr double kInitialZoom = 0.3;

    // program and owner are not owned and must outlive the control; owner may be null.
    CEnvelopeCtrl(const qgui::CRect& size, CProgram* program, IEnvelopeCtrlOwner* owner, long tag,
                  qgui::CBitmap* background);

    void draw(qgui::CDrawContext* context) override;
    void mouse(qgui::CDrawContext* context, qgui::CPoint& where, long buttons = -1) override;
    void mouseMoved(const qgui::CPoint& where, long buttons) override;
    void mouseUp(const qgui::CPoint& where, long buttons) override;
    void mouseCancelled() override;
    // The wheel zooms as an upward (away) or downward drag of the empty plot would; Alt finer.
    bool mouseWheel(const qgui::CPoint& where, float distance, long buttons) override;

    // The point display's text: "Lev %.2f  Crv %.2f  Dlt %.2f" of the shown record's selected
    // point.
    void pointText(char* text, std::size_t capacity, char decimalSeparator = '.') const;

    double getZoom() const { return zoom; }
    double getViewStart() const { return viewStart; }
    int getDragMode() const { return dragMode; }
    // The mapping between the shown record's time and level and the window's pixels.
    EnvelopePlot plot() const;

private:
    CEnvelope& record() const;
    void pick(int x, int y);
    void drag(int x, int y);
    void dragPoint(CEnvelope& e, int k, int x, int y);
    void dragLoopMarker(CEnvelope& e, bool loopStartMarker, int x);
    void rightClick(int x, int y);
    // Ends the left-button drag in progress, if any, with its edit.
    void endDrag();
    // The owner's record lock, held until the returned lock goes.
    std::unique_lock<std::recursive_mutex> lockRecord() const;
    // Selects point k, tells the owner and redraws.
    void edited(CEnvelope& e, int k);
    void tellOwner();
    // The time under pixel column x, on the tempo grid when the record is tempo-synced.
    double timeAt(const CEnvelope& e, const EnvelopePlot& p, int x) const;
    bool showsStartLevel(const CEnvelope& e) const;

    void drawAxis(qgui::CDrawContext* c, const CEnvelope& e, const EnvelopePlot& p);
    void drawLoop(qgui::CDrawContext* c, const CEnvelope& e, const EnvelopePlot& p);
    void drawCurve(qgui::CDrawContext* c, const CEnvelope& e, const EnvelopePlot& p);
    void drawHandles(qgui::CDrawContext* c, const CEnvelope& e, const EnvelopePlot& p);

    CProgram* program;
    IEnvelopeCtrlOwner* owner;
    qgui::CRect plotArea;
    int dragMode = kDragNone;
    bool curveDrag = false;
    bool startLevelDrag = false;
    double viewStart = 0.0;
    double zoom = kInitialZoom;
    int lastX = 0;
    int lastY = 0;
    bool altHeld = false;
    bool controlHeld = false;
    bool dragging = false; // a left-button press in progress
};
