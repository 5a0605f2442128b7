#include "platform/posix/CMessageBoxes.h"

#include "platform/posix/DialogPrograms.h"

#include <algorithm>
#include <cstdio>

CMessageBoxes::~CMessageBoxes() {
    for (std::unique_ptr<Box>& box : loose)
        box->child.release();
}

void CMessageBoxes::queue(const char* caption, const char* text) {
    if (!displayAvailable()) {
        std::fprintf(stderr, "%s: %s\n", caption, text);
        return;
    }
    auto box = std::make_unique<Box>();
    box->caption = caption;
    box->text = text;
    std::lock_guard<std::mutex> guard(lock);
    waiting.push_back(std::move(box));
    moveOn();
}

bool CMessageBoxes::show(void* ownerWindow) {
    std::lock_guard<std::mutex> guard(lock);
    if (ownerWindow && std::find(windows.begin(), windows.end(), ownerWindow) == windows.end())
        windows.push_back(ownerWindow);
    moveOn();
    // Boxes shown while no window was open belong to no window.
    return (shown && shown->owner == ownerWindow) || (!ownerWindow && !loose.empty());
}

void CMessageBoxes::forget(void* ownerWindow) {
    std::lock_guard<std::mutex> guard(lock);
    windows.erase(std::remove(windows.begin(), windows.end(), ownerWindow), windows.end());
    moveOn();
}

void CMessageBoxes::moveOn() {
    if (shown && shown->child.finished()) shown.reset();
    loose.erase(std::remove_if(loose.begin(), loose.end(),
                               [](const std::unique_ptr<Box>& b) { return b->child.finished(); }),
                loose.end());
    while (!waiting.empty() && (!shown || windows.empty())) {
        std::unique_ptr<Box> box = std::move(waiting.front());
        waiting.pop_front();
        box->owner = windows.empty() ? nullptr : windows.back();
        if (!start(*box)) continue;
        if (windows.empty())
            loose.push_back(std::move(box));
        else
            shown = std::move(box);
    }
}

bool CMessageBoxes::start(Box& box) {
    for (DialogProgram p : installedDialogPrograms())
        if (box.child.start(
                messageArguments(p, box.caption.c_str(), box.text.c_str(), false, box.owner)))
            return true;
    // Where no dialog program can be run, the message still reaches the user:
    // always on stderr, and in an xmessage window where one can be shown.
    std::fprintf(stderr, "%s: %s\n", box.caption.c_str(), box.text.c_str());
    return programOnPath("xmessage") &&
           box.child.start(fallbackArguments(box.caption.c_str(), box.text.c_str(), "OK:0"));
}
