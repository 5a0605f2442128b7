#pragma once
// One of the two small keys at the right end of the top bar that undo and
// redo the window's edits: a hooked arrow, bright while there is a step to
// go over and dim while there is none. Drawn by the window itself, without
// artwork. A click with either button acts.

#include "gui/CControl.h"

#include <functional>

class CHistoryKey : public qgui::CControl {
public:
    // back: the undo key (its arrow turns left); act carries the step out,
    // available tells whether there is one.
    CHistoryKey(const qgui::CRect& size, long tag, bool back, std::function<bool()> act,
                std::function<bool()> available);
    void draw(qgui::CDrawContext* context) override;
    void mouse(qgui::CDrawContext* context, qgui::CPoint& where, long buttons = -1) override;

private:
    bool back;
    std::function<bool()> act;
    std::function<bool()> available;
};
