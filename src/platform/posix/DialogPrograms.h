// Which program shows a dialog on Linux (zenity or kdialog, the desktop's own
// first; xmessage where neither is installed) and the arguments that make it
// show a given message, question or file dialog, tied to the host's window.
#pragma once

#include <string>
#include <vector>

enum class DialogProgram { zenity, kdialog };

// A dialog program started without a display would fail at best and hang at
// worst; without one nothing is started.
bool displayAvailable();
// The installed dialog programs, the desktop's own first.
std::vector<DialogProgram> installedDialogPrograms();

// ownerWindow: the X11 window the dialog stays above (null: none).
std::vector<std::string> messageArguments(DialogProgram program, const char* caption,
                                          const char* text, bool question, void* ownerWindow);
std::vector<std::string> fileArguments(DialogProgram program, const char* initialPath,
                                       const char* title, const char* pattern,
                                       const char* description, bool forOpening, void* ownerWindow);
// xmessage, for a message or question when no dialog program is installed.
std::vector<std::string> fallbackArguments(const char* caption, const char* text,
                                           const char* buttons);

bool leafHasExtension(const std::string& path);
bool fileExists(const std::string& path);
