#pragma once
// The top bar's "Browse" field: a click opens the program browser.

#include "gui/CColor.h"
#include "gui/CView.h"

#include <functional>

class CBrowserButton : public qgui::CView {
public:
    static constexpr const char* kLabel = "Browse";

    CBrowserButton(const qgui::CRect& size, qgui::CColor fill, std::function<void()> clicked);
    void draw(qgui::CDrawContext* context) override;
    void mouse(qgui::CDrawContext* context, qgui::CPoint& where, long buttons = -1) override;

private:
    qgui::CColor fill;
    std::function<void()> clicked;
};
