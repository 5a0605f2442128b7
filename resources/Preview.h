#pragma once
// A picture of the whole editor window: a background with every control's
// frame pasted at its place, and sample texts where the controls draw text.
// For looking at the artwork; never embedded.

#include "Canvas.h"

#include <functional>

namespace artwork {

// `bitmap(id)` gives the rendered bitmap at the preview's scale.
void drawPreview(Canvas& c, bool samplerLayout, const std::function<cairo_surface_t*(int)>& bitmap);

} // namespace artwork
