#include "engine/CEventQueue.h"

#include <cstring>

void CEventQueue::queue(const uint8_t bytes[4], int32_t deltaFrames) {
    if (count >= kCapacity) return;
    std::memcpy(entries[count].bytes, bytes, 4);
    entries[count].deltaFrames = deltaFrames;
    ++count;
}

void CEventQueue::empty() {
    count = 0;
    readIndex = 0;
    lastDelta = 0;
    pending = -1;
}

void CEventQueue::holdOver() {
    for (int32_t i = 0; i < count; ++i)
        entries[i].deltaFrames = 0;
    readIndex = 0;
    lastDelta = 0;
    pending = -1;
}
