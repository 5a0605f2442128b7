#pragma once
// The window's scale: 2 on high-density screens (each window pixel drawn as
// 2 × 2 surface pixels, from the 2× artwork), 1.5 on the 150 % screens most
// laptops have (from the 1.5× artwork), else 1.

#include "gui/CScale.h"

namespace qgui {

// The screen densities from which scales 1.5 and 2 are chosen by themselves.
constexpr int kMediumDensityDpi = 132;
constexpr int kHighDensityDpi = 168;

// The scale from the user's choices and the screen: the environment variable
// QUELLOR_SCALE first, then the "scale" setting of the settings file, each
// "1", "1.5" or "2" (anything else is ignored); else 2 when the screen
// announces kHighDensityDpi or more, 1.5 from kMediumDensityDpi. Null stands
// for not set.
CScale pickScale(const char* environmentValue, const char* settingValue, int screenDpi);

// pickScale with QUELLOR_SCALE and the screen of the native window system.
// settingValue: the settings file's "scale" value, or null. UI thread.
CScale chooseScale(const char* settingValue);

// The Xft.dpi value in an X resource database string (as the X server's
// RESOURCE_MANAGER property holds it); 0 when it has none.
int parseXftDpi(const char* resources);

} // namespace qgui
