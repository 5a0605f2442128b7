#pragma once
// The selected operator's wave, one pixel column per phase step, each column
// taken from the level image of the wave's value there.

#include "editor/IEditorBinding.h"
#include "gui/CControl.h"

class CSampleView : public qgui::CControl {
public:
    CSampleView(const qgui::CRect& size, IEditorBinding* editor, qgui::CBitmap* bitmap);
    void draw(qgui::CDrawContext* context) override;
    void mouse(qgui::CDrawContext*, qgui::CPoint&, long = -1) override {}

private:
    IEditorBinding* editor;
};
