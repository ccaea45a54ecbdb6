#pragma once

#include <cstdio>
#include <cstdlib>

// Stops the run at the first broken rule. abort() makes libFuzzer keep the input as a crash
// file and makes a corpus replay fail.
[[noreturn]] inline void fuzzCheckFailed(const char *condition, const char *file, int line)
{
    std::fprintf(stderr, "%s:%d: check failed: %s\n", file, line, condition);
    std::abort();
}

#define FUZZ_CHECK(condition)                                                                      \
    ((condition) ? static_cast<void>(0) : fuzzCheckFailed(#condition, __FILE__, __LINE__))
