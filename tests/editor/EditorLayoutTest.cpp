// The window the editor builds against the layout table it builds from: every
// control the table declares is in the window at the table's rectangle with
// the table's tag, and nothing else is.
#include "editor/EditorLayout.h"
#include "editor/CDialogShade.h"
#include "editor/CPluginEditor.h"
#include "engine/CSoundRenderer.h"
#include "gui/CControl.h"
#include "gui/CFrame.h"
#include "gui/CHeadlessWindow.h"
#include "patch/CPluginFile.h"
#include "support/ScriptedPlatform.h"

#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <tuple>

using namespace qgui;
using namespace editorlayout;

namespace {

// A view as the table would declare it: its rectangle and its tag (none for
// views that are not controls).
using Spot = std::tuple<int, int, int, int, long>;

Spot spotOf(CView* v) {
    const CRect r = v->getViewSize();
    auto* c = dynamic_cast<CControl*>(v);
    return {int(r.left), int(r.top), int(r.right), int(r.bottom), c ? c->getTag() : kNoTag};
}

Spot spotOf(const Placement& p) {
    const Size s = sizeOf(p);
    return {p.x, p.y, p.x + s.w, p.y + s.h, p.tag};
}

TEST(EditorLayout, TheWindowHoldsExactlyTheControlsOfTheTable) {
    ScriptedPlatform platform;
    CPluginFile settings(platform);
    settings.init();
    CSoundRenderer renderer(&settings, nullptr);
    CPluginEditor editor(nullptr, &renderer);

    // Both matrix layouts: the sampler's matrix replaces the mixer's.
    std::set<Spot> shown;
    for (int layout = 0; layout < 2; ++layout) {
        static int parent;
        ASSERT_TRUE(editor.openWith(&parent, std::make_unique<CHeadlessWindow>(), 1));
        if (layout == 1) editor.setTagValue(CPluginEditor::kLayoutTag, 1.0);
        CFrame* frame = editor.getFrame();
        for (int i = 0; i < frame->getNbViews(); ++i) {
            // The dialog-open shade lies over the window; it is no control.
            if (dynamic_cast<CDialogShade*>(frame->getView(i))) continue;
            shown.insert(spotOf(frame->getView(i)));
        }
        editor.close();
    }

    std::set<Spot> declared;
    forEachControl([&](const Placement& p) {
        declared.insert(spotOf(p));
        EXPECT_EQ(shown.count(spotOf(p)), 1u) << p.name << " at " << p.x << "," << p.y << " tag "
                                              << p.tag << " is not in the window at its size";
    });
    EXPECT_EQ(shown.size(), declared.size());
    for (const Spot& spot : shown)
        EXPECT_EQ(declared.count(spot), 1u)
            << "a view at " << std::get<0>(spot) << "," << std::get<1>(spot) << " tag "
            << std::get<4>(spot) << " is not in the layout table";
}

} // namespace
