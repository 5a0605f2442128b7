# Cross-compile for 64-bit Windows hosts with mingw-w64 (posix thread model,
# so that std::mutex and std::thread are available).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
# The 64-bit Windows stack is only promised 16-byte alignment, and GCC for
# this target does not realign it for the 32-byte vectors of the voices'
# AVX2 loop: a spilled vector may land 16 bytes off. Every aligned vector
# move is therefore assembled as an unaligned one, as fast on aligned data
# and never faulting on the rest. (Debian's cross compiler already writes
# them so; the assembler option keeps it true for any compiler, and
# scripts/wine-test.sh checks the built DLL.)
set(CMAKE_C_FLAGS_INIT "-Wa,-muse-unaligned-vector-move")
set(CMAKE_CXX_FLAGS_INIT "-Wa,-muse-unaligned-vector-move")
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
