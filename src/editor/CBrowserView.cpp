#include "editor/CBrowserView.h"

#include "gui/CColor.h"
#include "gui/CDrawContext.h"
#include "gui/KeyCodes.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

using namespace qgui;

namespace {

constexpr CColor kShade{0, 0, 0, 150};
constexpr CColor kPanel{24, 24, 28, 255};
constexpr CColor kEdge{200, 200, 200, 255};
constexpr CColor kField{44, 44, 52, 255};
constexpr CColor kSelection{70, 96, 150, 255};
constexpr CColor kBankText{160, 160, 170, 255};
constexpr CColor kHintText{130, 130, 140, 255};
constexpr CColor kStar{250, 200, 60, 255};
constexpr CColor kEmptyStar{110, 110, 120, 255};

// The user typed a character: its UTF-8 bytes; none for control characters.
std::string utf8Of(long key) {
    std::string s;
    if (key < 32 || key == kKeyDelete || (key >= 0x80 && key < 0xa0) || key > 0xffff ||
        (key >= 0xF700 && key <= 0xF8FF))
        return s;
    if (key < 0x80) {
        s += char(key);
    } else if (key < 0x800) {
        s += char(0xc0 | (key >> 6));
        s += char(0x80 | (key & 0x3f));
    } else {
        s += char(0xe0 | (key >> 12));
        s += char(0x80 | ((key >> 6) & 0x3f));
        s += char(0x80 | (key & 0x3f));
    }
    return s;
}

// Backspace takes back one character, however many bytes it has.
void removeLastCharacter(std::string& s) {
    while (!s.empty()) {
        const unsigned char c = static_cast<unsigned char>(s.back());
        s.pop_back();
        if ((c & 0xc0) != 0x80) break;
    }
}

// A five-pointed star in r, filled or as an outline.
void drawStar(CDrawContext* context, const CRect& r, bool filled) {
    constexpr double kPi = 3.14159265358979;
    const double cx = (r.left + r.right) / 2.0, cy = (r.top + r.bottom) / 2.0 + 0.5;
    const double outer = std::min(r.width(), r.height()) / 2.0 - 1.0;
    CPoint points[10];
    for (int i = 0; i < 10; ++i) {
        const double radius = (i % 2 == 0) ? outer : outer * 0.45;
        const double angle = -kPi / 2 + i * kPi / 5;
        points[i] = CPoint(int(cx + radius * std::cos(angle) + 0.5),
                           int(cy + radius * std::sin(angle) + 0.5));
    }
    if (filled) {
        context->setFillColor(kStar);
        context->fillPolygon(points, 10);
        return;
    }
    context->setFrameColor(kEmptyStar);
    for (int i = 0; i < 10; ++i)
        context->drawLine(points[i], points[(i + 1) % 10]);
}

} // namespace

CBrowserView::CBrowserView(const CRect& size, CPluginFile& settings, IBrowserOwner& browserOwner)
    : CView(size), programs(settings), owner(browserOwner) {}

void CBrowserView::open(const std::string& currentBank, const std::string& currentName) {
    programs.scan();
    // The old list's indices mean nothing in the new one.
    shown.clear();
    selected = 0;
    search.clear();
    refilter();
    const std::vector<CatalogEntry>& all = programs.entries();
    for (size_t i = 0; i < shown.size(); ++i) {
        const CatalogEntry& e = all[size_t(shown[i])];
        if (e.name == currentName && (currentBank.empty() || e.bank == currentBank)) {
            select(int32_t(i));
            break;
        }
    }
    lastClicked = -1;
    setVisible(true);
    setDirty();
}

const CatalogEntry* CBrowserView::selectedEntry() const {
    if (selected < 0 || size_t(selected) >= shown.size()) return nullptr;
    return &programs.entries()[size_t(shown[size_t(selected)])];
}

int CBrowserView::rowTop(int32_t shownIndex) const {
    const int32_t row = shownIndex - firstRow;
    if (row < 0 || row >= kRows || size_t(shownIndex) >= shown.size()) return -1;
    return kListTop + row * kRowHeight;
}

void CBrowserView::setQuery(const std::string& text) {
    search = text;
    refilter();
}

void CBrowserView::refilter() {
    // The selection stays on its program when that still matches.
    const CatalogEntry* before = selectedEntry();
    const int32_t keep = before ? int32_t(before - programs.entries().data()) : -1;
    programs.filter(search, shown);
    const auto at = std::find(shown.begin(), shown.end(), keep);
    firstRow = 0;
    select(at == shown.end() ? 0 : int32_t(at - shown.begin()));
}

void CBrowserView::select(int32_t shownIndex) {
    const int32_t count = int32_t(shown.size());
    selected = count == 0 ? 0 : std::clamp(shownIndex, 0, count - 1);
    // The selection is always on the screen.
    if (selected < firstRow) firstRow = selected;
    if (selected >= firstRow + kRows) firstRow = selected - kRows + 1;
    firstRow = std::clamp(firstRow, 0, std::max(0, count - kRows));
    repaintPanel();
}

void CBrowserView::loadSelected() {
    if (const CatalogEntry* e = selectedEntry()) owner.browserLoad(*e);
    repaintPanel();
}

void CBrowserView::repaintPanel() {
    // The shade around the panel does not change while the browser is open:
    // only the panel is drawn again, not the whole window under it.
    invalidate(CRect(kPanelLeft, kPanelTop, kPanelRight, kPanelBottom));
}

void CBrowserView::draw(CDrawContext* context) {
    context->setFillColor(kShade);
    context->fillRect(size);
    const CRect panel(kPanelLeft, kPanelTop, kPanelRight, kPanelBottom);
    context->setFillColor(kPanel);
    context->fillRect(panel);
    context->setFrameColor(kEdge);
    context->drawRect(panel);

    char count[64];
    std::snprintf(count, sizeof count, "%d of %d", int(shown.size()),
                  int(programs.entries().size()));
    context->setFont(kStandardFont);
    context->setFontColor(kWhiteCColor);
    context->drawString(kTitle, CRect(kStarLeft, kPanelTop + 4, kBankLeft, kSearchTop - 4),
                        kLeftText);
    context->setFontColor(kBankText);
    context->drawString(count, CRect(kBankLeft, kPanelTop + 4, kPanelRight - 8, kSearchTop - 4),
                        kRightText);

    const CRect field(kStarLeft, kSearchTop, kPanelRight - 8, kSearchBottom);
    context->setFillColor(kField);
    context->fillRect(field);
    context->setFrameColor(kEdge);
    context->drawRect(field);
    const CRect text(field.left + 6, field.top, field.right - 6, field.bottom);
    if (search.empty()) {
        context->setFontColor(kHintText);
        context->drawString(kSearchHint, text, kLeftText);
    } else {
        context->setFontColor(kWhiteCColor);
        context->drawString((search + "|").c_str(), text, kLeftText);
    }

    const std::vector<CatalogEntry>& all = programs.entries();
    if (shown.empty() && !all.empty()) {
        context->setFontColor(kHintText);
        context->drawString(kNothingFound,
                            CRect(kStarLeft, kListTop, kPanelRight - 8, kListTop + kRowHeight),
                            kLeftText);
    }
    for (int32_t i = firstRow; i < int32_t(shown.size()) && i < firstRow + kRows; ++i) {
        const CatalogEntry& e = all[size_t(shown[size_t(i)])];
        const int top = rowTop(i);
        const CRect row(kStarLeft - 4, top, kPanelRight - 8, top + kRowHeight);
        if (i == selected) {
            context->setFillColor(kSelection);
            context->fillRect(row);
        }
        drawStar(context, CRect(kStarLeft, top + 1, kStarRight, top + kRowHeight - 1), e.favourite);
        context->setFontColor(kWhiteCColor);
        context->drawString(e.name.c_str(), CRect(kNameLeft, top, kBankLeft - 6, top + kRowHeight),
                            kLeftText);
        context->setFontColor(kBankText);
        context->drawString(e.bank.c_str(), CRect(kBankLeft, top, row.right - 4, top + kRowHeight),
                            kLeftText);
    }

    context->setFont(kSmallFont);
    context->setFontColor(kHintText);
    context->drawString(kFooter, CRect(kStarLeft, kFooterTop, kPanelRight - 8, kPanelBottom - 6),
                        kLeftText);
}

void CBrowserView::mouse(CDrawContext*, CPoint& where, long) {
    const CRect panel(kPanelLeft, kPanelTop, kPanelRight, kPanelBottom);
    if (!panel.pointInside(where)) {
        owner.browserClosed();
        return;
    }
    if (where.v < kListTop || where.v >= kListTop + kRows * kRowHeight) return;
    const int32_t index = firstRow + (where.v - kListTop) / kRowHeight;
    if (index >= int32_t(shown.size())) return;
    if (where.h >= kStarLeft - 4 && where.h < kStarRight + 2) {
        programs.toggleFavourite(shown[size_t(index)]);
        repaintPanel();
        return;
    }
    const auto now = std::chrono::steady_clock::now();
    const bool second = index == lastClicked && now - lastClickTime < kDoubleClick;
    select(index);
    lastClicked = second ? -1 : index;
    lastClickTime = now;
    if (second) loadSelected();
}

bool CBrowserView::mouseWheel(const CPoint&, float distance, long) {
    const int32_t count = int32_t(shown.size());
    const int32_t rows = distance > 0 ? -kWheelRows : kWheelRows;
    firstRow = std::clamp(firstRow + rows, 0, std::max(0, count - kRows));
    repaintPanel();
    return true;
}

bool CBrowserView::keyDown(long key, long) {
    switch (key) {
    case kKeyEscape:
        owner.browserClosed();
        return true;
    case kKeyReturn:
    case '\n':
        loadSelected();
        return true;
    case kKeyUp:
        select(selected - 1);
        return true;
    case kKeyDown:
        select(selected + 1);
        return true;
    case kKeyPageUp:
        select(selected - kRows);
        return true;
    case kKeyPageDown:
        select(selected + kRows);
        return true;
    case kKeyBackspace:
    case kKeyDelete:
        removeLastCharacter(search);
        refilter();
        return true;
    default:
        break;
    }
    const std::string typed = utf8Of(key);
    if (typed.empty()) return false;
    search += typed;
    refilter();
    return true;
}
