// The program browser on a headless window: opened from the top bar,
// filtered by typing, walked and loaded by keys, favourites marked with a
// click and kept in the data root, closed by Escape or a click outside.
#include "editor/CBrowserButton.h"
#include "editor/CBrowserView.h"
#include "editor/CPluginEditor.h"
#include "editor/EditorLayout.h"
#include "editor/HeadlessEditor.h"
#include "engine/CSoundRenderer.h"
#include "gui/CFrame.h"
#include "gui/CHeadlessWindow.h"
#include "gui/COptionMenu.h"
#include "gui/CSurface.h"
#include "gui/KeyCodes.h"
#include "gui/MouseButtons.h"
#include "gui/PngCodec.h"
#include "patch/CPluginFile.h"
#include "patch/CProgram.h"
#include "patch/CProgramCatalog.h"
#include "patch/PatchFiles.h"
#include "support/ScriptedPlatform.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <memory>
#include <sstream>
#include <string>

using namespace qgui;
namespace fs = std::filesystem;

namespace {

// Two banks; names chosen so that "warm" finds one program in each.
const std::pair<const char*, const char*> kPrograms[] = {
    {"A Bank", "Bright Lead"}, {"A Bank", "Soft Keys"}, {"A Bank", "Warm Pad"},
    {"B Bank", "Pluck"},       {"B Bank", "Warm Bass"},
};

struct Browser : ::testing::Test, HeadlessEditor {
    void SetUp() override {
        makeRoot("quellor-browser");
        for (const auto& [bank, name] : kPrograms) {
            const fs::path folder = root / "QuellorData/Banks" / bank;
            fs::create_directories(folder);
            CPluginFile writer(platform);
            CProgram program;
            ASSERT_TRUE(saveProgramFile(
                program, (folder / (std::string(name) + ".qxlprg")).string().c_str(), writer));
        }
        start(nullptr);
    }
    void TearDown() override { finish(); }
    void click(int x, int y) {
        window->mouseDown(CPoint(scale.toSurface(x), scale.toSurface(y)), kLButton);
        editor->idle();
    }
    void type(const std::string& text) {
        for (char c : text)
            window->key(static_cast<unsigned char>(c));
        editor->idle();
    }
    void key(long k) {
        window->key(k);
        editor->idle();
    }
    void openBrowserByClick() {
        const editorlayout::Placement& b = editorlayout::kBrowserButton;
        click(b.x + 10, b.y + 6);
    }
    CBrowserView* browser() { return editor->browserView(); }
    bool browserShown() { return browser() && browser()->isVisible(); }
    std::string programName() {
        char name[128] = {};
        renderer->getProgramName(name, sizeof name);
        return name;
    }
    std::string shownNames() {
        std::string names;
        for (int32_t i : browser()->shownEntries())
            names += (names.empty() ? "" : ", ") + browser()->catalog().entries()[size_t(i)].name;
        return names;
    }
    std::string favouritesFile() {
        std::ifstream in(root / "QuellorData" / CProgramCatalog::kFavouritesFile);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    void shot(const char* name) {
        const std::string path = std::string(QUELLOR_SCREENSHOT_DIR) + "/" + name;
        EXPECT_TRUE(writePng(*editor->getFrame()->getSurface(), path)) << path;
    }
};

} // namespace

TEST_F(Browser, FiltersAsTypedAndLoadsByKeys) {
    for (CScale s : {CScale(1), CScale::oneAndAHalf(), CScale(2)}) {
        SCOPED_TRACE(std::string("scale ") + s.text());
        ASSERT_TRUE(open(s));
        ASSERT_EQ(programName(), "Bright Lead");
        const CPoint outside(s.toSurface(100), s.toSurface(300));
        const std::uint32_t undimmed =
            editor->getFrame()->getSurface()->pixel(outside.h, outside.v);
        openBrowserByClick();
        ASSERT_TRUE(browserShown());
        // The window under the panel is dimmed.
        EXPECT_NE(editor->getFrame()->getSurface()->pixel(outside.h, outside.v), undimmed);
        EXPECT_EQ(shownNames(), "Bright Lead, Soft Keys, Warm Pad, Pluck, Warm Bass");
        EXPECT_EQ(browser()->selectedEntry()->name, "Bright Lead"); // the current program

        type("WaRm");
        EXPECT_EQ(browser()->query(), "WaRm");
        EXPECT_EQ(shownNames(), "Warm Pad, Warm Bass");
        shot(("browser-filtered-" + std::string(s.text()) + "x.png").c_str());
        EXPECT_NE(editor->getFrame()->getSurface()->pixel(outside.h, outside.v), undimmed);
        key(kKeyDown);
        EXPECT_EQ(browser()->selectedEntry()->name, "Warm Bass");
        key(kKeyDown); // stays on the last
        key(kKeyReturn);
        EXPECT_EQ(programName(), "Warm Bass");
        EXPECT_STREQ(renderer->program().bankName, "B Bank");
        EXPECT_EQ(editor->bankMenu()->getCurrent(), 1);
        EXPECT_TRUE(browserShown()); // the next program is a key away

        // Backspace takes letters back; a text nothing has shows no row.
        type("\b\b\b\b");
        EXPECT_EQ(shownNames(), "Bright Lead, Soft Keys, Warm Pad, Pluck, Warm Bass");
        EXPECT_EQ(browser()->selectedEntry()->name, "Warm Bass");
        type("zzz");
        EXPECT_EQ(shownNames(), "");
        key(kKeyReturn); // nothing to load
        EXPECT_EQ(programName(), "Warm Bass");

        key(kKeyEscape);
        EXPECT_FALSE(browserShown());
        // Keys no longer reach it.
        type("q");
        EXPECT_EQ(browser()->query(), "zzz");
        editor->close();
        ASSERT_TRUE(renderer->loadProgramFile(
            (root / "QuellorData/Banks/A Bank/Bright Lead.qxlprg").string().c_str(), "A Bank"));
    }
}

TEST_F(Browser, FavouritesAreMarkedWithAClickAndKeptInTheDataRoot) {
    ASSERT_TRUE(open(1));
    openBrowserByClick();
    type("warm");
    // The star of the second row: Warm Bass.
    const int y = browser()->rowTop(1) + CBrowserView::kRowHeight / 2;
    click(CBrowserView::kStarLeft + 8, y);
    EXPECT_TRUE(browser()->selectedEntry()->name == "Warm Pad"); // a star click selects nothing
    EXPECT_EQ(favouritesFile(), "B Bank/Warm Bass\n");
    click(CBrowserView::kStarLeft + 8, browser()->rowTop(0) + 4);
    EXPECT_EQ(favouritesFile(), "A Bank/Warm Pad\nB Bank/Warm Bass\n");
    shot("browser-favourites-1x.png");
    click(CBrowserView::kStarLeft + 8, y);
    EXPECT_EQ(favouritesFile(), "A Bank/Warm Pad\n");

    // A click outside the panel closes; the marks are there when it opens again.
    click(50, 300);
    EXPECT_FALSE(browserShown());
    openBrowserByClick();
    ASSERT_TRUE(browserShown());
    EXPECT_EQ(browser()->query(), "");
    const auto& entries = browser()->catalog().entries();
    int marked = 0;
    for (const CatalogEntry& e : entries)
        marked += e.favourite ? 1 : 0;
    EXPECT_EQ(marked, 1);
    EXPECT_TRUE(entries[2].favourite && entries[2].name == "Warm Pad");

    // A click on a row selects it, a second one soon after loads it.
    click(CBrowserView::kNameLeft + 20, browser()->rowTop(3) + 4);
    EXPECT_EQ(browser()->selectedEntry()->name, "Pluck");
    EXPECT_EQ(programName(), "Bright Lead");
    click(CBrowserView::kNameLeft + 20, browser()->rowTop(3) + 4);
    EXPECT_EQ(programName(), "Pluck");
}

TEST(ProgramCatalog, FavouritesThatCannotBeKeptSaySoAndStayAsTheyWere) {
    const fs::path root = fs::temp_directory_path() / "quellor-catalog-unwritable";
    fs::remove_all(root);
    fs::create_directories(root / "QuellorData/Banks/Bank");
    std::ofstream(root / "QuellorData/Banks/Bank/One.QXLPRG") << "x";
    std::ofstream(root / "QuellorData/Banks/Bank/notes.txt") << "x";
    // A folder where the favourites file is written before it takes its
    // place: nobody, root included, can open it as a file.
    fs::create_directories(root / "QuellorData" /
                           (std::string(CProgramCatalog::kFavouritesFile) + ".tmp~") / "in");
    ScriptedPlatform platform;
    platform.rootFolder = root.string();
    CPluginFile settings(platform);
    settings.init();
    CProgramCatalog catalog(settings);
    catalog.scan();
    ASSERT_EQ(catalog.entries().size(), 1u);
    EXPECT_EQ(catalog.entries()[0].name, "One");
    EXPECT_FALSE(catalog.toggleFavourite(0));
    EXPECT_FALSE(catalog.entries()[0].favourite);
    ASSERT_EQ(platform.errors.size(), 1u);
    EXPECT_EQ(platform.errors[0].rfind("The favourites could not be kept", 0), 0u);
    EXPECT_FALSE(catalog.toggleFavourite(5)); // no such entry: nothing shown
    EXPECT_EQ(platform.errors.size(), 1u);
    fs::remove_all(root);
}

// Opened again, the browser lists what the banks hold now: programs removed
// meanwhile are gone, even the one that was selected.
TEST_F(Browser, OpensAgainOnWhatTheBanksHoldNow) {
    ASSERT_TRUE(open(1));
    openBrowserByClick();
    key(kKeyPageDown); // the last program: Warm Bass
    ASSERT_EQ(browser()->selectedEntry()->name, "Warm Bass");
    key(kKeyEscape);
    fs::remove_all(root / "QuellorData/Banks/B Bank");
    openBrowserByClick();
    EXPECT_EQ(shownNames(), "Bright Lead, Soft Keys, Warm Pad");
    EXPECT_EQ(browser()->selectedEntry()->name, "Bright Lead");
}
