#pragma once
// Tests that talk over a pseudo-terminal are skipped, with the reason, where
// none can be opened (a container without /dev/pts, a sandbox), instead of
// failing on an exception thrown from their set-up.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "link/unique_fd.h"

namespace tarnwick::testing {

// Why no pseudo-terminal can be opened here, or "" when one can. Both ends are
// tried once per process, as the tests open them.
inline const std::string& PtyUnavailableReason() {
  static const std::string reason = [] {
    const auto failed = [](const char* step) {
      return std::string("no pseudo-terminal here: ") + step + ": " + std::strerror(errno);
    };
    const link::UniqueFd master(::posix_openpt(O_RDWR | O_NOCTTY));
    if (!master) return failed("posix_openpt");
    const char* slavePath = nullptr;
    if (::grantpt(master.Get()) != 0 || ::unlockpt(master.Get()) != 0 || !(slavePath = ::ptsname(master.Get())))
      return failed("grantpt or unlockpt");
    if (!link::UniqueFd(::open(slavePath, O_RDWR | O_NOCTTY))) return failed(slavePath);
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
