// An X server of the tests' own (Xvfb) on a free display, for tests of real
// windows; DISPLAY points at it while it runs.
#pragma once

#include <string>
#include <sys/types.h>

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
