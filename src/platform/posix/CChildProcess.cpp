#include "platform/posix/CChildProcess.h"

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>

extern char** environ;

bool programOnPath(const char* program) {
    const char* value = std::getenv("PATH");
    const std::string path = value ? value : "";
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find(':', start);
        if (end == std::string::npos) end = path.size();
        if (end > start) {
            const std::string candidate = path.substr(start, end - start) + "/" + program;
            if (access(candidate.c_str(), X_OK) == 0) return true;
        }
        start = end + 1;
    }
    return false;
}

CChildProcess::~CChildProcess() {
    stop();
}

bool CChildProcess::start(const std::vector<std::string>& args) {
    stop();
    out.clear();
    status = -1;
    if (args.empty()) return false;
    int fds[2];
    // Close-on-exec: the child gets the write end only as its standard output.
    if (pipe2(fds, O_CLOEXEC) != 0) return false;

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 34))
    // The host's files, sockets and audio devices stay out of the dialog.
    posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1);
#endif
    // The host may block or catch signals; the dialog starts with the defaults.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none, defaults;
    sigemptyset(&none);
    sigemptyset(&defaults);
    for (int s : {SIGPIPE, SIGCHLD, SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGALRM, SIGUSR1, SIGUSR2})
        sigaddset(&defaults, s);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    std::vector<char*> argv;
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t child = -1;
    const int spawned = posix_spawnp(&child, argv[0], &actions, &attributes, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    close(fds[1]);
    if (spawned != 0) {
        close(fds[0]);
        return false;
    }
    pid = child;
    pipeFd = fds[0];
    // The window reads what there is at each idle and never waits for more.
    fcntl(pipeFd, F_SETFL, fcntl(pipeFd, F_GETFL) | O_NONBLOCK);
    return true;
}

void CChildProcess::readOutput(bool blocking) {
    if (pipeFd < 0) return;
    if (blocking) fcntl(pipeFd, F_SETFL, fcntl(pipeFd, F_GETFL) & ~O_NONBLOCK);
    char buf[4096];
    for (;;) {
        const ssize_t n = read(pipeFd, buf, sizeof buf);
        if (n > 0) {
            out.append(buf, size_t(n));
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;
        break; // the end, or an error that no later read mends
    }
    close(pipeFd);
    pipeFd = -1;
}

bool CChildProcess::reap(bool blocking) {
    if (pid <= 0) return true;
    int waitStatus = 0;
    pid_t r;
    // Our own child only: a host that reaps its children keeps doing so.
    do {
        r = waitpid(pid, &waitStatus, blocking ? 0 : WNOHANG);
    } while (r < 0 && errno == EINTR);
    if (r == 0) return false;
    status = (r == pid && WIFEXITED(waitStatus)) ? WEXITSTATUS(waitStatus) : -1;
    pid = -1;
    return true;
}

bool CChildProcess::finished() {
    readOutput(false);
    if (!reap(false)) return false;
    // Whatever the child wrote before it ended is in the pipe by now; a
    // program it left running may hold the pipe open, so nothing waits here.
    if (pipeFd >= 0) {
        readOutput(false);
        if (pipeFd >= 0) {
            close(pipeFd);
            pipeFd = -1;
        }
    }
    return true;
}

void CChildProcess::wait() {
    // Read to the end before waiting, so a long answer never stalls the child.
    readOutput(true);
    reap(true);
}

void CChildProcess::stop() {
    if (pid > 0) {
        kill(pid, SIGKILL);
        reap(true);
        status = -1;
    }
    if (pipeFd >= 0) {
        close(pipeFd);
        pipeFd = -1;
    }
}

void CChildProcess::release() {
    pid = -1;
    if (pipeFd >= 0) {
        close(pipeFd);
        pipeFd = -1;
    }
}
