// Carries out the MIDI program changes of one sound renderer while no window
// does: the audio thread only notes the number asked for, and this worker's
// own thread loads the program file, as the program menu would, a few
// milliseconds later. Files are never read on the audio thread.
//
// Threads: made and destroyed on the host's main thread; its loop runs on a
// thread of its own.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

class CSoundRenderer;

class CProgramChangeWorker {
public:
    // How often the worker looks for a program change: quick enough to feel
    // immediate from a keyboard, slow enough to cost nothing while idle.
    static constexpr std::chrono::milliseconds kPollInterval{10};

    explicit CProgramChangeWorker(CSoundRenderer& renderer);
    // Waits for a load in progress to end.
    ~CProgramChangeWorker();
    CProgramChangeWorker(const CProgramChangeWorker&) = delete;
    CProgramChangeWorker& operator=(const CProgramChangeWorker&) = delete;

private:
    void run();

    CSoundRenderer& r;
    std::mutex stopLock;
    std::condition_variable stopSignal;
    bool stopping = false;
    std::thread thread;
};
