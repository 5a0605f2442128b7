#include "engine/CProgramChangeWorker.h"

#include "engine/CSoundRenderer.h"

CProgramChangeWorker::CProgramChangeWorker(CSoundRenderer& renderer)
    : r(renderer), thread([this] { run(); }) {}

CProgramChangeWorker::~CProgramChangeWorker() {
    {
        std::lock_guard<std::mutex> guard(stopLock);
        stopping = true;
    }
    stopSignal.notify_one();
    thread.join();
}

void CProgramChangeWorker::run() {
    std::unique_lock<std::mutex> guard(stopLock);
    while (!stopSignal.wait_for(guard, kPollInterval, [this] { return stopping; })) {
        // An open window takes the change on its own thread, with its menus.
        if (r.windowTakesProgramChanges()) continue;
        const int32_t program = r.takeProgramChange();
        if (program < 0) continue;
        guard.unlock();
        r.selectBankProgram(program);
        guard.lock();
    }
}
