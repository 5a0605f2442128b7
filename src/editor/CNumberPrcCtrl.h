#pragma once
// A plain number field for exact values (operator tuning): the drag step is
// chosen by where the click lies, counted from the right edge, so that the
// digit under the mouse is the one that moves.

#include "editor/CNumberCtrl.h"

class CNumberPrcCtrl : public CNumberCtrl {
public:
    static constexpr int kWidth = 50;
    static constexpr int kHeight = 14;

    CNumberPrcCtrl(const qgui::CRect& size, IEditorBinding* editor,
                   qgui::CControlListener* listener, long tag, double resetValue);

    void mouse(qgui::CDrawContext* context, qgui::CPoint& where, long buttons = -1) override;
    // Non-zero: every digit step is a hundred times larger (the Hz offset).
    void setDigitMultiplier(double m) { digitMultiplier = m; }

protected:
    // The digit under the mouse: its step.
    double stepAt(const qgui::CPoint& where) const override;

private:
    double digitMultiplier = 0.0;
};
