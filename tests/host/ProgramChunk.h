// A program that sounds on every note, as the host chunk a host would restore.
// Tests build it with the program model and hand it over through effSetChunk.
#pragma once

#include <cstdint>
#include <vector>

std::vector<uint8_t> soundingProgramChunk();
