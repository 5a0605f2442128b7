#pragma once
// A one-line text field laid over the window for typing a value: it takes
// the keys while it is open (the frame's focus view), Enter hands its text
// to the owner, Escape closes it with nothing done. Printable ASCII only;
// Backspace takes back the last character.

#include "gui/CView.h"

#include <cstddef>
#include <functional>
#include <string>

namespace qgui {

class CTextField : public CView {
public:
    static constexpr std::size_t kMaxLength = 32;

    // done: called once, with the text on Enter or with null on Escape.
    CTextField(const CRect& size, std::string text, std::function<void(const char*)> done);
    void draw(CDrawContext* context) override;
    bool keyDown(long key, long modifiers) override;
    const std::string& text() const { return typed; }

private:
    std::string typed;
    std::function<void(const char*)> done;
};

} // namespace qgui
