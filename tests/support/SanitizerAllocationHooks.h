#pragma once
// AddressSanitizer's allocation hooks, through which the allocation tests see
// every heap allocation. __SANITIZE_ADDRESS__ is defined when the build has
// them (GCC defines it; Clang is told here).
#if defined(__has_feature)
#if __has_feature(address_sanitizer) && !defined(__SANITIZE_ADDRESS__)
#define __SANITIZE_ADDRESS__ 1
#endif
#endif

#if defined(__SANITIZE_ADDRESS__)
#include <cstddef>
#if __has_include(<sanitizer/allocator_interface.h>)
#include <sanitizer/allocator_interface.h>
#else
// GCC ships the sanitizer runtime without this header; the runtime exports
// the function all the same.
extern "C" int __sanitizer_install_malloc_and_free_hooks(void (*mallocHook)(const volatile void*,
                                                                            size_t),
                                                         void (*freeHook)(const volatile void*));
#endif
#endif
