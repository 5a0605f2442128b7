// quellor-docs: draws the pictures of the guide from the editor window itself,
// headless, with the factory program each picture names loaded, and crops
// each area of the window by the rectangles of its controls in the layout
// table. With --check it draws them again and compares them with the files
// already written, so that a guide left behind by a change to the window is
// found. With --scale every picture is drawn at that scale instead of its
// own, to look at the window as a screen of that density shows it.
//
//   quellor-docs DATA_FOLDER OUT_DIR           writes every picture
//   quellor-docs --check DATA_FOLDER OUT_DIR   compares, exit 1 on a difference
//   quellor-docs --scale 1.5 DATA_FOLDER OUT_DIR   writes every picture at 1.5
#include "DocPictures.h"
#include "PaletteWriter.h"

#include "editor/CPluginEditor.h"
#include "engine/CSoundRenderer.h"
#include "engine/IRendererHost.h"
#include "gui/CFrame.h"
#include "gui/CHeadlessWindow.h"
#include "gui/CSurface.h"
#include "gui/EditorScale.h"
#include "gui/MouseButtons.h"
#include "gui/PngCodec.h"
#include "patch/CPluginFile.h"
#include "platform/IPlatform.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using namespace qgui;

namespace {

struct SilentHost : IRendererHost {
    void announceValue(int32_t, float) override {}
    void beginValueEdit(int32_t) override {}
    void endValueEdit(int32_t) override {}
    bool hostTempo(double&) override { return false; }
};

// One instance with its window open at a scale, a program loaded.
struct Instance {
    SilentHost host;
    std::unique_ptr<CPluginFile> settings;
    std::unique_ptr<CSoundRenderer> renderer;
    std::unique_ptr<CPluginEditor> editor;
    CHeadlessWindow* window = nullptr;

    bool open(const fs::path& data, const docs::Picture& pic, CScale scale) {
        settings = std::make_unique<CPluginFile>(nativePlatform());
        settings->init();
        renderer = std::make_unique<CSoundRenderer>(settings.get(), &host);
        const fs::path program =
            data / "QuellorData/Banks" / pic.bank / (std::string(pic.program) + ".qxlprg");
        if (!renderer->loadProgramFile(program.c_str(), pic.bank)) {
            std::fprintf(stderr, "quellor-docs: cannot load %s\n", program.c_str());
            return false;
        }
        editor = std::make_unique<CPluginEditor>(nullptr, renderer.get());
        auto w = std::make_unique<CHeadlessWindow>();
        window = w.get();
        static int parent;
        if (!editor->openWith(&parent, std::move(w), scale)) return false;
        editor->idle();
        if (pic.samplerLayout) {
            const docs::Area button = docs::areaOf({editorlayout::kLayoutButton});
            const CPoint centre(scale.toSurface(button.x + button.w / 2),
                                scale.toSurface(button.y + button.h / 2));
            window->mouseDown(centre, kLButton);
            editor->idle();
        }
        if (pic.hover) {
            bool found = false;
            editorlayout::forEachControl([&](const editorlayout::Placement& p) {
                if (found || std::strcmp(p.name, pic.hover) != 0) return;
                found = true;
                const docs::Area at = docs::areaOf({p});
                window->mouseMove(
                    CPoint(scale.toSurface(at.x + at.w / 2), scale.toSurface(at.y + at.h / 2)));
            });
            if (!found) {
                std::fprintf(stderr, "quellor-docs: no control named %s\n", pic.hover);
                return false;
            }
            // The help line takes up the hovered control at the next idle.
            editor->idle();
            editor->idle();
        }
        return true;
    }
    ~Instance() {
        if (editor) editor->close();
    }
};

// The picture's pixels, 0xRRGGBB row after row.
std::vector<std::uint32_t> crop(const CSurface& s, const docs::Area& a, CScale scale, int& w,
                                int& h) {
    const int left = scale.toSurface(a.x), top = scale.toSurface(a.y);
    w = scale.toSurface(a.x + a.w) - left;
    h = scale.toSurface(a.y + a.h) - top;
    std::vector<std::uint32_t> out(std::size_t(w) * std::size_t(h));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            out[std::size_t(y) * std::size_t(w) + std::size_t(x)] =
                s.pixel(left + x, top + y) & 0xffffff;
    return out;
}

bool sameAsFile(const fs::path& path, const std::vector<std::uint32_t>& pixels, int w, int h) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    const std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(in)),
                                           std::istreambuf_iterator<char>());
    DecodedPng png;
    if (!decodePng(bytes.data(), bytes.size(), png) || png.width != w || png.height != h)
        return false;
    for (std::size_t i = 0; i < pixels.size(); ++i)
        if ((png.pixels[i] & 0xffffff) != pixels[i]) return false;
    return true;
}

// The window reads no settings of the user's: the pictures show the
// defaults every new user sees.
void isolateSettings(const fs::path& data) {
    const fs::path config = fs::temp_directory_path() / "quellor-docs-config";
    fs::create_directories(config);
    setenv("XDG_CONFIG_HOME", config.c_str(), 1);
    setenv("QUELLOR_ROOT", data.c_str(), 1);
    unsetenv("QUELLOR_SCALE");
    unsetenv("QUELLOR_QUALITY");
}

} // namespace

int main(int argc, char** argv) {
    const bool check = argc == 4 && std::strcmp(argv[1], "--check") == 0;
    const bool scaled = argc == 5 && std::strcmp(argv[1], "--scale") == 0;
    // The scale as QUELLOR_SCALE takes it; anything else is no scale.
    const CScale forced = scaled ? pickScale(argv[2], nullptr, 0) : CScale();
    if ((argc != 3 && !check && !scaled) || (scaled && std::strcmp(forced.text(), argv[2]) != 0)) {
        std::fprintf(stderr,
                     "usage: quellor-docs [--check | --scale 1|1.5|2] DATA_FOLDER OUT_DIR\n");
        return 2;
    }
    const int first = check ? 2 : scaled ? 3 : 1;
    const fs::path data = fs::absolute(argv[first]);
    const fs::path outDir = argv[first + 1];
    isolateSettings(data);
    if (!check) fs::create_directories(outDir);

    int failures = 0;
    std::uintmax_t total = 0;
    for (const docs::Picture& pic : docs::kPictures) {
        const CScale scale = scaled ? forced : pic.scale;
        Instance instance;
        if (!instance.open(data, pic, scale)) return 1;
        int w = 0, h = 0;
        const std::vector<std::uint32_t> pixels =
            crop(*instance.editor->getFrame()->getSurface(), pic.area(), scale, w, h);
        const fs::path path = outDir / pic.file;
        if (check) {
            if (!sameAsFile(path, pixels, w, h)) {
                std::fprintf(stderr,
                             "quellor-docs: %s differs from what the window shows now; "
                             "run `make docs` and commit the pictures\n",
                             path.c_str());
                ++failures;
            }
            continue;
        }
        if (!docs::writePalettePng(path.string(), pixels, w, h)) {
            std::fprintf(stderr, "quellor-docs: cannot write %s\n", path.c_str());
            return 1;
        }
        total += fs::file_size(path);
        std::printf("%-28s %5d x %-5d %7ju bytes\n", pic.file, w, h, fs::file_size(path));
    }
    if (check) {
        // A picture no longer drawn would stay in the guide unchecked.
        for (const fs::directory_entry& e : fs::directory_iterator(outDir)) {
            const std::string name = e.path().filename().string();
            bool drawn = false;
            for (const docs::Picture& pic : docs::kPictures)
                drawn = drawn || name == pic.file;
            if (!drawn) {
                std::fprintf(stderr, "quellor-docs: %s is no picture of `make docs`; remove it\n",
                             e.path().c_str());
                ++failures;
            }
        }
    } else {
        std::printf("%zu pictures, %ju bytes in all\n", std::size(docs::kPictures), total);
    }
    return failures == 0 ? 0 : 1;
}
