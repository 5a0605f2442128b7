#pragma once
// A selector of n positions drawn from n frames side by side; a click stores
// its position along the control (down a tall one, across a wide one), so a
// click in position k always selects k. In text mode the value's display
// text is drawn over the frame.

#include "editor/IEditorBinding.h"
#include "gui/CControl.h"

class CTouchCtrl : public qgui::CControl {
public:
    CTouchCtrl(const qgui::CRect& size, IEditorBinding* editor, qgui::CControlListener* listener,
               long tag, qgui::CBitmap* bitmap, int frames, bool textMode);

    void draw(qgui::CDrawContext* context) override;
    void mouse(qgui::CDrawContext* context, qgui::CPoint& where, long buttons = -1) override;
    // White text instead of black.
    void setAlternateColour(bool on) { alternateColour = on; }
    bool isVertical() const { return vertical; }

private:
    IEditorBinding* editor;
    int frames;
    bool textMode;
    bool vertical;
    bool alternateColour = false;
};
