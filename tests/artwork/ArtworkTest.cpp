// The embedded editor bitmaps, decoded with libpng as the editor decodes them.

#include "editor/EditorLayout.h"
#include "gui/CScale.h"
#include "gui/EmbeddedBitmaps.h"

#include <gtest/gtest.h>
#include <png.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

namespace {

using qgui::CScale;
const CScale kScales[] = {CScale(1), CScale::oneAndAHalf(), CScale(2)};

struct Image {
    int width = 0, height = 0;
    std::vector<unsigned char> rgba;
    const unsigned char* at(int x, int y) const { return &rgba[(std::size_t(y) * width + x) * 4]; }
    double luminance(int x, int y) const {
        const unsigned char* p = at(x, y);
        return (0.2126 * p[0] + 0.7152 * p[1] + 0.0722 * p[2]) / 255.0 * (p[3] / 255.0);
    }
};

Image decode(const qgui::EmbeddedPng& png) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    Image out;
    if (!png_image_begin_read_from_memory(&image, png.bytes, png.size)) return out;
    image.format = PNG_FORMAT_RGBA;
    out.rgba.resize(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, out.rgba.data(), 0, nullptr)) {
        png_image_free(&image);
        out.rgba.clear();
        return out;
    }
    out.width = int(image.width);
    out.height = int(image.height);
    return out;
}

Image load(int id, CScale scale) {
    const qgui::EmbeddedPng* png = qgui::findEmbeddedPng(id, scale.halves());
    if (!png) {
        ADD_FAILURE() << "bitmap " << id << " at scale " << scale.text() << " is not embedded";
        return {};
    }
    return decode(*png);
}

// The bitmaps of the editor: size in window pixels and filmstrip frames.
using Entry = editorbitmaps::BitmapSpec;
const auto& kBitmaps = editorbitmaps::kBitmaps;

const Entry& entry(int id) {
    for (const Entry& e : kBitmaps)
        if (e.id == id) return e;
    std::abort();
}

// Frame f of a filmstrip, as a rectangle of the decoded image.
struct Frame {
    const Image* image;
    int x0, y0, w, h;
    double luminance(int x, int y) const { return image->luminance(x0 + x, y0 + y); }
    double meanLuminance() const {
        double sum = 0;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                sum += luminance(x, y);
        return sum / (w * h);
    }
};

Frame frame(const Image& img, const Entry& e, int f, CScale scale) {
    // The spectrum editors read their level images at width / frames whole
    // pixels; at 1.5 a frame starts where its offset maps to (CScale.h).
    const int fw = e.width / e.frames, fh = e.height / e.frames;
    if (e.sideBySide) {
        const int x0 = scale.toSurface(f * fw);
        return Frame{&img, x0, 0, scale.toSurface((f + 1) * fw) - x0, img.height};
    }
    const int y0 = scale.toSurface(f * fh);
    return Frame{&img, 0, y0, img.width, scale.toSurface((f + 1) * fh) - y0};
}

// Mean difference of the colour channels, 0..1.
double meanDifference(const Frame& a, const Frame& b) {
    double sum = 0;
    const int w = std::min(a.w, b.w), h = std::min(a.h, b.h); // at 1.5 they may differ by one
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const unsigned char* p = a.image->at(a.x0 + x, a.y0 + y);
            const unsigned char* q = b.image->at(b.x0 + x, b.y0 + y);
            for (int ch = 0; ch < 3; ++ch)
                sum += std::abs(p[ch] * p[3] - q[ch] * q[3]) / (255.0 * 255.0 * 3);
        }
    return sum / (w * h);
}

TEST(Artwork, EveryBitmapIsEmbeddedAtEveryScaleWithItsSizeAndFrames) {
    EXPECT_EQ(std::size(kBitmaps), 69u);
    for (const Entry& e : kBitmaps) {
        for (CScale scale : kScales) {
            SCOPED_TRACE("bitmap " + std::to_string(e.id) + " at scale " + scale.text());
            const Image img = load(e.id, scale);
            ASSERT_FALSE(img.rgba.empty()) << "does not decode";
            EXPECT_EQ(img.width, scale.toSurface(e.width));
            EXPECT_EQ(img.height, scale.toSurface(e.height));
            if (e.id == 152)
                EXPECT_LE(100 * (e.width / 100), e.width);
            else if (e.sideBySide)
                EXPECT_EQ(e.width % e.frames, 0);
            else
                EXPECT_EQ(e.height % e.frames, 0);
        }
    }
    EXPECT_EQ(qgui::findEmbeddedPng(119, 2), nullptr);
    EXPECT_EQ(qgui::findEmbeddedPng(120, 1), nullptr);
    EXPECT_EQ(qgui::findEmbeddedPng(120, 5), nullptr);
    EXPECT_EQ(qgui::findEmbeddedPng(189, 2), nullptr);
}

TEST(Artwork, EveryBitmapTheLayoutNamesIsEmbeddedAtItsControlsSizeAndFrames) {
    // The editor cuts each control's frames out of its bitmap at the control's
    // size: the bitmap must hold exactly the frames the control's kind reads.
    using namespace editorlayout;
    std::set<int> named;
    forEachControl([&](const Placement& p) {
        if (p.bitmap == editorbitmaps::kNone) return;
        SCOPED_TRACE(std::string(p.name) + " with bitmap " + std::to_string(p.bitmap));
        named.insert(p.bitmap);
        const Entry* e = editorbitmaps::findBitmap(p.bitmap);
        ASSERT_NE(e, nullptr) << "not a bitmap of the window";
        const Size size = sizeOf(p);
        ASSERT_GT(size.w, 0);
        ASSERT_GT(size.h, 0);
        int across = 1, down = 1; // frames side by side, top to bottom
        int frameWidth = size.w;
        switch (p.kind) {
        case Ctl::Knob:
            down = editorbitmaps::kKnobFrames;
            break;
        case Ctl::Button:
            EXPECT_GE(e->frames, 2);
            down = e->frames;
            break;
        case Ctl::Cell:
        case Ctl::SplitCell:
        case Ctl::Plain: // a number the size of a dimmed and a lit cell
            EXPECT_TRUE(e->frames == 2 || (e->frames == 3 && p.kind == Ctl::Cell));
            down = e->frames;
            break;
        case Ctl::Selector:
        case Ctl::TextSelector:
            across = e->frames;
            break;
        case Ctl::Spectrum: // a level image per bar; the strip may end in spare pixels
            EXPECT_EQ(size.w % kHarmonicBars, 0);
            frameWidth = size.w / kHarmonicBars;
            across = e->frames;
            EXPECT_LE(across * frameWidth, e->width);
            break;
        case Ctl::WaveView: // a level image per pixel column
            frameWidth = 1;
            across = e->frames;
            break;
        case Ctl::Splash: // a click shows the bitmap over the whole window
            EXPECT_EQ(e->width, kWindowWidth);
            EXPECT_EQ(e->height, kWindowHeight);
            return;
        default: // menus and the envelope editor draw the bitmap whole
            EXPECT_EQ(e->frames, 1);
            break;
        }
        const int width = p.kind == Ctl::Spectrum ? e->width : frameWidth * across;
        for (CScale scale : kScales) {
            const Image img = load(p.bitmap, scale);
            ASSERT_FALSE(img.rgba.empty()) << "at scale " << scale.text();
            EXPECT_EQ(img.width, scale.toSurface(width)) << "at scale " << scale.text();
            EXPECT_EQ(img.height, scale.toSurface(size.h * down)) << "at scale " << scale.text();
        }
    });
    // The editor loads every bitmap; each is drawn by some control, but the
    // two backgrounds, which the frame draws.
    for (const Entry& e : kBitmaps) {
        const bool background =
            e.id == editorbitmaps::kBackgroundMixer || e.id == editorbitmaps::kBackgroundSampler;
        EXPECT_NE(named.count(e.id) != 0, background) << "bitmap " << e.id;
    }
}

TEST(Artwork, KnobFramesTurnStepByStep) {
    for (int id : {149, 150, 151, 198}) {
        for (CScale scale : kScales) {
            SCOPED_TRACE("knob " + std::to_string(id) + " at scale " + scale.text());
            const Image img = load(id, scale);
            ASSERT_FALSE(img.rgba.empty());
            const Entry& e = entry(id);
            for (int f = 0; f + 1 < 55; ++f)
                EXPECT_GT(meanDifference(frame(img, e, f, scale), frame(img, e, f + 1, scale)), 0)
                    << "frames " << f << " and " << f + 1 << " are the same";
            EXPECT_GT(meanDifference(frame(img, e, 0, scale), frame(img, e, 54, scale)), 0.05);
        }
    }
}

TEST(Artwork, EveryFrameOfAButtonOrSelectorLooksDifferent) {
    // Switches must show their state at a glance: the frames differ by a clear
    // amount over the whole face, not by a few pixels.
    for (const Entry& e : kBitmaps) {
        if (e.frames < 2 || e.frames > 8 || e.id == 186) continue;
        const Image img = load(e.id, 1);
        ASSERT_FALSE(img.rgba.empty());
        for (int a = 0; a < e.frames; ++a)
            for (int b = a + 1; b < e.frames; ++b)
                EXPECT_GT(meanDifference(frame(img, e, a, 1), frame(img, e, b, 1)), 0.04)
                    << "bitmap " << e.id << " frames " << a << " and " << b;
    }
    // The clear button only brightens its mark when the slot holds a sample.
    const Image clear = load(186, 1);
    EXPECT_GT(meanDifference(frame(clear, entry(186), 0, 1), frame(clear, entry(186), 1, 1)), 0);
}

TEST(Artwork, TextGroundsSuitTheTextColourTheControlsDraw) {
    // Number cells, menus and the point display draw black text; the top bar's
    // fields draw white text. Dimmed cells (frame 0) are darker than active ones.
    for (int id : {145, 146, 147, 148, 190, 199, 161, 178, 185}) {
        const Image img = load(id, 1);
        const Entry& e = entry(id);
        const double dimmed = frame(img, e, 0, 1).meanLuminance();
        const double active = frame(img, e, 1, 1).meanLuminance();
        EXPECT_GT(active, 0.5) << "bitmap " << id;
        EXPECT_LT(dimmed, active - 0.2) << "bitmap " << id;
    }
    for (int id : {160, 194})
        EXPECT_GT(frame(load(id, 1), entry(id), 0, 1).meanLuminance(), 0.5) << "bitmap " << id;
    EXPECT_LT(frame(load(171, 1), entry(171), 0, 1).meanLuminance(), 0.15);
}

TEST(Artwork, CommandMenusAreDarkKeysWithACaptionAndAnArrow) {
    // The spectrum, envelope list and pattern menus show no choice: their keys
    // carry the caption and the pop-up arrow themselves, at every scale.
    for (CScale scale : kScales)
        for (int id : {162, 165, 170}) {
            const Image img = load(id, scale);
            ASSERT_FALSE(img.rgba.empty());
            const Frame key = frame(img, entry(id), 0, scale);
            EXPECT_LT(key.meanLuminance(), 0.3) << "bitmap " << id;
            // The caption: light pixels left of the arrow's box (its last 9 pixels).
            int caption = 0, arrow = 0;
            for (int y = 0; y < key.h; ++y)
                for (int x = 0; x < key.w; ++x) {
                    const unsigned char* p = img.at(x, y);
                    const bool blue = p[2] > 150 && p[0] < 80;
                    if (x < key.w - scale.toSurface(9))
                        caption += key.luminance(x, y) > 0.4;
                    else
                        arrow += blue;
                }
            const double area = scale.factor() * scale.factor();
            EXPECT_GT(caption, 4 * area) << "bitmap " << id << " at scale " << scale.text();
            EXPECT_GT(arrow, 2 * area) << "bitmap " << id << " at scale " << scale.text();
        }
}

TEST(Artwork, LevelImagesRiseWithTheirLevel) {
    // Spectrum bars: more lit pixels the higher the level.
    const Image bars = load(152, 1);
    auto lit = [&](int level) {
        const Frame f = frame(bars, entry(152), level, 1);
        int n = 0;
        for (int y = 0; y < f.h; ++y)
            for (int x = 0; x < f.w; ++x)
                n += f.luminance(x, y) > 0.3;
        return n;
    };
    for (int level = 0; level + 10 <= 99; level += 10)
        EXPECT_LT(lit(level), lit(level + 10)) << "level " << level;
    EXPECT_GT(lit(99), 2 * bars.height * 9 / 10);

    // Wave columns: the brightest row climbs as the level rises (level 0 is the
    // bottom of the wave, level 179 its top).
    const Image wave = load(153, 1);
    auto brightestRow = [&](int level) {
        const Frame f = frame(wave, entry(153), level, 1);
        int best = 0;
        for (int y = 1; y < f.h; ++y)
            if (f.luminance(0, y) > f.luminance(0, best)) best = y;
        return best;
    };
    EXPECT_GE(brightestRow(0), wave.height - 3);
    EXPECT_LE(brightestRow(179), 2);
    for (int level = 0; level + 20 < 180; level += 20)
        EXPECT_GT(brightestRow(level), brightestRow(level + 20)) << "level " << level;
}

TEST(Artwork, BackgroundsAreOpaqueAndDifferOnlyInTheMatrix) {
    for (CScale scale : kScales) {
        const Image mixer = load(120, scale), sampler = load(176, scale);
        ASSERT_EQ(mixer.rgba.size(), sampler.rgba.size());
        int outside = 0, inside = 0;
        for (int y = 0; y < mixer.height; ++y)
            for (int x = 0; x < mixer.width; ++x) {
                ASSERT_EQ(mixer.at(x, y)[3], 255);
                ASSERT_EQ(sampler.at(x, y)[3], 255);
                const bool differs = std::memcmp(mixer.at(x, y), sampler.at(x, y), 4) != 0;
                // The upper-left matrix: up to the operator selector, above the envelopes.
                const bool inMatrix = x < scale.toSurface(405) && y < scale.toSurface(209);
                (inMatrix ? inside : outside) += differs;
            }
        EXPECT_EQ(outside, 0) << "scale " << scale.text();
        EXPECT_GT(inside, 1000) << "scale " << scale.text();
    }
}

TEST(Artwork, ScaleTwoIsDrawnAnewNotEnlarged) {
    // An enlarged image is made of uniform 2 x 2 blocks; a redrawn one has
    // edges and text that fall inside them.
    for (int id : {120, 150, 146}) {
        const Image img = load(id, 2);
        int mixed = 0, blocks = 0;
        for (int y = 0; y + 1 < img.height; y += 2)
            for (int x = 0; x + 1 < img.width; x += 2, ++blocks)
                mixed += std::memcmp(img.at(x, y), img.at(x + 1, y), 4) != 0 ||
                         std::memcmp(img.at(x, y), img.at(x, y + 1), 4) != 0 ||
                         std::memcmp(img.at(x, y), img.at(x + 1, y + 1), 4) != 0;
        EXPECT_GT(mixed, blocks / 20) << "bitmap " << id;
    }
}

std::vector<unsigned char> readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(Artwork, TheGeneratorDrawsTheSameBytesEveryRun) {
    char folder[] = "/tmp/quellor-artwork-XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    const std::string out = folder;
    const std::string command = std::string(QUELLOR_ARTWORK_GENERATOR) + " " + out;
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    for (const Entry& e : kBitmaps)
        for (CScale scale : kScales) {
            char name[64];
            std::snprintf(name, sizeof name, "/%sx/bmp%05d.png", scale.text(), e.id);
            const std::vector<unsigned char> again = readFile(out + name);
            const qgui::EmbeddedPng* png = qgui::findEmbeddedPng(e.id, scale.halves());
            ASSERT_NE(png, nullptr);
            EXPECT_TRUE(again.size() == png->size &&
                        std::equal(again.begin(), again.end(), png->bytes))
                << name << " differs from the embedded file";
        }
    std::system(("rm -rf " + out).c_str());
}

} // namespace
