#include "patch/FileDialog.h"

#include "platform/IPlatform.h"

bool chooseFile(IPlatform& platform, char* pathBuffer, size_t capacity, const char* title,
                const char* pattern, const char* description, void* ownerWindow, bool forOpening) {
    if (!pathBuffer || capacity == 0) return false;
    pathBuffer[capacity - 1] = '\0';
    return platform.chooseFile(pathBuffer, capacity, title, pattern, description, ownerWindow,
                               forOpening);
}
