#pragma once
// Keys that type no character, as CView::keyDown receives them: codes from
// Unicode's private use area, which no keyboard types. The keys that do type
// one arrive as it (Return 13, Escape 27, Backspace 8).

namespace qgui {

constexpr long kKeyUp = 0xF700;
constexpr long kKeyDown = 0xF701;
constexpr long kKeyPageUp = 0xF72C;
constexpr long kKeyPageDown = 0xF72D;
constexpr long kKeyReturn = 13;
constexpr long kKeyEscape = 27;
constexpr long kKeyBackspace = 8;
constexpr long kKeyDelete = 127;

} // namespace qgui
