#include "gui/COptionMenu.h"

#include "gui/CBitmap.h"
#include "gui/CControlListener.h"
#include "gui/CFrame.h"
#include "gui/MouseButtons.h"

#include <cmath>

namespace qgui {

namespace {
constexpr const char* kSeparatorTitle = "-";
// Pixels between left- or right-aligned text and the field's edge.
constexpr int kTextInset = 2;
} // namespace

COptionMenu::COptionMenu(const CRect& size_, CControlListener* listener_, long tag_,
                         CBitmap* background_)
    : CControl(size_, listener_, tag_, background_) {
    value.store(-1.0f);
}

COptionMenu::~COptionMenu() = default;

void COptionMenu::attached(CViewContainer* newParent, CFrame* newFrame) {
    // A menu leaving the window takes its open pop-up with it.
    if (frame && frame != newFrame && frame->getPopupMenu() == this) frame->closePopup();
    CControl::attached(newParent, newFrame);
}

bool COptionMenu::addEntry(const char* title, int index) {
    if (!title) return false;
    if (index < 0 || index >= int(entries.size())) {
        entries.emplace_back(title);
    } else {
        entries.insert(entries.begin() + index, title);
        // The current entry keeps its title: its index moves with it.
        if (getCurrent() >= index) value.store(getValue() + 1.0f);
    }
    if (getCurrent() < 0) setCurrent(0);
    setDirty();
    return true;
}

bool COptionMenu::removeAllEntry() {
    if (frame && frame->getPopupMenu() == this) frame->closePopup();
    entries.clear();
    setValue(-1.0f);
    setDirty();
    return true;
}

bool COptionMenu::getEntry(int index, std::string& title) const {
    title.clear();
    if (index < 0 || index >= int(entries.size())) return false;
    title = entries[std::size_t(index)];
    return true;
}

const char* COptionMenu::getEntryText(int index) const {
    if (index < 0 || index >= int(entries.size())) return "";
    return entries[std::size_t(index)].c_str();
}

bool COptionMenu::isSeparator(int index) const {
    return index >= 0 && index < int(entries.size()) &&
           entries[std::size_t(index)] == kSeparatorTitle;
}

int COptionMenu::getCurrent() const {
    int i = int(std::lround(getValue()));
    return (i >= 0 && i < int(entries.size())) ? i : -1;
}

bool COptionMenu::setCurrent(int index) {
    if (index < 0 || index >= int(entries.size())) return false;
    setValue(float(index));
    return true;
}

void COptionMenu::chooseEntry(int index) {
    if (isSeparator(index) || !setCurrent(index)) return;
    setDirty();
    beginEdit();
    if (listener) listener->valueChanged(this);
    endEdit();
}

void COptionMenu::drawText(CDrawContext* context, const char* text) {
    if (background) {
        background->draw(context, size);
    } else if (backColor.alpha) {
        context->setFillColor(backColor);
        context->fillRect(size);
    }
    CRect r = size;
    if (align == kLeftText) r.left += kTextInset;
    if (align == kRightText) r.right -= kTextInset;
    context->setFont(font);
    context->setFontColor(fontColor);
    context->drawString(text, r, align);
}

void COptionMenu::draw(CDrawContext* context) {
    drawText(context, commands ? "" : getEntryText(getCurrent()));
}

void COptionMenu::mouse(CDrawContext*, CPoint&, long buttons) {
    if (buttons == -1 && frame) buttons = frame->getCurrentMouseButtons();
    if (!(buttons & (kLButton | kRButton))) return;
    if (listener && (buttons & (kControl | kAlt)) &&
        listener->controlModifierClicked(this, buttons) != 0)
        return;
    if (frame) frame->openPopup(this);
}

} // namespace qgui
