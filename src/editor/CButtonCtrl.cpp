#include "editor/CButtonCtrl.h"

#include "editor/FrameIndex.h"
#include "gui/CBitmap.h"

#include <cmath>

using namespace qgui;

namespace {
// Keeps a stored 1/3 or 2/3 in its own state despite rounding.
constexpr double kStateEpsilon = 0.001;
} // namespace

CButtonCtrl::CButtonCtrl(const CRect& size, IEditorBinding* editor, CControlListener* listener,
                         long tag, CBitmap* bitmap, int states)
    : CControl(size, listener, tag, bitmap), editor(editor), states(states < 2 ? 2 : states) {}

void CButtonCtrl::draw(CDrawContext* context) {
    if (!background) return;
    const double v = editor->getTagValue(tag);
    const int i = frameIndex(v * (states - 1) + kStateEpsilon, states);
    const int h = background->getHeight() / states;
    background->draw(context, size, CPoint(0, i * h));
}

void CButtonCtrl::mouse(CDrawContext*, CPoint&, long) {
    beginEdit();
    const double v = editor->getTagValue(tag);
    const double scaled = (states - 1) * (v + kStateEpsilon);
    const int c = (std::isfinite(scaled) && scaled > 0 ? int(std::trunc(scaled)) : 0) + 1;
    editor->setTagValue(tag, c < states ? double(c) / (states - 1) : 0.0);
    setDirty();
    endEdit();
}
