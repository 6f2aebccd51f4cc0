#pragma once
// Tests that talk over a pseudo-terminal are skipped, with the reason, where
// none can be opened (a container without /dev/pts, a sandbox), instead of
// failing on an exception thrown from their set-up.

#include <gtest/gtest.h>
#include <pty.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

namespace tarnwick::testing {

// Why no pseudo-terminal can be opened here, or "" when one can. Both ends are
// opened once per process, as the tests open them.
inline const std::string& PtyUnavailableReason() {
  static const std::string reason = [] {
    int master = -1, slave = -1;
    if (::openpty(&master, &slave, nullptr, nullptr, nullptr) < 0)
      return std::string("no pseudo-terminal here: openpty: ") + std::strerror(errno);
    ::close(master), ::close(slave);
    return std::string();
  }();
  return reason;
}

// The first statement of a test body that needs a pseudo-terminal.
#define TARNWICK_NEEDS_PTY()                                                      \
  if (const std::string& tarnwickNoPty = ::tarnwick::testing::PtyUnavailableReason(); \
      !tarnwickNoPty.empty())                                                       \
  GTEST_SKIP() << tarnwickNoPty

// For fixtures of tests that need a pseudo-terminal; a derived SetUp calls this
// first and returns when IsSkipped().
class PtyTest : public ::testing::Test {
 protected:
  void SetUp() override { TARNWICK_NEEDS_PTY(); }
};

}  // namespace tarnwick::testing
