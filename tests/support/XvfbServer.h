// An X server of the tests' own (Xvfb) on a free display, for tests of real
// windows; DISPLAY points at it while it runs. And xdotool, which drives the
// real pointer on it.
#pragma once

#include <functional>
#include <string>
#include <sys/types.h>
#include <vector>

class XvfbServer {
public:
    // screen: "WIDTHxHEIGHTxDEPTH". display() stays empty when Xvfb cannot start.
    explicit XvfbServer(const char* screen);
    ~XvfbServer();
    XvfbServer(const XvfbServer&) = delete;
    XvfbServer& operator=(const XvfbServer&) = delete;

    const std::string& display() const { return name; }

private:
    pid_t server = -1;
    std::string name;
};

// Runs xdotool with args (on DISPLAY) while idleOnce keeps the window's owner
// idling, as a host's user-interface loop does: until xdotool ends or 20 s
// pass, then twenty times more, so that the window has taken the last event.
// False when xdotool could not be started.
bool runXdotool(const std::vector<std::string>& args, const std::function<void()>& idleOnce);
