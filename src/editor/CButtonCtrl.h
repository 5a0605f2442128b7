#pragma once
// A button of n states (frames top to bottom); every click, with any mouse
// button, advances to the next state and wraps from the last to the first.

#include "editor/IEditorBinding.h"
#include "gui/CControl.h"

class CButtonCtrl : public qgui::CControl {
public:
    CButtonCtrl(const qgui::CRect& size, IEditorBinding* editor, qgui::CControlListener* listener,
                long tag, qgui::CBitmap* bitmap, int states);

    void draw(qgui::CDrawContext* context) override;
    void mouse(qgui::CDrawContext* context, qgui::CPoint& where, long buttons = -1) override;
    int getStates() const { return states; }

private:
    IEditorBinding* editor;
    int states;
};
