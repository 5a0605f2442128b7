// The engine's way back to the host: the renderer calls automateParameter when
// the engine itself (not the host) changed a host parameter.
#pragma once

#include <cstdint>

class CWrapperBase {
public:
    virtual ~CWrapperBase() = default;
    // Any thread. index is a host parameter number, value normalised 0..1.
    // The base does nothing; the plug-in object tells the host.
    virtual void automateParameter(int32_t index, float value) {
        (void)index;
        (void)value;
    }
};
