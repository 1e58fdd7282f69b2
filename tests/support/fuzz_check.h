// The fuzz targets' assertion: a broken promise must stop the run where
// libFuzzer sees it (an abort keeps the input), with the condition named.
#pragma once

#include <cstdio>
#include <cstdlib>

#define FUZZ_CHECK(condition)                                                                                \
  do {                                                                                                       \
    if (!(condition)) {                                                                                      \
      std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition);                     \
      std::abort();                                                                                          \
    }                                                                                                        \
  } while (0)
