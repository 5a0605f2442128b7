// The file list of an X11 drop: which URIs name files of this machine, and how
// their escapes turn into the bytes of a path.
#include "gui/x11/UriList.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using qgui::filePathsFromUriList;

TEST(UriList, FileUrisOfThisMachineBecomeDecodedPaths) {
    struct Case {
        const char* list;
        std::vector<std::string> paths;
    };
    const Case cases[] = {
        {"file:///a/b.qxlprg\r\nfile:///c%20d/%C3%A9%ff.wav\r\n",
         {"/a/b.qxlprg", "/c d/\xC3\xA9\xFF.wav"}},
        // Hosts: none, localhost and this machine's name (in any case) are here; others not.
        {"file://localhost/x\nfile://Studio/y\nfile://elsewhere/z\n", {"/x", "/y"}},
        // Comments, other schemes, and a last line without its line end.
        {"# from a file manager\r\nhttp://example.com/k.wav\r\nfile:///last", {"/last"}},
        // Escapes that are cut short or name a NUL byte leave the URI out.
        {"file:///bad%2\r\nfile:///bad%zz\r\nfile:///nul%00.tun\r\nfile:///ok%2F\r\n", {"/ok/"}},
        // A query or fragment is no part of the name; a URI without a path names nothing.
        {"FILE:///q.wav?x=1\r\nfile:///f.wav#frag\r\nfile://\r\nfile:\r\n", {"/q.wav", "/f.wav"}},
        {"", {}},
    };
    for (const Case& c : cases) {
        const std::string list = c.list;
        EXPECT_EQ(filePathsFromUriList(list.data(), list.size(), "studio"), c.paths) << c.list;
    }
    // The text ends at a NUL, as some sources terminate it.
    const char terminated[] = "file:///one\r\n\0file:///two\r\n";
    EXPECT_EQ(filePathsFromUriList(terminated, sizeof terminated - 1, "studio"),
              std::vector<std::string>{"/one"});
}
