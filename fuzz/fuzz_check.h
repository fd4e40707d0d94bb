// The one way a fuzz entry reports a broken invariant: a message naming it
// and an abort, which libFuzzer and the corpus replay both catch.
#ifndef FUZZ_FUZZ_CHECK_H
#define FUZZ_FUZZ_CHECK_H

#include <cstdio>
#include <cstdlib>

inline void fuzz_check(bool ok, const char *what) {
  if (ok) return;
  fprintf(stderr, "fuzz check failed: %s\n", what);
  abort();
}

#endif
