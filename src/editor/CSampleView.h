#pragma once
// The selected operator's wave, one pixel column per phase step, each column
// taken from the level image of the wave's value there.

#include "editor/IEditorBinding.h"
#include "gui/CControl.h"

class CSampleView : public VSTGUI::CControl {
public:
    CSampleView(const VSTGUI::CRect& size, IEditorBinding* editor, VSTGUI::CBitmap* bitmap);
    void draw(VSTGUI::CDrawContext* context) override;
    void mouse(VSTGUI::CDrawContext*, VSTGUI::CPoint&, long = -1) override {}

private:
    IEditorBinding* editor;
};
