// Waiting for a condition: every wait polls with a deadline, none sleeps a fixed time.
#pragma once

#include <functional>

#include "support/win.h"

namespace brevix::e2e {

// Long enough for a cold start under Wine, short enough to fail a test quickly.
inline constexpr DWORD kTimeoutMs = 10000;

// Polls condition until it holds (true) or the timeout passes (false). The condition is
// always tried once more at the deadline.
bool wait_until(const std::function<bool()>& condition, DWORD timeout_ms = kTimeoutMs);

}  // namespace brevix::e2e
