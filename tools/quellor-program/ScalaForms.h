// The factory TUN tunings in the Scala formats: for NAME.TUN a scale
// NAME.scl holding one period of its notes in cents, and a keyboard mapping
// NAME.kbm beside it that puts the scale on the keys and at the frequencies
// of the TUN file, so that loading either form tunes every key alike.
#pragma once

#include <string>

// Writes the two files beside tun; false with the reason in error when the
// file cannot be read or repeats no period within its 128 notes.
bool writeScalaForms(const std::string& tun, std::string& error);
