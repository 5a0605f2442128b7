#include "voice/CSamplerSlot.h"

#include "base/ToRange.h"
#include "base/ValueIds.h"
#include "waves/CWaveSample.h"

namespace {
constexpr int32_t kHighestKey = 127;
constexpr double kPercent = 0.01;
// The sampler-slot switches are on from exactly 0.5.
constexpr double kSwitchOn = 0.5;
} // namespace

CSamplerSlot::~CSamplerSlot() {
    delete sample;
}

void CSamplerSlot::applyValue(int32_t k, double x) {
    switch (k) {
    case kSampleSlotLowKeyOffset:
        lowKey = toRange(x, 0, kHighestKey);
        break;
    case kSampleSlotRootKeyOffset:
        rootKey = toRange(x, 0, kHighestKey);
        break;
    case kSampleSlotKeyboardFollowOffset:
        keyboardFollow = x >= kSwitchOn;
        break;
    case kSampleSlotLoopOffset:
        loop = x >= kSwitchOn;
        break;
    case kSampleSlotSendFilter1Offset:
        sendFilter1 = float(toRange(x, -100, 100) * kPercent);
        break;
    case kSampleSlotSendFilter2Offset:
        sendFilter2 = float(toRange(x, -100, 100) * kPercent);
        break;
    case kSampleSlotLevelOffset:
        level = toRange(x, -100, 100) * kPercent;
        updateLevels();
        break;
    case kSampleSlotPanOffset:
        pan = toRange(x, -100, 100) * kPercent * 0.5 + 0.5;
        updateLevels();
        break;
    default:
        break;
    }
}

void CSamplerSlot::updateLevels() {
    leftLevel = float((1.0 - pan) * level);
    rightLevel = float(pan * level);
}
