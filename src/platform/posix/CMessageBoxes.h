// The error boxes of every plug-in instance in the process, shown by a
// dialog program of their own: queued from any thread without waiting, shown
// one after another, each tied to the plug-in window that was open last.
// While no window is open (or none was ever opened, as in the tools) nothing
// would move the queue on, so each box is shown at once.
#pragma once

#include "platform/posix/CChildProcess.h"

#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

class CMessageBoxes {
public:
    CMessageBoxes() = default;
    // A box above a window goes with the plug-in; one shown while no window
    // was open (a command-line render's message) stays until it is read.
    ~CMessageBoxes();
    CMessageBoxes(const CMessageBoxes&) = delete;
    CMessageBoxes& operator=(const CMessageBoxes&) = delete;

    // Any thread; never waits.
    void queue(const char* caption, const char* text);
    // UI thread, from a window's idle calls: boxes that were closed go, the
    // next one appears. True while a box tied to ownerWindow is on the screen.
    bool show(void* ownerWindow);
    // UI thread: the window is going; later boxes are tied to another or none.
    void forget(void* ownerWindow);

private:
    struct Box {
        std::string caption, text;
        void* owner = nullptr;
        CChildProcess child;
    };
    // With the lock held.
    void moveOn();
    // False when no program could show it (the text went to stderr only).
    static bool start(Box& box);

    std::mutex lock;
    std::deque<std::unique_ptr<Box>> waiting;
    std::unique_ptr<Box> shown;              // the one on the screen above a window
    std::vector<std::unique_ptr<Box>> loose; // shown while no window was open
    std::vector<void*> windows;              // open windows, the last opened last
};
