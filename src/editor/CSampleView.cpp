#include "editor/CSampleView.h"

#include "editor/FrameIndex.h"
#include "gui/CBitmap.h"

using namespace qgui;

CSampleView::CSampleView(const CRect& size, IEditorBinding* editor, CBitmap* bitmap)
    : CControl(size, nullptr, 0, bitmap), editor(editor) {}

void CSampleView::draw(CDrawContext* context) {
    if (!background) return;
    const int w = size.width();
    const int levels = background->getWidth();
    for (int i = 0; i < w; ++i) {
        const double s = editor->waveSample(double(i) / w) * 0.5 + 0.5;
        const int level = frameIndex(levels * s, levels);
        background->draw(
            context,
            CRect(size.left + i, size.top, size.left + i + 1, size.top + background->getHeight()),
            CPoint(level, 0));
    }
}
