#pragma once

#include <cstdio>
#include <cstdlib>

// A property of a fuzz target's body. A broken one names itself and aborts, so
// that libFuzzer keeps the input and the regression test that replays the
// inputs in the normal suite fails with the same words.
#define FUZZ_CHECK(condition)                                                                      \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::fprintf(stderr, "%s:%d: fuzz property broken: %s\n", __FILE__, __LINE__,          \
                         #condition);                                                              \
            std::abort();                                                                          \
        }                                                                                          \
    } while (false)
