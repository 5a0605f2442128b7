#include "editor/CTouchCtrl.h"

#include "editor/FrameIndex.h"
#include "gui/CBitmap.h"
#include "gui/CDrawContext.h"
#include "gui/MouseButtons.h"

#include <algorithm>

using namespace qgui;

namespace {
constexpr double kPositionEpsilon = 0.001;
constexpr std::size_t kTextCapacity = 128;
} // namespace

CTouchCtrl::CTouchCtrl(const CRect& size, IEditorBinding* editor, CControlListener* listener,
                       long tag, CBitmap* bitmap, int frames, bool textMode)
    : CControl(size, listener, tag, bitmap), editor(editor), frames(frames < 1 ? 1 : frames),
      textMode(textMode),
      vertical(bitmap && bitmap->getWidth() / (frames < 1 ? 1 : frames) < bitmap->getHeight()) {}

void CTouchCtrl::draw(CDrawContext* context) {
    if (background) {
        const int i = frameIndex(frames * editor->getTagValue(tag), frames);
        background->draw(context, size, CPoint(background->getWidth() * i / frames, 0));
    }
    if (textMode) {
        char text[kTextCapacity] = {};
        editor->getTagText(tag, text, sizeof text);
        context->setFont(kSmallFont);
        context->setFontColor(alternateColour ? kWhiteCColor : kBlackCColor);
        context->drawString(text, size, kCenterText);
    }
}

void CTouchCtrl::mouse(CDrawContext*, CPoint& where, long buttons) {
    // A double-click on a field that shows a text types it (the envelope point's values).
    if (textMode && buttons != -1 && (buttons & kDoubleClick) &&
        (buttons & kMouseButtonsMask) == kLButton) {
        editor->typeValue(tag);
        return;
    }
    beginEdit();
    double v = vertical ? double(where.v - size.top) / size.height()
                        : double(where.h - size.left) / size.width();
    v = std::clamp(v + kPositionEpsilon, 0.0, 1.0);
    editor->setTagValue(tag, v);
    setDirty();
    endEdit();
}
