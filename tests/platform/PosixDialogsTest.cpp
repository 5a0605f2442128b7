// The Linux file dialogs and message boxes: stand-in zenity, kdialog and
// xmessage scripts first on PATH record the arguments they get and answer as
// told; one test runs the real zenity on an X server of its own.
#include "platform/IPlatform.h"
#include "support/ScopedEnv.h"
#include "support/XvfbServer.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;
using Args = std::vector<std::string>;

namespace {

// A folder of stand-in dialog programs. Each call writes its arguments
// (NUL-separated) to calls/N, prints the line in "reply" and exits with the
// code in "code.N" or else "code". Only shell built-ins: PATH holds nothing else.
// SetUp may run again inside a test to start over with an empty folder.
struct FakeDialogs {
    fs::path dir;
    explicit FakeDialogs(const fs::path& d) : dir(d) {
        fs::remove_all(dir);
        fs::create_directories(dir / "bin");
        fs::create_directories(dir / "calls");
        std::ofstream(dir / "count") << "0\n";
        std::ofstream(dir / "code") << "0\n";
        std::ofstream(dir / "reply") << "";
    }
    void install(const char* name) {
        const std::string d = dir.string();
        const fs::path script = dir / "bin" / name;
        std::ofstream(script)
            << "#!/bin/sh\n"
            << "D='" << d << "'\n"
            << "read n < \"$D/count\"; echo $((n + 1)) > \"$D/count\"\n"
            << "echo $$ > \"$D/pid.$n\"\n"
            << "if [ -f \"$D/delay\" ]; then read s < \"$D/delay\"; /bin/sleep $s; fi\n"
            << "{ printf '%s\\0' \"${0##*/}\"; for a in \"$@\"; do printf "
               "'%s\\0' \"$a\"; done; } > \"$D/calls/$n\"\n"
            << "IFS= read -r reply < \"$D/reply\"\n"
            << "[ -n \"$reply\" ] && printf '%s\\n' \"$reply\"\n"
            << "if [ -f \"$D/code.$n\" ]; then read code < \"$D/code.$n\"; "
               "else read code < \"$D/code\"; fi\n"
            << "exit $code\n";
        chmod(script.c_str(), 0755);
    }
    void reply(const std::string& line) { std::ofstream(dir / "reply") << line << "\n"; }
    void code(int c) { std::ofstream(dir / "code") << c << "\n"; }
    // Each call waits this long before it answers.
    void delay(double seconds) { std::ofstream(dir / "delay") << seconds << "\n"; }
    int pidOfCall(int n) const {
        int pid = 0;
        std::ifstream(dir / ("pid." + std::to_string(n))) >> pid;
        return pid;
    }
    void codeOfCall(int n, int c) {
        std::ofstream(dir / ("code." + std::to_string(n))) << c << "\n";
    }
    int calls() const {
        int n = 0;
        std::ifstream(dir / "count") >> n;
        return n;
    }
    Args call(int n) const {
        std::ifstream in(dir / "calls" / std::to_string(n), std::ios::binary);
        Args args;
        std::string a;
        while (std::getline(in, a, '\0'))
            args.push_back(a);
        return args;
    }
};

struct PosixDialogsTest : ::testing::Test {
    fs::path root = fs::path(::testing::TempDir()) / "quellor-posix-dialogs";
    std::unique_ptr<FakeDialogs> fake;
    ScopedEnv display{"DISPLAY", ":99"};
    ScopedEnv wayland{"WAYLAND_DISPLAY", nullptr};
    ScopedEnv desktop{"XDG_CURRENT_DESKTOP", "GNOME"};
    ScopedEnv kde{"KDE_FULL_SESSION", nullptr};
    std::unique_ptr<ScopedEnv> path;
    IPlatform& p = nativePlatform();

    void SetUp() override {
        path.reset();
        fake = std::make_unique<FakeDialogs>(root);
        path = std::make_unique<ScopedEnv>("PATH", (root / "bin").c_str());
    }
    void TearDown() override {
        waitForMessages();
        path.reset();
        fs::remove_all(root);
    }
    // Error boxes are shown without waiting for them; this waits until the
    // stand-in program has shown and closed them.
    void waitForMessages() {
        for (int i = 0; i < 1000 && p.showMessages(nullptr); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
};

} // namespace

TEST_F(PosixDialogsTest, FileDialogArgumentsForEachProgramAndMode) {
    struct Case {
        const char* program;
        const char* desktop;
        bool open;
        const char* title;
        const char* pattern;
        const char* description;
        const char* initial;
        const char* reply;
        Args expected;
        const char* result;
    };
    const Case cases[] = {
        {"zenity",
         "GNOME",
         true,
         "Load Program",
         "*.qxlprg",
         "Program",
         "/d/Banks/untitled.qxlprg",
         "/d/Banks/Piano.qxlprg",
         {"zenity", "--file-selection", "--title=Load Program",
          "--filename=/d/Banks/untitled.qxlprg",
          "--file-filter=Program | *.[qQ][xX][lL][pP][rR][gG]"},
         "/d/Banks/Piano.qxlprg"},
        // Saving: overwrite question asked, and the typed name gets the extension.
        {"zenity",
         "GNOME",
         false,
         "Save Program",
         "*.qxlprg",
         "Program",
         "/d/untitled.qxlprg",
         "/d/My Pad",
         {"zenity", "--file-selection", "--title=Save Program", "--filename=/d/untitled.qxlprg",
          "--file-filter=Program | *.[qQ][xX][lL][pP][rR][gG]", "--save", "--confirm-overwrite"},
         "/d/My Pad.qxlprg"},
        {"zenity",
         "GNOME",
         true,
         "Load Microtuning",
         "*.tun",
         "Microtuning (TUN)",
         "",
         "/m/STANDARD.TUN",
         {"zenity", "--file-selection", "--title=Load Microtuning",
          "--file-filter=Microtuning (TUN) | *.[tT][uU][nN]"},
         "/m/STANDARD.TUN"},
        {"kdialog",
         "KDE",
         true,
         "Import Wave",
         "*.qxlwav;*.wav;*.aif;*.aiff",
         "Microsoft Wave, AIFF, Quellor waves",
         "/w/untitled.qxlwav",
         "/w/Bell.aif",
         {"kdialog", "--title", "Import Wave", "--getopenfilename", "/w/untitled.qxlwav",
          "*.qxlwav *.wav *.aif *.aiff|Microsoft Wave, AIFF, Quellor waves"},
         "/w/Bell.aif"},
        // A name that has an extension keeps it.
        {"kdialog",
         "KDE",
         false,
         "Export Wave",
         "*.qxlwav",
         "Quellor waves",
         "",
         "/w/Saw.old",
         {"kdialog", "--title", "Export Wave", "--getsavefilename", ".", "*.qxlwav|Quellor waves"},
         "/w/Saw.old"},
        // Non-ASCII names pass through byte for byte.
        {"zenity",
         "GNOME",
         true,
         "Load Sample",
         "*.wav;*.aif;*.aiff",
         "WAV, AIFF Audio Files",
         "",
         "/tmp/Klänge/Flöte ♪ 日本.wav",
         {"zenity", "--file-selection", "--title=Load Sample",
          "--file-filter=WAV, AIFF Audio Files | *.[wW][aA][vV] *.[aA][iI][fF] *.[aA][iI][fF][fF]"},
         "/tmp/Klänge/Flöte ♪ 日本.wav"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.title);
        SetUp();
        fake->install(c.program);
        fake->reply(c.reply);
        ScopedEnv d("XDG_CURRENT_DESKTOP", c.desktop);
        char buffer[260];
        std::snprintf(buffer, sizeof buffer, "%s", c.initial);
        ASSERT_TRUE(p.chooseFile(buffer, sizeof buffer, c.title, c.pattern, c.description, nullptr,
                                 c.open));
        EXPECT_EQ(fake->calls(), 1);
        EXPECT_EQ(fake->call(0), c.expected);
        EXPECT_STREQ(buffer, c.result);
    }
}

TEST_F(PosixDialogsTest, TheDesktopsProgramComesFirst) {
    fake->install("zenity");
    fake->install("kdialog");
    fake->reply("/x/a.qxlenv");
    struct {
        const char* desktop;
        const char* kdeSession;
        const char* expected;
    } cases[] = {{"GNOME", nullptr, "zenity"},
                 {"KDE", nullptr, "kdialog"},
                 {"ubuntu:GNOME", "true", "kdialog"},
                 {"XFCE", nullptr, "zenity"}};
    int n = 0;
    for (const auto& c : cases) {
        ScopedEnv d("XDG_CURRENT_DESKTOP", c.desktop);
        ScopedEnv k("KDE_FULL_SESSION", c.kdeSession);
        char buffer[260] = "";
        EXPECT_TRUE(p.chooseFile(buffer, sizeof buffer, "Load Envelope", "*.qxlenv", "Envelope",
                                 nullptr, true));
        EXPECT_EQ(fake->call(n++).at(0), c.expected) << c.desktop;
        p.showError("Quellor", "x");
        waitForMessages();
        EXPECT_EQ(fake->call(n++).at(0), c.expected) << c.desktop;
    }
}

TEST_F(PosixDialogsTest, CancelTooLongAndExistingFileLeaveTheBufferAlone) {
    fake->install("zenity");
    char buffer[260] = "/d/untitled.qxlseq";
    // Cancel.
    fake->reply("");
    fake->code(1);
    EXPECT_FALSE(p.chooseFile(buffer, sizeof buffer, "Load Sequencer Pattern", "*.qxlseq",
                              "Sequencer Pattern", nullptr, true));
    EXPECT_STREQ(buffer, "/d/untitled.qxlseq");
    EXPECT_EQ(fake->calls(), 1);

    // A path longer than the buffer: a message, never a cut path.
    fake->code(0);
    const std::string longPath = "/d/" + std::string(300, 'a') + ".qxlseq";
    fake->reply(longPath);
    EXPECT_FALSE(p.chooseFile(buffer, sizeof buffer, "Load Sequencer Pattern", "*.qxlseq",
                              "Sequencer Pattern", nullptr, true));
    EXPECT_STREQ(buffer, "/d/untitled.qxlseq");
    waitForMessages();
    ASSERT_EQ(fake->calls(), 3);
    const Args message = fake->call(2);
    EXPECT_EQ(message.at(1), "--error");
    EXPECT_EQ(message.at(4), "--title=Quellor");
    EXPECT_NE(message.at(5).find("The path is too long"), std::string::npos);
    EXPECT_NE(message.at(5).find(longPath), std::string::npos);

    // Saving as "Bass" where "Bass.qxlseq" exists: asked again, No keeps it.
    const fs::path folder = root / "save";
    fs::create_directories(folder);
    std::ofstream(folder / "Bass.qxlseq") << "keep";
    fake->reply((folder / "Bass").string());
    fake->codeOfCall(4, 1);
    EXPECT_FALSE(p.chooseFile(buffer, sizeof buffer, "Save Sequencer Pattern", "*.qxlseq",
                              "Sequencer Pattern", nullptr, false));
    EXPECT_STREQ(buffer, "/d/untitled.qxlseq");
    ASSERT_EQ(fake->calls(), 5);
    EXPECT_EQ(fake->call(4).at(1), "--question");
    EXPECT_NE(fake->call(4).at(5).find("Bass.qxlseq\" already exists"), std::string::npos);
    // Yes replaces it.
    fake->codeOfCall(6, 0);
    EXPECT_TRUE(p.chooseFile(buffer, sizeof buffer, "Save Sequencer Pattern", "*.qxlseq",
                             "Sequencer Pattern", nullptr, false));
    EXPECT_EQ(std::string(buffer), (folder / "Bass.qxlseq").string());
}

TEST_F(PosixDialogsTest, MessagesShowTheirTextExactlyWithCaptionIconAndButtons) {
    const char* text = "Failed to load the sample\n/s/a<b>&c.wav";
    fake->install("zenity");
    p.showError("Quellor", text);
    waitForMessages();
    EXPECT_EQ(fake->call(0), (Args{"zenity", "--error", "--no-markup", "--no-wrap",
                                   "--title=Quellor", std::string("--text=") + text}));
    fake->code(0);
    EXPECT_TRUE(p.askYesNo("Quellor", "Clear Sample?"));
    EXPECT_EQ(fake->call(1), (Args{"zenity", "--question", "--no-markup", "--no-wrap",
                                   "--title=Quellor", "--text=Clear Sample?"}));
    fake->code(1);
    EXPECT_FALSE(p.askYesNo("Quellor", "Clear Sample?"));

    ScopedEnv d("XDG_CURRENT_DESKTOP", "KDE");
    fake->install("kdialog");
    p.showError("Quellor", text);
    waitForMessages();
    EXPECT_EQ(fake->call(3),
              (Args{"kdialog", "--title", "Quellor", "--error",
                    "<html>Failed to load the sample<br>/s/a&lt;b&gt;&amp;c.wav</html>"}));
    p.showError("Quellor", "File Error");
    waitForMessages();
    EXPECT_EQ(fake->call(4), (Args{"kdialog", "--title", "Quellor", "--error", "File Error"}));
    fake->code(0);
    EXPECT_TRUE(p.askYesNo("Quellor", "Clear Sample?"));
    EXPECT_EQ(fake->call(5), (Args{"kdialog", "--title", "Quellor", "--yesno", "Clear Sample?"}));
}

TEST_F(PosixDialogsTest, WithoutADialogProgramOneClearMessageAndNothingElse) {
    fake->install("xmessage");
    char buffer[260] = "/d/untitled.qxlprg";
    ::testing::internal::CaptureStderr();
    EXPECT_FALSE(
        p.chooseFile(buffer, sizeof buffer, "Load Program", "*.qxlprg", "Program", nullptr, true));
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_STREQ(buffer, "/d/untitled.qxlprg");
    EXPECT_NE(err.find("zenity or kdialog"), std::string::npos);
    waitForMessages();
    ASSERT_EQ(fake->calls(), 1);
    const Args shown = fake->call(0);
    EXPECT_EQ(shown.at(0), "xmessage");
    EXPECT_NE(shown.back().find("A file dialog needs zenity or kdialog"), std::string::npos);

    // Errors and the question fall back to the same window; No is the answer on exit 1.
    fake->code(1);
    EXPECT_FALSE(p.askYesNo("Quellor", "Clear Sample?"));
    EXPECT_EQ(fake->call(1), (Args{"xmessage", "-title", "Quellor", "-center", "-buttons",
                                   "Yes:0,No:1", "Clear Sample?"}));

    // Without xmessage either: stderr only.
    fs::remove(root / "bin" / "xmessage");
    ::testing::internal::CaptureStderr();
    EXPECT_FALSE(
        p.chooseFile(buffer, sizeof buffer, "Load Program", "*.qxlprg", "Program", nullptr, true));
    EXPECT_NE(::testing::internal::GetCapturedStderr().find("zenity or kdialog"),
              std::string::npos);
}

TEST_F(PosixDialogsTest, WithoutADisplayNoProgramIsStarted) {
    fake->install("zenity");
    fake->install("xmessage");
    fake->reply("/d/chosen.qxlprg");
    ScopedEnv noX("DISPLAY", nullptr);
    char buffer[260] = "/d/untitled.qxlprg";
    ::testing::internal::CaptureStderr();
    EXPECT_FALSE(p.askYesNo("Quellor", "Clear Sample?"));
    p.showError("Quellor", "File Error");
    EXPECT_FALSE(
        p.chooseFile(buffer, sizeof buffer, "Load Program", "*.qxlprg", "Program", nullptr, true));
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(fake->calls(), 0);
    EXPECT_STREQ(buffer, "/d/untitled.qxlprg");
    EXPECT_NE(err.find("Quellor: File Error"), std::string::npos);
    EXPECT_NE(err.find("Clear Sample?"), std::string::npos);
}

namespace {

// Asks until the dialog has its answer, as the window's idle calls do; false
// when none came within seconds.
bool answeredWithin(IPendingDialog& dialog, double seconds) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (!dialog.answered()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

void* const kHostWindow = reinterpret_cast<void*>(std::uintptr_t(4194321));

} // namespace

TEST_F(PosixDialogsTest, OpenedDialogsAnswerLaterAndStayAboveTheHostsWindow) {
    fake->install("zenity");
    fake->install("kdialog");
    fake->delay(0.3);
    fake->reply("/d/Banks/Piano.qxlprg");
    std::unique_ptr<IPendingDialog> file = p.openFileDialog(
        "/d/Banks/untitled.qxlprg", "Load Program", "*.qxlprg", "Program", kHostWindow, true);
    // The call came back before the program answered.
    EXPECT_FALSE(file->answered());
    ASSERT_TRUE(answeredWithin(*file, 10));
    EXPECT_TRUE(file->confirmed());
    EXPECT_EQ(file->chosenPath(), "/d/Banks/Piano.qxlprg");
    EXPECT_EQ(fake->call(0), (Args{"zenity", "--file-selection", "--title=Load Program",
                                   "--filename=/d/Banks/untitled.qxlprg",
                                   "--file-filter=Program | *.[qQ][xX][lL][pP][rR][gG]",
                                   "--attach=4194321", "--modal"}));

    // A typed name that gets the extension and exists: the question comes
    // second, also without waiting, and No cancels.
    const fs::path folder = root / "save";
    fs::create_directories(folder);
    std::ofstream(folder / "Bass.qxlseq") << "keep";
    fake->reply((folder / "Bass").string());
    fake->codeOfCall(2, 1);
    std::unique_ptr<IPendingDialog> save = p.openFileDialog(
        "", "Save Sequencer Pattern", "*.qxlseq", "Sequencer Pattern", kHostWindow, false);
    ASSERT_TRUE(answeredWithin(*save, 10));
    EXPECT_FALSE(save->confirmed());
    EXPECT_EQ(fake->call(2).at(1), "--question");
    EXPECT_EQ(fake->call(2).back(), "--modal");

    ScopedEnv d("XDG_CURRENT_DESKTOP", "KDE");
    fake->code(0);
    std::unique_ptr<IPendingDialog> question =
        p.openQuestion("Quellor", "Clear Sample?", kHostWindow);
    EXPECT_FALSE(question->answered());
    ASSERT_TRUE(answeredWithin(*question, 10));
    EXPECT_TRUE(question->confirmed());
    EXPECT_EQ(fake->call(3), (Args{"kdialog", "--title", "Quellor", "--yesno", "Clear Sample?",
                                   "--attach", "4194321"}));
}

TEST_F(PosixDialogsTest, ADialogEndedBeforeItsAnswerLeavesNoProcessBehind) {
    fake->install("zenity");
    fake->delay(4);
    std::unique_ptr<IPendingDialog> dialog =
        p.openQuestion("Quellor", "Clear Sample?", kHostWindow);
    for (int i = 0; i < 500 && fake->pidOfCall(0) == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    const int pid = fake->pidOfCall(0);
    ASSERT_GT(pid, 0);
    EXPECT_EQ(kill(pid, 0), 0);
    dialog.reset();
    // Ended and reaped: not even a zombie of it is left.
    EXPECT_EQ(kill(pid, 0), -1);
    EXPECT_EQ(errno, ESRCH);
}

TEST_F(PosixDialogsTest, ErrorBoxesComeOneAfterAnotherAboveTheLastOpenWindow) {
    fake->install("zenity");
    fake->delay(0.4);
    EXPECT_FALSE(p.showMessages(kHostWindow));
    const auto before = std::chrono::steady_clock::now();
    p.showError("Quellor", "Failed to load the sample\n/a.wav");
    p.showError("Quellor", "Failed to load the sample\n/b.wav");
    // Queued: neither call waited for a box.
    EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::milliseconds(300));
    EXPECT_TRUE(p.showMessages(kHostWindow));
    for (int i = 0; i < 1000 && p.showMessages(kHostWindow); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ASSERT_EQ(fake->calls(), 2);
    EXPECT_EQ(fake->call(0).back(), "--modal");
    EXPECT_EQ(fake->call(0).at(5), "--text=Failed to load the sample\n/a.wav");
    EXPECT_EQ(fake->call(1).at(5), "--text=Failed to load the sample\n/b.wav");
    EXPECT_EQ(fake->call(1).at(6), "--attach=4194321");
    p.forgetWindow(kHostWindow);
    // With the window gone, a box is tied to none.
    fake->delay(0);
    p.showError("Quellor", "File Error");
    waitForMessages();
    ASSERT_EQ(fake->calls(), 3);
    EXPECT_EQ(fake->call(2).back(), "--text=File Error");
}

// The real zenity on an X server of the test's own: a window of the given
// title appears, Escape dismisses it, and that counts as cancel or No.
TEST(PosixDialogsRealZenity, EscapeCancelsTheFileDialogAndAnswersNo) {
    if (std::system("command -v zenity >/dev/null 2>&1") != 0 ||
        std::system("command -v xdotool >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "zenity or xdotool is not installed";
    ScopedEnv keepDisplay("DISPLAY", std::getenv("DISPLAY"));
    ScopedEnv desktop("XDG_CURRENT_DESKTOP", "GNOME");
    ScopedEnv settings("GSETTINGS_BACKEND", "memory"); // no session bus here
    if (XvfbServer("640x480x24").display().empty()) GTEST_SKIP() << "Xvfb could not start";
    IPlatform& p = nativePlatform();

    // Runs a dialog on a second thread, finds its window by title, presses
    // Escape in it and waits for the dialog to end. True when the window was
    // found and the dialog ended; a dialog that hangs ends with the display.
    // Each dialog gets a fresh server: a GTK program may stumble over the
    // selections a previous one left behind on a display without a desktop.
    auto dismiss = [&](const char* title, const std::function<void()>& show) {
        auto server = std::make_unique<XvfbServer>("1024x768x24");
        std::atomic<bool> done{false};
        std::thread dialog([&] {
            show();
            done = true;
        });
        const std::string find =
            std::string("timeout 30 xdotool search --sync --onlyvisible --name '^") + title +
            "$' >/dev/null";
        const std::string press = std::string("xdotool search --onlyvisible --name '^") + title +
                                  "$' windowfocus key Escape >/dev/null 2>&1";
        const bool found = std::system(find.c_str()) == 0;
        for (int i = 0; found && !done && i < 100; ++i) {
            if (i % 10 == 0) (void)std::system(press.c_str());
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        const bool ended = done;
        if (!ended) server.reset();
        dialog.join();
        EXPECT_TRUE(found) << "no window named \"" << title << "\" appeared";
        EXPECT_TRUE(ended) << "the window \"" << title << "\" did not close on Escape";
        return found && ended;
    };

    char buffer[260] = "/tmp/untitled.qxlprg";
    bool chosen = true;
    EXPECT_TRUE(dismiss("Load Program", [&] {
        chosen = p.chooseFile(buffer, sizeof buffer, "Load Program", "*.qxlprg", "Program", nullptr,
                              true);
    }));
    EXPECT_FALSE(chosen);
    EXPECT_STREQ(buffer, "/tmp/untitled.qxlprg");

    bool answer = true;
    EXPECT_TRUE(dismiss("Quellor", [&] { answer = p.askYesNo("Quellor", "Clear Sample?"); }));
    EXPECT_FALSE(answer);
}
