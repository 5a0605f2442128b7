#pragma once
// Holds the envelope editor's place in the window: its background only.

#include "gui/CControl.h"

class CEnvelopePlaceholder : public VSTGUI::CControl {
public:
    CEnvelopePlaceholder(const VSTGUI::CRect& size, long tag, VSTGUI::CBitmap* bitmap)
        : CControl(size, nullptr, tag, bitmap) {}
    void draw(VSTGUI::CDrawContext* context) override;
    void mouse(VSTGUI::CDrawContext*, VSTGUI::CPoint&, long = -1) override {}
};
