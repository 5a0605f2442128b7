#include "support/XvfbServer.h"

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <sys/wait.h>
#include <unistd.h>

XvfbServer::XvfbServer(const char* screen) {
    int fds[2];
    if (pipe(fds) != 0) return;
    server = fork();
    if (server == 0) {
        close(fds[0]);
        const std::string fd = std::to_string(fds[1]);
        // -noreset: without it the server starts over whenever its last
        // client leaves, and a test connecting in that moment is refused.
        execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", screen, "-nolisten", "tcp",
               "-noreset", static_cast<char*>(nullptr));
        _exit(127);
    }
    close(fds[1]);
    // Xvfb writes its display number once it accepts connections.
    std::string number;
    char ch;
    while (server > 0 && read(fds[0], &ch, 1) == 1 && ch != '\n')
        number += ch;
    close(fds[0]);
    if (number.empty()) return;
    name = ":" + number;
    setenv("DISPLAY", name.c_str(), 1);
}

XvfbServer::~XvfbServer() {
    if (server > 0) {
        kill(server, SIGTERM);
        waitpid(server, nullptr, 0);
    }
}

bool runXdotool(const std::vector<std::string>& args, const std::function<void()>& idleOnce) {
    std::vector<std::string> command = {"xdotool"};
    command.insert(command.end(), args.begin(), args.end());
    const pid_t tool = fork();
    if (tool == 0) {
        std::vector<char*> argv;
        for (const std::string& a : command)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    if (tool < 0) return false;
    constexpr int kIdlesAfter = 20;
    int status = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (waitpid(tool, &status, WNOHANG) == 0 && std::chrono::steady_clock::now() < deadline)
        idleOnce();
    for (int i = 0; i < kIdlesAfter; ++i)
        idleOnce();
    return true;
}
