#include "gui/CTextField.h"

#include "gui/CColor.h"
#include "gui/CDrawContext.h"
#include "gui/CFontRenderer.h"

#include <utility>

namespace qgui {

namespace {

constexpr long kBackspace = 8, kDelete = 127, kEnter = '\r', kLineFeed = '\n', kEscape = 27;
constexpr CColor kField{250, 250, 250};
constexpr CColor kRim{40, 150, 230};
constexpr CColor kText{0, 0, 0};

} // namespace

CTextField::CTextField(const CRect& size, std::string text, std::function<void(const char*)> done)
    : CView(size), typed(std::move(text)), done(std::move(done)) {
    if (typed.size() > kMaxLength) typed.resize(kMaxLength);
}

void CTextField::draw(CDrawContext* c) {
    c->setFillColor(kField);
    c->fillRect(size);
    c->setFrameColor(kRim);
    c->drawRect(size);
    c->setFont(kSmallFont);
    c->setFontColor(kText);
    // The text with a caret after it, from the left.
    const std::string shown = typed + "|";
    CRect inside = size;
    inside.left += 3;
    c->drawString(shown.c_str(), inside, kLeftText);
}

bool CTextField::keyDown(long key, long) {
    if (key == kEnter || key == kLineFeed || key == kEscape) {
        // The owner may close the field from inside: nothing of it is used after.
        auto finish = std::move(done);
        done = nullptr;
        const std::string text = typed;
        if (finish) finish(key == kEscape ? nullptr : text.c_str());
        return true;
    }
    if (key == kBackspace || key == kDelete) {
        if (!typed.empty()) typed.pop_back();
    } else if (key >= 32 && key < 127 && typed.size() < kMaxLength) {
        typed.push_back(char(key));
    } else {
        return true; // the field takes every key while open
    }
    setDirty();
    return true;
}

} // namespace qgui
