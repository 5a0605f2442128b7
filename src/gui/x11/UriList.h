#pragma once
// The files named by a text/uri-list, the form in which X11 drag sources hand
// over what is dropped: one URI a line, lines ended by CR LF, "#" lines
// comments. Only file URIs of this machine name files here.

#include <cstddef>
#include <string>
#include <vector>

namespace qgui {

// The absolute paths of the file:// URIs in data (size bytes), percent-decoded,
// in their order. URIs of other schemes or other hosts, and paths that would
// hold a NUL byte or are not absolute, are left out. localHost: this machine's
// name, which a URI may name instead of leaving the host empty.
std::vector<std::string> filePathsFromUriList(const char* data, std::size_t size,
                                              const std::string& localHost);

} // namespace qgui
