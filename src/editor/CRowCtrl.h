#pragma once
// The spectrum bar editor: 32 bars of the selected operator's amplitudes or
// phases, drawn from 100 level images side by side. Dragging with the left
// button draws the bars column by column at the mouse's height; the right
// button erases them. In cubic mode a bar's height is the cube root of the
// stored amplitude, which gives quiet harmonics room.

#include "editor/IEditorBinding.h"
#include "gui/CControl.h"

class CRowCtrl : public qgui::CControl {
public:
    static constexpr int kColumns = 32;
    static constexpr int kLevels = 100;

    // phases: edits the phase array, else the amplitudes.
    CRowCtrl(const qgui::CPoint& position, IEditorBinding* editor, qgui::CControlListener* listener,
             qgui::CBitmap* bitmap, bool phases, bool cubic);

    void draw(qgui::CDrawContext* context) override;
    void mouse(qgui::CDrawContext* context, qgui::CPoint& where, long buttons = -1) override;
    void mouseMoved(const qgui::CPoint& where, long buttons) override;
    void mouseUp(const qgui::CPoint& where, long buttons) override;
    void mouseCancelled() override;
    int columnWidth() const { return colWidth; }

private:
    // Sets the bar under p; false when p lies beside the bars.
    void setBar(const qgui::CPoint& p, bool erase);
    // Ends the drawing in progress, if any, with its edit.
    void endDrag();

    IEditorBinding* editor;
    bool phases;
    bool cubic;
    int colWidth;
    bool drawing = false; // a press in progress draws
};
