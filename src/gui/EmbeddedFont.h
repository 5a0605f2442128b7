#pragma once
// The DejaVu Sans TrueType file, compiled into the library at build time (its
// licence is in resources/fonts/LICENSE-DejaVu).

#include <cstddef>

namespace qgui {

extern const unsigned char kEmbeddedFont[];
extern const std::size_t kEmbeddedFontSize;

} // namespace qgui
