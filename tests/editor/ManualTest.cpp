// The manual against the window and the repository: every control of the
// layout table is named in the guide, and every link of the README and the
// guide's pages leads to a file (and a heading) that exists.
#include "editor/EditorLayout.h"

#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>

namespace fs = std::filesystem;

namespace {

const fs::path kSource = QUELLOR_SOURCE_DIR;

std::string readText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// The anchor a code host gives a heading: lower case, punctuation dropped,
// spaces as hyphens.
std::string anchorOf(const std::string& heading) {
    std::string anchor;
    for (unsigned char c : heading) {
        if (std::isalnum(c) || c == '-' || c == '_')
            anchor += char(std::tolower(c));
        else if (c == ' ')
            anchor += '-';
    }
    return anchor;
}

std::set<std::string> anchorsOf(const std::string& markdown) {
    std::set<std::string> anchors;
    std::istringstream lines(markdown);
    std::string line;
    bool inCode = false;
    while (std::getline(lines, line)) {
        if (line.rfind("```", 0) == 0) inCode = !inCode;
        if (inCode || line.empty() || line[0] != '#') continue;
        const std::size_t text = line.find_first_not_of('#');
        if (text != std::string::npos && line[text] == ' ')
            anchors.insert(anchorOf(line.substr(text + 1)));
    }
    return anchors;
}

} // namespace

TEST(Manual, GuideNamesEveryControlOfTheLayout) {
    const std::string guide = readText(kSource / "docs/guide.md");
    ASSERT_FALSE(guide.empty()) << "docs/guide.md is missing";
    std::set<std::string> names;
    editorlayout::forEachControl([&](const editorlayout::Placement& p) { names.insert(p.name); });
    ASSERT_GT(names.size(), 50u);
    for (const std::string& name : names)
        EXPECT_NE(guide.find("`" + name + "`"), std::string::npos)
            << "docs/guide.md does not name the control `" << name
            << "`: add it to \"Every control by name\" with the label the window shows";
}

TEST(Manual, EveryLinkLeadsToAFileAndHeadingThatExist) {
    const char* const pages[] = {"README.md", "docs/guide.md", "docs/banks.md",
                                 "docs/troubleshooting.md", "docs/development.md"};
    const std::regex link(R"(\]\(([^)\s]+)\))");
    int links = 0;
    for (const char* page : pages) {
        const fs::path path = kSource / page;
        const std::string text = readText(path);
        ASSERT_FALSE(text.empty()) << page << " is missing";
        for (std::sregex_iterator m(text.begin(), text.end(), link), end; m != end; ++m) {
            const std::string target = (*m)[1];
            if (target.rfind("http://", 0) == 0 || target.rfind("https://", 0) == 0) continue;
            ++links;
            const std::size_t hash = target.find('#');
            const std::string file = target.substr(0, hash);
            const fs::path linked = file.empty() ? path : path.parent_path() / file;
            EXPECT_TRUE(fs::exists(linked))
                << page << " links to " << target << ", which is missing";
            if (hash == std::string::npos || !fs::exists(linked)) continue;
            EXPECT_EQ(anchorsOf(readText(linked)).count(target.substr(hash + 1)), 1u)
                << page << " links to " << target << ", a heading that is not there";
        }
    }
    EXPECT_GT(links, 20);
}

TEST(Manual, HeadingAnchorsFollowTheCodeHost) {
    const std::pair<const char*, const char*> cases[] = {
        {"Top bar and banks", "top-bar-and-banks"},
        {"An operator and its spectrum", "an-operator-and-its-spectrum"},
        {"\"A file dialog needs zenity or kdialog\"", "a-file-dialog-needs-zenity-or-kdialog"},
        {"32-bit Windows hosts", "32-bit-windows-hosts"},
    };
    for (auto [heading, anchor] : cases)
        EXPECT_EQ(anchorOf(heading), anchor);
}
