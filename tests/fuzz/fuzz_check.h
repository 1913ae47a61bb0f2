// FUZZ_CHECK: the property check of the fuzz targets. A broken property
// prints what was expected and aborts, which libFuzzer reports as a crash
// with the input that caused it (and the replay runner, or a unit test that
// runs a check on its own inputs, as a failed test). FUZZ_CHECK_SHOWING
// first prints what its printf arguments say (both sides of a round trip),
// evaluated only when the property is broken.
#pragma once

#include <cstdio>
#include <cstdlib>

#define FUZZ_CHECK_SHOWING(condition, ...)                                                        \
    do {                                                                                          \
        if (!(condition)) {                                                                       \
            std::fprintf(stderr, __VA_ARGS__);                                                    \
            std::fprintf(stderr, "%s:%d: property broken: %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                                         \
        }                                                                                         \
    } while (0)
#define FUZZ_CHECK(condition) FUZZ_CHECK_SHOWING(condition, "%s", "")
