#pragma once
// Writes the C++ source that embeds the PNG files in the plug-in and
// answers qgui::findEmbeddedPng.

#include <string>
#include <vector>

namespace artwork {

struct EncodedPng {
    int id;
    int halves; // the scale in half steps
    std::vector<unsigned char> bytes;
};

bool writeEmbedSource(const std::string& path, const std::vector<EncodedPng>& pngs);

} // namespace artwork
