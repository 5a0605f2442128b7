#pragma once
// The bitmaps the GUI tests load by ID, standing in for the editor's artwork.
// Each is drawn at scale 1 and, with finer detail, at scales 1.5 and 2, so a
// test can tell which the framework drew.

#include <cstdint>
#include <vector>

namespace testbitmaps {

// 12 × 60: five frames of 12 × 12 stacked top to bottom; frame k is filled
// with filmstripColor(k). At scales 1.5 and 2 each frame has a one-pixel
// (surface) white dot at its top-left corner, which an upscaled image could
// not have.
constexpr int kFilmstrip = 149;
constexpr int kFilmstripFrames = 5;
constexpr int kFilmstripSide = 12;
std::uint32_t filmstripColor(int frame); // 0xAARRGGBB

// 200 × 120: a gradient; the background of the test windows.
constexpr int kBackground = 120;
// 200 × 120: the splash image, a solid colour with a frame.
constexpr int kSplash = 191;
// 10 × 10: pure red at alpha 128.
constexpr int kHalfRed = 160;
// A PNG cut short, and bytes that are no PNG at all.
constexpr int kTruncated = 198;
constexpr int kNotPng = 197;

// The RGBA bytes written as a PNG file.
std::vector<unsigned char> makePng(int width, int height, const std::vector<std::uint8_t>& rgba);

} // namespace testbitmaps
