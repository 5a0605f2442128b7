// Runs a helper program (a dialog) and waits for it, without a shell and
// without disturbing the host's own child processes.
#pragma once

#include <string>
#include <vector>

// Looks the program up on PATH; true when an executable of that name exists.
bool programOnPath(const char* program);

// Runs argv[0] (looked up on PATH) with the given arguments, standard input
// from /dev/null and standard output collected into out (when out is set).
// Returns the exit status, or -1 when the program could not run or was killed.
int runChildProcess(const std::vector<std::string>& argv, std::string* out);
