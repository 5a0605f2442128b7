#pragma once
// A view that holds other views, draws a background (a bitmap or a colour)
// and then its children in the order they were added, so a later child lies
// above an earlier one. Clicks go to the top-most child that takes them.

#include "gui/CColor.h"
#include "gui/CView.h"

#include <vector>

namespace qgui {

class CBitmap;

class CViewContainer : public CView {
public:
    explicit CViewContainer(const CRect& size);
    ~CViewContainer() override;

    // Takes ownership of view; it is drawn at the next idle. UI thread.
    void addView(CView* view);
    // Takes view out of the tree and deletes it (or hands it back to the
    // caller when withDelete is false); its area is repainted. False when
    // view is not a direct child.
    bool removeView(CView* view, bool withDelete = true);
    void removeAll(bool withDelete = true);
    int getNbViews() const { return int(children.size()); }
    CView* getView(int index) const;
    bool isChild(const CView* view) const;

    // The bitmap drawn behind the children (not owned; null for none), its
    // top-left corner on the container's.
    void setBackground(CBitmap* bitmap);
    CBitmap* getBackground() const { return background; }
    void setBackgroundColor(const CColor& color);

    void draw(CDrawContext* context) override;
    void mouse(CDrawContext* context, CPoint& where, long buttons = -1) override;
    bool isContainer() const override { return true; }

    // The top-most visible view under where that takes clicks, searched
    // through nested containers; null when none.
    CView* getViewAt(const CPoint& where) const;

    // Frame internals: draw what lies in area (background, then children);
    // gather the areas of dirty views and clear their flags.
    void drawArea(CDrawContext* context, const CRect& area);
    void collectDirty(std::vector<CRect>& areas);

protected:
    void attached(CViewContainer* newParent, CFrame* newFrame) override;
    void drawBackground(CDrawContext* context, const CRect& area);

    std::vector<CView*> children;
    CBitmap* background = nullptr;
    CColor backgroundColor = kBlackCColor;
};

} // namespace qgui
