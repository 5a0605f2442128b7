// File dialogs and message boxes on Linux, shown by zenity or kdialog (the one
// that matches the desktop first); without either, or without a display, the
// text goes to stderr and the dialog counts as cancelled.
#pragma once

#include <cstddef>

void showErrorDialog(const char* caption, const char* text);
bool askYesNoDialog(const char* caption, const char* text);
bool chooseFileDialog(char* pathBuffer, size_t capacity, const char* title, const char* pattern,
                      const char* description, bool forOpening);
