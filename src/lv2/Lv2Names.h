// The names the LV2 bundle and the code share: the plug-in's and the
// window's URIs, the state key of the program, and the port numbers. The
// Turtle files are written from these same names when the bundle is built.
#pragma once

#include "base/ValueIds.h"

#include <cstdint>

namespace lv2names {

inline constexpr const char* kPluginUri = "urn:tavrino:quellor";
inline constexpr const char* kUiUri = "urn:tavrino:quellor#ui";
// The program block, exactly the bytes of the VST 2.4 chunk, as atom:Chunk.
inline constexpr const char* kProgramStateKey = "urn:tavrino:quellor#program";
// Our own extension data: the calls through which the window binary opens
// the editor of an instance (EditorCalls.h).
inline constexpr const char* kEditorCallsUri = "urn:tavrino:quellor#editor";

// Port 0 takes MIDI and the host's time position, ports 1 and 2 are the
// left and right outputs, port 3 + i is host parameter i (0..42), and the
// last port tells the host the output's delay in frames (the quality mode's
// decimator).
inline constexpr uint32_t kEventsPort = 0;
inline constexpr uint32_t kLeftOutPort = 1;
inline constexpr uint32_t kRightOutPort = 2;
inline constexpr uint32_t kFirstParameterPort = 3;
inline constexpr uint32_t kParameterPortEnd = kFirstParameterPort + uint32_t(kHostParameterCount);
inline constexpr uint32_t kLatencyPort = kParameterPortEnd;
inline constexpr uint32_t kPortCount = kLatencyPort + 1;

inline constexpr uint32_t parameterPort(int32_t id) {
    return kFirstParameterPort + uint32_t(id);
}
// The host parameter of a port, or -1 for the other ports.
inline constexpr int32_t portParameter(uint32_t port) {
    return port >= kFirstParameterPort && port < kParameterPortEnd
               ? int32_t(port - kFirstParameterPort)
               : -1;
}

// The binaries inside the bundle.
inline constexpr const char* kPluginBinary = "Quellor.so";
inline constexpr const char* kUiBinary = "QuellorUI.so";

} // namespace lv2names
