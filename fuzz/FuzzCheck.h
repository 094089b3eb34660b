#pragma once
// A fuzz target's assertion: report the violated condition and abort, so that
// libFuzzer keeps the input that caused it.

#include <cstdio>
#include <cstdlib>

#define CHECK(condition)                                                                   \
    do {                                                                                   \
        if (!(condition)) {                                                                \
            std::fprintf(stderr, "%s:%d: violated: %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                                  \
        }                                                                                  \
    } while (0)
