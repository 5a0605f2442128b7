// The golden phrase played through a CLAP library (see ClapGoldenRender.cpp).
#pragma once

#include "clap/ClapAbi.h"
#include "host/GoldenRender.h"

#include <string>

// Plays programBytes (the plug-in's state) with the golden phrase through
// entry (the library at path, initialised and left again here); empty on
// success with out set, else what failed.
std::string renderClapProgram(const clap::PluginEntry* entry, const char* path,
                              const std::vector<uint8_t>& programBytes, golden::Fingerprint& out);
