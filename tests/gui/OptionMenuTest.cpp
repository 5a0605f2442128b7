// Option menus: entries and separators, the pop-up drawn by the frame in
// columns, choosing, dismissing, and what the listener hears.
#include "gui/CControlListener.h"
#include "gui/COptionMenu.h"
#include "gui/GuiFixture.h"
#include "gui/MouseButtons.h"

#include <gtest/gtest.h>

#include <string>

using namespace qgui;
using guitest::HeadlessFrame;

namespace {

struct Chosen : CControlListener {
    int calls = 0;
    int index = -1;
    void valueChanged(CControl* c) override {
        ++calls;
        index = static_cast<COptionMenu*>(c)->getCurrent();
    }
};

// The height of one pop-up row in the given font (line height plus air).
int rowHeight(HeadlessFrame& h, CFontId font) {
    h.frame->getDrawContext()->setFont(font);
    return h.frame->getDrawContext()->getFontHeight() + 3;
}

} // namespace

TEST(COptionMenu, EntriesAndSeparatorsShareOneIndex) {
    COptionMenu menu(CRect(0, 0, 80, 14));
    EXPECT_EQ(menu.getCurrent(), -1);
    menu.addEntry("Init");
    menu.addSeparator();
    menu.addEntry("Bass");
    menu.addEntry("Pad", 1); // inserted before the separator
    ASSERT_EQ(menu.getNbEntries(), 4);
    EXPECT_STREQ(menu.getEntryText(0), "Init");
    EXPECT_STREQ(menu.getEntryText(1), "Pad");
    EXPECT_TRUE(menu.isSeparator(2));
    EXPECT_EQ(menu.getCurrent(), 0);
    EXPECT_TRUE(menu.setCurrent(3));
    EXPECT_EQ(menu.getCurrent(), 3);
    EXPECT_FLOAT_EQ(menu.getValue(), 3.0f);
    menu.addEntry("Lead", 0); // the current entry keeps its title
    EXPECT_STREQ(menu.getEntryText(menu.getCurrent()), "Bass");
    EXPECT_FALSE(menu.setCurrent(5));
    EXPECT_FALSE(menu.setCurrent(-1));
    std::string title;
    EXPECT_FALSE(menu.getEntry(9, title));
    EXPECT_STREQ(menu.getEntryText(-3), "");
    menu.removeAllEntry();
    EXPECT_EQ(menu.getNbEntries(), 0);
    EXPECT_EQ(menu.getCurrent(), -1);
}

TEST(COptionMenu, PopupChoosesAnEntryAndTellsTheListener) {
    HeadlessFrame h;
    Chosen listener;
    auto* menu = new COptionMenu(CRect(20, 10, 100, 24), &listener, 462);
    menu->setFont(kSmallFont);
    menu->setFontColor(kWhiteCColor);
    for (const char* name : {"Factory", "-", "User", "Drums"})
        menu->addEntry(name);
    h.frame->addView(menu);
    h.frame->idle();
    const std::uint32_t beneath = h.at(30, 30);

    h.click(40, 15, kLButton);
    ASSERT_EQ(h.frame->getPopupMenu(), menu);
    // The pop-up lies below the field and covers what was there.
    EXPECT_NE(h.at(30, 30), beneath);

    // A click on the separator leaves it open; on an entry chooses it.
    const int row = rowHeight(h, kSmallFont);
    h.click(40, 24 + 1 + row + row / 2, kLButton);
    EXPECT_EQ(h.frame->getPopupMenu(), menu);
    EXPECT_EQ(listener.calls, 0);
    h.click(40, 24 + 1 + 3 * row + row / 2, kLButton);
    EXPECT_EQ(h.frame->getPopupMenu(), nullptr);
    EXPECT_EQ(listener.calls, 1);
    EXPECT_EQ(listener.index, 3);
    EXPECT_EQ(h.at(30, 30), beneath); // the area is repainted once closed

    // A click outside closes it without a change.
    h.click(40, 15, kLButton);
    ASSERT_EQ(h.frame->getPopupMenu(), menu);
    h.click(190, 110, kLButton);
    EXPECT_EQ(h.frame->getPopupMenu(), nullptr);
    EXPECT_EQ(listener.calls, 1);
    EXPECT_EQ(menu->getCurrent(), 3);
}

TEST(COptionMenu, LongListsWrapIntoColumnsOfTheAskedLength) {
    HeadlessFrame h(1, CRect(0, 0, 970, 600));
    Chosen listener;
    auto* menu = new COptionMenu(CRect(384, 14, 479, 27), &listener, 462);
    menu->setFont(kSmallFont);
    menu->setNbItemsPerColumn(26);
    for (int i = 0; i < 60; ++i)
        menu->addEntry(("Program " + std::to_string(i + 1)).c_str());
    h.frame->addView(menu);
    h.click(400, 20, kLButton);
    ASSERT_EQ(h.frame->getPopupMenu(), menu);

    // Entry 26 heads the second column and entry 52 the third: click the first
    // and last row of each. The columns share the pop-up's width, found from
    // its border along the top edge.
    const int row = rowHeight(h, kSmallFont);
    const std::uint32_t border = h.at(384, 27);
    int right = 384;
    while (right < 970 && h.at(right, 27) == border)
        ++right;
    const int columnWidth = (right - 384 - 2) / 3;
    ASSERT_GT(columnWidth, 40);
    std::vector<int> picked;
    for (int column = 0; column < 3; ++column) {
        for (int r : {0, 25}) {
            if (!h.frame->getPopupMenu()) h.click(400, 20, kLButton); // reopen
            h.click(384 + 1 + column * columnWidth + columnWidth / 2, 27 + 1 + r * row + row / 2,
                    kLButton);
            picked.push_back(listener.index);
        }
    }
    // The third column holds only entries 52..59: its last row is empty.
    EXPECT_EQ(picked, (std::vector<int>{0, 25, 26, 51, 52, 52}));
}

TEST(COptionMenu, RemovingTheMenuClosesItsPopup) {
    HeadlessFrame h;
    auto* menu = new COptionMenu(CRect(20, 10, 100, 24));
    menu->addEntry("One");
    h.frame->addView(menu);
    h.click(40, 15, kLButton);
    ASSERT_EQ(h.frame->getPopupMenu(), menu);
    h.frame->removeView(menu);
    EXPECT_EQ(h.frame->getPopupMenu(), nullptr);
    h.frame->idle(); // and repaints without it
    EXPECT_EQ(h.at(30, 30), h.backgroundAt(30, 30));

    // An empty menu opens nothing; the frame closes with a pop-up still open.
    auto* empty = new COptionMenu(CRect(20, 10, 100, 24));
    h.frame->addView(empty);
    h.click(40, 15, kLButton);
    EXPECT_EQ(h.frame->getPopupMenu(), nullptr);
    empty->addEntry("Two");
    h.click(40, 15, kLButton);
    EXPECT_EQ(h.frame->getPopupMenu(), empty);
}

TEST(COptionMenu, CommandMenusKeepNoChosenEntryOnShow) {
    // The same two entries as a menu of choices and as a menu of commands: the
    // choice shows in the field and is marked in the pop-up; a command in neither,
    // though the listener still reads which one ran.
    for (bool commands : {false, true}) {
        HeadlessFrame h;
        Chosen listener;
        auto* menu = new COptionMenu(CRect(20, 10, 100, 24), &listener, 462);
        menu->setFont(kSmallFont);
        menu->setFontColor(kWhiteCColor);
        menu->setBackColor(CColor{40, 40, 40, 255});
        menu->setHoriAlign(kLeftText);
        menu->setCommandMenu(commands);
        menu->addEntry("Copy");
        menu->addEntry("Paste");
        h.frame->addView(menu);
        const int row = rowHeight(h, kSmallFont);
        h.click(40, 15, kLButton);
        h.click(40, 24 + 1 + row + row / 2, kLButton);
        ASSERT_EQ(listener.calls, 1);
        EXPECT_EQ(listener.index, 1);

        int lit = 0; // pixels of white text over the dark field
        for (int y = 10; y < 24; ++y)
            for (int x = 20; x < 100; ++x)
                lit += (h.at(x, y) >> 8 & 0xff) > 0x80;
        EXPECT_EQ(lit > 0, !commands) << commands;

        // The mark: a small square left of the current entry's title.
        h.click(40, 15, kLButton);
        ASSERT_EQ(h.frame->getPopupMenu(), menu);
        const std::uint32_t mark = h.at(20 + 1 + 6, 24 + 1 + row + row / 2);
        const std::uint32_t beside = h.at(20 + 1 + 6, 24 + 1 + row / 2);
        EXPECT_EQ(mark != beside, !commands) << commands;
    }
}
