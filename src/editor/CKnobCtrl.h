#pragma once
// A knob drawn from a 55-frame filmstrip (frames top to bottom). Dragging up
// raises the value, a step per few pixels, always counted from the value at
// the click so that nothing drifts; Alt held at the click makes the whole
// drag ten times finer; a right-click or Control-click sets the reset value.
// The number fields share this drag.

#include "editor/IEditorBinding.h"
#include "gui/CControl.h"

class CKnobCtrl : public qgui::CControl {
public:
    static constexpr int kFrames = 55;

    CKnobCtrl(const qgui::CRect& size, IEditorBinding* editor, qgui::CControlListener* listener,
              long tag, qgui::CBitmap* bitmap, double resetValue = 0.0);

    void draw(qgui::CDrawContext* context) override;
    void mouse(qgui::CDrawContext* context, qgui::CPoint& where, long buttons = -1) override;
    void mouseMoved(const qgui::CPoint& where, long buttons) override;
    void mouseUp(const qgui::CPoint& where, long buttons) override;
    void mouseCancelled() override;
    // One notch moves the value one step (a tenth with Alt), as a drag would,
    // as one edit; ignored while a drag is in progress.
    bool mouseWheel(const qgui::CPoint& where, float distance, long buttons) override;

    void setRange(double lo, double hi) {
        minimum = lo;
        maximum = hi;
    }
    void setStep(double s) { step = s; }
    // Clicks in the left half step by leftStep (the routing cells: coarse left, fine right).
    void setSplitStep(double leftStep) {
        leftHalfStep = leftStep;
        split = true;
    }
    void setPixelsPerStep(int p) { pixelsPerStep = p < 1 ? 1 : p; }
    void setResetValue(double v) { resetValue = v; }
    // A click only tells the editor once and never drags (the sampler's slot
    // names, whose click opens a file dialog).
    void setClickOnly(bool on) { clickOnly = on; }
    double getResetValue() const { return resetValue; }
    double getMinimum() const { return minimum; }
    double getMaximum() const { return maximum; }

protected:
    // The step a click at where drags by.
    virtual double stepAt(const qgui::CPoint& where) const;
    // Starts the drag with a given step (the digit fields choose it by position).
    void drag(qgui::CPoint& where, long buttons, double stepSize);
    // Ends the drag in progress, if any, with its edit.
    void endDrag();

    IEditorBinding* editor;
    double minimum = 0.0;
    double maximum = 1.0;
    double step = 0.01;
    double leftHalfStep = 0.01;
    int pixelsPerStep = 2;
    bool split = false;
    bool clickOnly = false;
    double resetValue;

    // The drag in progress: where and at what value it started, its step
    // (with the fineness chosen at the click) and the steps last applied.
    struct DragState {
        bool active = false;
        int y0 = 0;
        int lastSteps = 0;
        double start = 0.0;
        double stepSize = 0.0;
        double fineness = 1.0;
    };
    DragState dragState;
};
