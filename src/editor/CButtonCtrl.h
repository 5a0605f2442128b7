#pragma once
// A button of n states (frames top to bottom); every click, with any mouse
// button, advances to the next state and wraps from the last to the first.

#include "editor/IEditorBinding.h"
#include "gui/CControl.h"

class CButtonCtrl : public VSTGUI::CControl {
public:
    CButtonCtrl(const VSTGUI::CRect& size, IEditorBinding* editor,
                VSTGUI::CControlListener* listener, long tag, VSTGUI::CBitmap* bitmap, int states);

    void draw(VSTGUI::CDrawContext* context) override;
    void mouse(VSTGUI::CDrawContext* context, VSTGUI::CPoint& where, long buttons = -1) override;
    int getStates() const { return states; }

private:
    IEditorBinding* editor;
    int states;
};
