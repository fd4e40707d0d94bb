// Socket helpers of the simulator's servers.
#pragma once

#include <string>

#include "tools/devsim/devsim.h"

namespace devsim {

// A non-blocking listening TCP socket on address:port (port 0: a free one).
// Returns the socket and sets `bound_port`, or -1 with `error` set.
int open_listener(const std::string &address, int port, int &bound_port, std::string &error);

// Closes `fd` if it is open and marks it closed.
void close_fd(int &fd);

}  // namespace devsim
