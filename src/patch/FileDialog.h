// The open and save dialogs for program, envelope, pattern, wave and tuning files.
#pragma once

#include <cstddef>

class IPlatform;

// UI thread (modal). Shows the platform's open dialog (forOpening) or save
// dialog (which asks before overwriting). pathBuffer (capacity bytes, NUL
// terminated) is the initial selection and receives the chosen path; pattern
// is a filter such as "*.qxlprg" and also the default extension, description
// its label such as "Program". True when the user confirmed.
bool chooseFile(IPlatform& platform, char* pathBuffer, size_t capacity, const char* title,
                const char* pattern, const char* description, void* ownerWindow, bool forOpening);
