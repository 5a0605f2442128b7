#pragma once
// A number field: the program's display text of its value, dragged like a
// knob. Bitmap style draws a 2- or 3-frame cell (dimmed, lit, selected) with
// black text; plain style draws red text on a black box.

#include "editor/CKnobCtrl.h"

class CNumberCtrl : public CKnobCtrl {
public:
    CNumberCtrl(const qgui::CRect& size, IEditorBinding* editor, qgui::CControlListener* listener,
                long tag, qgui::CBitmap* bitmap, double resetValue, bool plainStyle);

    void draw(qgui::CDrawContext* context) override;

    void setExtraFrame(bool on) { extraFrame = on; }
    void setRightAligned(bool on) { rightAligned = on; }
    void setTextIndent(int pixels) { textIndent = pixels; }
    bool isPlainStyle() const { return plainStyle; }

protected:
    bool plainStyle;
    bool extraFrame = false;
    bool rightAligned = false;
    int textIndent = 0;
};
