#pragma once
// Loopback port helpers for tests that start servers.
#include <cstdint>

namespace testsupport {

// A TCP port on 127.0.0.1 that was free a moment ago (bound to port 0, then released).
int32_t FreePort();
// Polls until 127.0.0.1:port accepts a connection or timeoutMs has passed; true when it did.
bool WaitForPort(int32_t port, int timeoutMs);

} // namespace testsupport
