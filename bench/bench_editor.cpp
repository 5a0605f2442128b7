// Cost of the editor window itself, headless, with every control of the
// layout over a renderer with the default program:
// - idle with nothing dirty (every host idle while nothing changes; goal
//   below 20 µs),
// - full redraw of the window at scale 1 and 2 (opening, switching layout),
// - one knob drag step ("Master Level" changes, the idle redraws it).
#include "editor/CPluginEditor.h"
#include "engine/CSoundRenderer.h"
#include "gui/CFrame.h"
#include "gui/CHeadlessWindow.h"
#include "patch/CPluginFile.h"
#include "support/ScriptedPlatform.h"

#include <benchmark/benchmark.h>

#include <memory>

using namespace qgui;

namespace {

struct OpenEditor {
    ScriptedPlatform platform;
    CPluginFile settings{platform};
    CSoundRenderer renderer{&settings, nullptr};
    CPluginEditor editor{nullptr, &renderer};
    bool ok;

    explicit OpenEditor(int scale) {
        static int parent;
        ok = editor.openWith(&parent, std::make_unique<CHeadlessWindow>(), scale);
        if (ok) editor.idle();
    }
};

void BM_EditorIdleNothingDirty(benchmark::State& state) {
    OpenEditor e(1);
    if (!e.ok) return state.SkipWithError("the editor did not open");
    for (auto _ : state)
        e.editor.idle();
}
BENCHMARK(BM_EditorIdleNothingDirty);

void BM_EditorFullRedraw(benchmark::State& state) {
    OpenEditor e(int(state.range(0)));
    if (!e.ok) return state.SkipWithError("the editor did not open");
    for (auto _ : state) {
        e.editor.getFrame()->setDirty();
        e.editor.idle();
    }
}
BENCHMARK(BM_EditorFullRedraw)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

void BM_EditorKnobDragStep(benchmark::State& state) {
    OpenEditor e(int(state.range(0)));
    if (!e.ok) return state.SkipWithError("the editor did not open");
    CView* knob = e.editor.getFrame()->getViewAt(CPoint(850, 470));
    if (!knob) return state.SkipWithError("no knob under Master Level's place");
    double v = 0.0;
    for (auto _ : state) {
        v = v >= 1.0 ? 0.0 : v + 0.01;
        e.editor.setTagValue(0, v);
        knob->setDirty();
        e.editor.idle();
    }
}
BENCHMARK(BM_EditorKnobDragStep)->Arg(1)->Arg(2)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
