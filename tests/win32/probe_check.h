#pragma once

// The probes' checks: CHECK prints a condition that does not hold, with its line, counts it and
// goes on; ProbeExit prints the count and gives the exit code (0 when every check held).

#include <cstdio>

inline int failures = 0;

#define CHECK(ok) \
  ((ok) ? void() : (++failures, void(std::printf("FAILED line %d: %s\n", __LINE__, #ok))))

inline int ProbeExit(const char* probe) {
  std::printf("%s: %d failure(s)\n", probe, failures);
  return failures == 0 ? 0 : 1;
}
