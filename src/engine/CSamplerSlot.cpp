#include "engine/CSamplerSlot.h"

#include "base/ToRange.h"
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
    case kLowKey:
        lowKey = toRange(x, 0, kHighestKey);
        break;
    case kRootKey:
        rootKey = toRange(x, 0, kHighestKey);
        break;
    case kKeyboardFollow:
        keyboardFollow = x >= kSwitchOn;
        break;
    case kLoop:
        loop = x >= kSwitchOn;
        break;
    case kSendFilter1:
        sendFilter1 = float(toRange(x, -100, 100) * kPercent);
        break;
    case kSendFilter2:
        sendFilter2 = float(toRange(x, -100, 100) * kPercent);
        break;
    case kLevel:
        level = toRange(x, -100, 100) * kPercent;
        updateLevels();
        break;
    case kPan:
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
