#include "editor/CEnvelopePlaceholder.h"

#include "gui/CBitmap.h"

void CEnvelopePlaceholder::draw(VSTGUI::CDrawContext* context) {
    if (background) background->draw(context, size);
}
