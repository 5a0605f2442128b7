// Cost of the editor window itself, headless, with every control of the
// layout over a renderer with the default program:
// - idle with nothing dirty (every host idle while nothing changes; goal
//   below 20 µs),
// - full redraw of the window at scale 1 and 2 (opening, switching layout),
// - one knob drag step ("Master Level" changes, the idle redraws it),
// - the program browser over 500 programs in 10 banks: opened (banks listed,
//   favourites read, the list drawn) and one letter typed into its search
//   (filtered and drawn); goal for both: well under a frame, 16 ms.
#include "editor/CBrowserView.h"
#include "editor/CPluginEditor.h"
#include "engine/CSoundRenderer.h"
#include "gui/CFrame.h"
#include "gui/CHeadlessWindow.h"
#include "patch/CPluginFile.h"
#include "patch/CProgram.h"
#include "patch/PatchFiles.h"
#include "support/ScriptedPlatform.h"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <memory>
#include <string>

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

// A data root of 10 banks of 50 programs each (one program's bytes copied),
// and the window open over it.
struct BrowsingEditor {
    static constexpr int kBanks = 10, kProgramsPerBank = 50;
    std::filesystem::path root = std::filesystem::temp_directory_path() / "quellor-bench-browser";
    ScriptedPlatform platform;
    std::unique_ptr<CPluginFile> settings;
    std::unique_ptr<CSoundRenderer> renderer;
    std::unique_ptr<CPluginEditor> editor;
    CHeadlessWindow* window = nullptr;
    bool ok = false;

    BrowsingEditor() {
        namespace fs = std::filesystem;
        fs::remove_all(root);
        platform.rootFolder = root.string();
        const fs::path first = root / "program.qxlprg";
        fs::create_directories(root);
        CPluginFile writer(platform);
        CProgram program;
        if (!saveProgramFile(program, first.string().c_str(), writer)) return;
        for (int b = 0; b < kBanks; ++b) {
            const fs::path bank = root / "QuellorData/Banks" / ("Bank " + std::to_string(b));
            fs::create_directories(bank);
            for (int p = 0; p < kProgramsPerBank; ++p)
                fs::copy_file(first, bank / ("Program " + std::to_string(p) + ".qxlprg"));
        }
        settings = std::make_unique<CPluginFile>(platform);
        settings->init();
        renderer = std::make_unique<CSoundRenderer>(settings.get(), nullptr);
        editor = std::make_unique<CPluginEditor>(nullptr, renderer.get());
        auto w = std::make_unique<CHeadlessWindow>();
        window = w.get();
        static int parent;
        ok = editor->openWith(&parent, std::move(w), 1);
        if (!ok) return;
        editor->openBrowser();
        editor->idle();
        ok = editor->browserView() &&
             editor->browserView()->shownEntries().size() == size_t(kBanks * kProgramsPerBank);
    }
    ~BrowsingEditor() {
        editor.reset();
        std::filesystem::remove_all(root);
    }
};

void BM_BrowserOpen500Programs(benchmark::State& state) {
    BrowsingEditor e;
    if (!e.ok) return state.SkipWithError("the browser did not list 500 programs");
    for (auto _ : state) {
        e.editor->openBrowser();
        e.editor->idle();
    }
}
BENCHMARK(BM_BrowserOpen500Programs)->Unit(benchmark::kMillisecond);

void BM_BrowserTypeALetter500Programs(benchmark::State& state) {
    BrowsingEditor e;
    if (!e.ok) return state.SkipWithError("the browser did not list 500 programs");
    e.window->mouseMove(CPoint(480, 300));
    e.editor->idle();
    bool typed = false;
    for (auto _ : state) {
        // "7" leaves the programs with a 7 in their names; Backspace all of them.
        e.window->key(typed ? 8 : '7');
        typed = !typed;
        e.editor->idle();
    }
}
BENCHMARK(BM_BrowserTypeALetter500Programs)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
