#pragma once
// An option menu whose field shows a text of its own (the program menu shows
// the current program's name, which a program loaded from a file may carry
// even when no entry of the list has it).

#include "gui/COptionMenu.h"

class CMenuCtrl : public qgui::COptionMenu {
public:
    static constexpr std::size_t kTextCapacity = 100;

    CMenuCtrl(const qgui::CRect& size, qgui::CControlListener* listener, long tag,
              qgui::CBitmap* background);

    void draw(qgui::CDrawContext* context) override;
    // Copies text (cut to the buffer) and redraws.
    void setText(const char* text);
    const char* getText() const { return text; }

private:
    char text[kTextCapacity];
};
