#pragma once
// Mouse buttons and modifier keys as one bit set, as the controls receive it
// with a click and read it back during a drag.

namespace qgui {

enum CButtonState : long {
    kLButton = 1 << 0,
    kMButton = 1 << 1,
    kRButton = 1 << 2,
    kShift = 1 << 3,
    kControl = 1 << 4,
    kAlt = 1 << 5,
    // With a press: the second click of a double-click, as the window system counts it.
    kDoubleClick = 1 << 6,
};

// The mouse buttons alone, without the modifier keys.
constexpr long kMouseButtonsMask = kLButton | kMButton | kRButton;

} // namespace qgui
