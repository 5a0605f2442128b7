// File dialogs and questions on Linux, shown by zenity or kdialog as programs
// of their own that the window asks about from its idle calls, so that the
// host never waits for them. Without either program, or without a display,
// the text goes to stderr and the dialog counts as cancelled.
#pragma once

#include "platform/IPendingDialog.h"

#include <cstddef>
#include <memory>

class CMessageBoxes;

// ownerWindow: the X11 window the dialog stays above (null: none); messages:
// where to say that no dialog program is installed.
std::unique_ptr<IPendingDialog> openFileDialogProgram(const char* initialPath, const char* title,
                                                      const char* pattern, const char* description,
                                                      void* ownerWindow, bool forOpening,
                                                      CMessageBoxes& messages);
std::unique_ptr<IPendingDialog> openQuestionProgram(const char* caption, const char* text,
                                                    void* ownerWindow);

// The same, waited for (tools and tests; never from a window).
bool askYesNoDialog(const char* caption, const char* text);
bool chooseFileDialog(char* pathBuffer, size_t capacity, const char* title, const char* pattern,
                      const char* description, bool forOpening, CMessageBoxes& messages);
