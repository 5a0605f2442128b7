// Draws every bitmap of the editor at scales 1, 1.5 and 2 and writes
//   OUT/1x/bmpNNNNN.png, OUT/1.5x/bmpNNNNN.png, OUT/2x/bmpNNNNN.png
//                                (NNNNN: the resource ID)
//   OUT/EmbeddedBitmaps.cpp      (the same files as byte arrays)
// and, with --preview, pictures of the whole window in both matrix layouts
//   OUT/preview-mixer-1x.png, OUT/preview-sampler-1.5x.png, ...
//
// Usage: quellor-artwork OUT [--preview]

#include "Bitmaps.h"
#include "EmbedSource.h"
#include "Layout.h"
#include "Preview.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <sys/stat.h>

using namespace artwork;

namespace {

bool makeFolder(const std::string& path) {
    return mkdir(path.c_str(), 0755) == 0 || errno == EEXIST;
}

bool writeFile(const std::string& path, const std::vector<unsigned char>& bytes) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

std::string pngName(int id) {
    char name[32];
    std::snprintf(name, sizeof name, "bmp%05d.png", id);
    return name;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2 || (argc == 3 && std::strcmp(argv[2], "--preview") != 0) || argc > 3) {
        std::fprintf(stderr, "usage: %s OUTPUT-FOLDER [--preview]\n", argv[0]);
        return 2;
    }
    const std::string out = argv[1];
    const bool preview = argc == 3;
    if (!makeFolder(out)) {
        std::fprintf(stderr, "artwork: cannot create %s: %s\n", out.c_str(), std::strerror(errno));
        return 1;
    }

    std::vector<EncodedPng> pngs;
    for (qgui::CScale scale : {qgui::CScale(1), qgui::CScale::oneAndAHalf(), qgui::CScale(2)}) {
        const std::string folder = out + "/" + scale.text() + "x";
        if (!makeFolder(folder)) {
            std::fprintf(stderr, "artwork: cannot create %s\n", folder.c_str());
            return 1;
        }
        std::map<int, std::unique_ptr<Canvas>> drawn;
        for (const BitmapSpec& art : bitmapTable()) {
            auto canvas = std::make_unique<Canvas>(art.width, art.height, scale);
            drawBitmap(*canvas, art);
            EncodedPng png{art.id, scale.halves(), canvas->png()};
            const std::string path = folder + "/" + pngName(art.id);
            if (png.bytes.empty() || !writeFile(path, png.bytes)) {
                std::fprintf(stderr, "artwork: cannot write %s\n", path.c_str());
                return 1;
            }
            pngs.push_back(std::move(png));
            drawn[art.id] = std::move(canvas);
        }
        if (preview) {
            for (bool sampler : {false, true}) {
                Canvas window(layout::kWindowWidth, layout::kWindowHeight, scale);
                drawPreview(window, sampler, [&drawn](int id) { return drawn.at(id)->surface(); });
                const std::string path = out + "/preview-" + (sampler ? "sampler" : "mixer") + "-" +
                                         scale.text() + "x.png";
                if (!writeFile(path, window.png())) {
                    std::fprintf(stderr, "artwork: cannot write %s\n", path.c_str());
                    return 1;
                }
            }
        }
    }
    const std::string source = out + "/EmbeddedBitmaps.cpp";
    if (!writeEmbedSource(source, pngs)) {
        std::fprintf(stderr, "artwork: cannot write %s\n", source.c_str());
        return 1;
    }
    return 0;
}
