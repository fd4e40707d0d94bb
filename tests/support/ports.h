// Loopback ports for tests that need a peer that is not there.
#pragma once

namespace qxsupport {

// A loopback TCP port with nobody listening: bound to port 0, read back and
// closed again, so a connect to it is refused. Returns -1 when no socket could
// be had.
int RefusedPort();

}  // namespace qxsupport
