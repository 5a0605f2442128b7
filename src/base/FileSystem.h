// Opening, renaming and removing files by the plug-in's own path strings.
//
// Inside the plug-in every path is UTF-8 on every system: names chosen in a
// dialog, listed from the data root, dropped on the window or stored in a
// program file. These calls are where such a path meets the system. On POSIX
// systems they are the plain C calls. On Windows the C library's narrow
// calls read a path in the ANSI code page, which cannot name most files
// outside it (a user folder like C:\Users\José); there a UTF-8 path goes to
// the wide calls as UTF-16. A path that is not valid UTF-8 (an ANSI path
// that a program file saved by an older build may hold) still goes to the
// narrow calls, so such files keep loading.
//
// Failures leave errno set as the C calls do. Thread: any but the audio thread.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>

// std::fopen for a UTF-8 path; mode as std::fopen takes it ("rb", "wb").
std::FILE* openFile(const char* utf8Path, const char* mode);
// std::rename for UTF-8 paths: true when `from` now has the name `to`. Where
// the system does not rename onto an existing file (Windows), this fails too.
bool renameFile(const char* utf8From, const char* utf8To);
// std::remove for a UTF-8 path: true when the file is gone.
bool removeFile(const char* utf8Path);

// A path read from a stored program (a file or a host's chunk) in the
// plug-in's encoding. On Windows, one that is not valid UTF-8 was stored by an
// older build in the ANSI code page: it becomes UTF-8 in place when the result
// fits `capacity` bytes, so that it opens and shows right even once joined to
// a UTF-8 folder. Elsewhere paths are kept as they are.
void pathFromStored(char* path, size_t capacity);

#ifdef _WIN32
// The UTF-16 form of a UTF-8 text; false (and `wide` empty) when the text is
// not valid UTF-8.
bool wideFromUtf8(const char* utf8, std::wstring& wide);
// The UTF-8 form of a UTF-16 text (of `length` units, or up to its NUL when
// length is -1). Unpaired surrogates become U+FFFD.
std::string utf8FromWide(const wchar_t* wide, int length = -1);
#endif
