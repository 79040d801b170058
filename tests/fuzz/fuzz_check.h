// A check that stops the fuzzer with the failed condition.
#ifndef CORVELLE_TESTS_FUZZ_FUZZ_CHECK_H
#define CORVELLE_TESTS_FUZZ_FUZZ_CHECK_H

#include <cstdio>
#include <cstdlib>

#define FUZZ_CHECK(condition)                                                            \
  do {                                                                                   \
    if (!(condition)) {                                                                  \
      std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition); \
      std::abort();                                                                      \
    }                                                                                    \
  } while (0)

#endif
