// Sets (or, with nullptr, removes) an environment variable for the scope of
// a test and puts the old value back afterwards.
#pragma once

#include <cstdlib>
#include <string>

struct ScopedEnv {
    std::string name;
    bool had;
    std::string old;
    ScopedEnv(const char* n, const char* value) : name(n) {
        const char* v = std::getenv(n);
        had = v != nullptr;
        if (had) old = v;
        if (value)
            setenv(n, value, 1);
        else
            unsetenv(n);
    }
    ~ScopedEnv() {
        if (had)
            setenv(name.c_str(), old.c_str(), 1);
        else
            unsetenv(name.c_str());
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;
};
