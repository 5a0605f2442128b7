#pragma once
// The extension a file dialog gives a saved name the user typed without one:
// the first of the dialog's patterns, without its "*." ("qxlprg" of
// "*.qxlprg", "qxlwav" of "*.qxlwav;*.wav;*.aif;*.aiff"); empty when that
// pattern names no single extension ("*.*", "*"). Both dialog backends use it.

#include <string>

std::string defaultExtension(const char* pattern);
