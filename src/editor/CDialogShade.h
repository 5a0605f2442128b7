#pragma once
// What the window shows while a dialog of its own is open: the whole window
// dimmed, with a line saying that a dialog waits for an answer. It lies
// above every other view and takes every click meant for them, so nothing in
// the window changes until the dialog has been answered.

#include "gui/CView.h"

class CDialogShade : public qgui::CView {
public:
    static constexpr const char* kText = "A dialog is open: please answer it first";

    // size: the whole window. Hidden until shown.
    explicit CDialogShade(const qgui::CRect& size);
    void draw(qgui::CDrawContext* context) override;
    // Clicks land here and do nothing.
    void mouse(qgui::CDrawContext*, qgui::CPoint&, long = -1) override {}
};
