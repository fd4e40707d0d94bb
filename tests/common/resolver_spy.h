// Counts the name look-ups of this test program. The spy takes the C
// library's getaddrinfo for the whole program (see resolver_spy.cpp), so that
// a test can tell whether qx_resolve asked the resolver at all, and so that
// no test of this program sends a query off the machine.
#pragma once

namespace common_test {

// getaddrinfo calls made so far by any thread of this program.
int LookupCount();

}  // namespace common_test
