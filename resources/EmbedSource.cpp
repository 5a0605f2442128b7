#include "EmbedSource.h"

#include <cstdio>

namespace artwork {

namespace {

// Bytes as string literals: far quicker for the compiler than brace lists.
// Octal escapes always take three digits, so no following digit can join one.
void writeLiteral(std::FILE* f, const std::vector<unsigned char>& bytes) {
    const std::size_t perLine = 96;
    for (std::size_t i = 0; i < bytes.size(); i += perLine) {
        std::fputs("    \"", f);
        for (std::size_t j = i; j < bytes.size() && j < i + perLine; ++j) {
            const unsigned char b = bytes[j];
            if (b >= 0x20 && b < 0x7f && b != '"' && b != '\\' && b != '?')
                std::fputc(b, f);
            else
                std::fprintf(f, "\\%03o", b);
        }
        std::fputs("\"\n", f);
    }
}

} // namespace

bool writeEmbedSource(const std::string& path, const std::vector<EncodedPng>& pngs) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    std::fputs("// Written by the artwork generator in resources/ at build time.\n"
               "#include \"gui/EmbeddedBitmaps.h\"\n\n"
               "namespace qgui {\n\nnamespace {\n\n",
               f);
    for (const EncodedPng& p : pngs) {
        std::fprintf(f, "const unsigned char png%d_%d[] =\n", p.id, p.halves);
        writeLiteral(f, p.bytes);
        std::fputs(";\n\n", f);
    }
    // The literal's closing NUL is not part of the file.
    std::fputs("const EmbeddedPng kPngs[] = {\n", f);
    for (const EncodedPng& p : pngs)
        std::fprintf(f, "    {%d, %d, png%d_%d, sizeof png%d_%d - 1},\n", p.id, p.halves, p.id,
                     p.halves, p.id, p.halves);
    std::fputs("};\n\n} // namespace\n\n"
               "const EmbeddedPng* findEmbeddedPng(int id, int halves) {\n"
               "    for (const EmbeddedPng& png : kPngs)\n"
               "        if (png.id == id && png.halves == halves)\n"
               "            return &png;\n"
               "    return nullptr;\n"
               "}\n\n} // namespace qgui\n",
               f);
    const bool ok = std::ferror(f) == 0;
    return std::fclose(f) == 0 && ok;
}

} // namespace artwork
