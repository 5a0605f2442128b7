// The editor's artwork on Windows: PNG files linked into the module as
// resources of type "PNG" (written by cmake/ArtworkResources.cmake from the
// artwork generator's folders). A bitmap's scale-1 image is the resource
// numbered by its ID; its scale-2 image is numbered ID + kScale2ResourceOffset,
// its scale-1.5 image ID + kScale15ResourceOffset.
#include "gui/EmbeddedBitmaps.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <mutex>

namespace qgui {

namespace {

// Also in cmake/ArtworkResources.cmake, which numbers the resources.
constexpr int kScale2ResourceOffset = 1000;
constexpr int kScale15ResourceOffset = 2000;
// The scales in half steps, 2 to 4, each with its own set.
constexpr int kSets = 3;
constexpr int kFirstHalves = 2;
// The artwork's resource IDs.
constexpr int kFirstId = 120;
constexpr int kLastId = 199;

// The module these resources were linked into: the one this function is in
// (the plug-in's DLL), not the host's program.
HMODULE ownModule() {
    HMODULE module = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                           GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&ownModule), &module);
    return module;
}

} // namespace

const EmbeddedPng* findEmbeddedPng(int id, int halves) {
    const int set = halves - kFirstHalves;
    if (id < kFirstId || id > kLastId || set < 0 || set >= kSets) return nullptr;
    // Looked up once each; a loaded resource stays mapped while the module is.
    static std::mutex lock;
    static EmbeddedPng found[kSets][kLastId - kFirstId + 1];
    static bool looked[kSets][kLastId - kFirstId + 1];
    std::lock_guard<std::mutex> guard(lock);
    EmbeddedPng& png = found[set][id - kFirstId];
    if (!looked[set][id - kFirstId]) {
        looked[set][id - kFirstId] = true;
        png = EmbeddedPng{id, halves, nullptr, 0};
        HMODULE module = ownModule();
        const int number = halves == 2   ? id
                           : halves == 3 ? id + kScale15ResourceOffset
                                         : id + kScale2ResourceOffset;
        if (HRSRC info = FindResourceW(module, MAKEINTRESOURCEW(number), L"PNG")) {
            HGLOBAL handle = LoadResource(module, info);
            const void* bytes = handle ? LockResource(handle) : nullptr;
            const DWORD size = SizeofResource(module, info);
            if (bytes && size > 0) {
                png.bytes = static_cast<const unsigned char*>(bytes);
                png.size = size;
            }
        }
    }
    return png.bytes ? &png : nullptr;
}

} // namespace qgui
