#include "engine/CMidiControllers.h"

#include <cstring>

namespace {

constexpr int32_t kPolyAftertouchStatus = 0xa0;
constexpr int32_t kChannelPressureStatus = 0xd0;
constexpr int32_t kPitchBendStatus = 0xe0;
constexpr double kPitchBendMax = 16383.0;

constexpr int32_t kPitchBendIndex = 1;
constexpr int32_t kChannelPressureIndex = 3;

// Table index by MIDI controller number (-1: not a table entry).
int32_t controllerIndex(int32_t number) {
    switch (number) {
    case 1:
        return 0; // Modulation Wheel
    case 2:
        return 4; // Breath Ctrl
    case 4:
        return 5; // Foot Ctrl
    case 11:
        return 6; // Expression
    case 16:
        return 7;
    case 17:
        return 8;
    case 18:
        return 9;
    case 19:
        return 10;
    default:
        return -1;
    }
}

} // namespace

bool CMidiControllers::takeMessage(int32_t status, int32_t data1, int32_t data2) {
    switch (status) {
    case kPolyAftertouchStatus:
        polyAftertouch[data1 & (kKeyCount - 1)] = data2 / kDataMax;
        return true;
    case kChannelPressureStatus:
        controllers[kChannelPressureIndex] = data1 / kDataMax;
        return true;
    case kPitchBendStatus:
        controllers[kPitchBendIndex] = ((data2 * 128 + data1) / kPitchBendMax) * 2.0 - 1.0;
        return true;
    default:
        return false;
    }
}

bool CMidiControllers::takeControlChange(int32_t number, int32_t value) {
    const int32_t index = controllerIndex(number);
    if (index < 0) return false;
    controllers[index] = value / kDataMax;
    return true;
}

void CMidiControllers::reset() {
    for (double& c : controllers)
        c = 0.0;
}

double CMidiControllers::value(int32_t index, int32_t key) const {
    if (index == kPolyAftertouchIndex) return polyAftertouchOf(key);
    if (index >= 0 && index < kControllerCount) return controllers[index];
    return 1.0;
}

void CMidiControllers::values(int32_t key, double* out) const {
    std::memcpy(out, controllers, sizeof controllers);
    out[kPolyAftertouchIndex] = polyAftertouchOf(key);
}
