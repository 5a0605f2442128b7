// A helper program (a dialog) run as a child process, without a shell and
// without disturbing the host's own child processes. The window asks from
// its idle calls whether the child has ended, so the host never waits for it.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

// Looks the program up on PATH; true when an executable of that name exists.
bool programOnPath(const char* program);

class CChildProcess {
public:
    CChildProcess() = default;
    // A child still running is ended and reaped: no process is left behind.
    ~CChildProcess();
    CChildProcess(const CChildProcess&) = delete;
    CChildProcess& operator=(const CChildProcess&) = delete;

    // Starts argv[0] (looked up on PATH) with the given arguments, standard
    // input from /dev/null and standard output collected. False when it
    // could not be started.
    bool start(const std::vector<std::string>& argv);
    // Never waits: collects what the child wrote so far; true once it has
    // ended (or was never started).
    bool finished();
    // Waits until the child has ended.
    void wait();
    // Ends a running child now and reaps it.
    void stop();
    // Lets a running child go on alone: it is neither ended nor waited for.
    void release();

    // Once finished: the exit status, or -1 when it could not run or was killed.
    int exitStatus() const { return status; }
    // Everything the child wrote to its standard output.
    const std::string& output() const { return out; }
    pid_t processId() const { return pid; }

private:
    // Reads what is there (all of it when blocking); closes the pipe at its end.
    void readOutput(bool blocking);
    // Reaps the child when it has ended (or waits for it); true once reaped.
    bool reap(bool blocking);

    pid_t pid = -1;
    int pipeFd = -1;
    int status = -1;
    std::string out;
};
