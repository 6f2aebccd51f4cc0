#pragma once
// A simulated board at 115200 baud on its own pseudo-terminal for each test, so
// command-line runs against it spend little time on the wire.

#include <memory>

#include "sim/board_server.h"
#include "testing/needs_pty.h"

namespace tarnwick::testing {

class BoardAt115200Test : public PtyTest {
 protected:
  void SetUp() override {
    PtyTest::SetUp();
    if (IsSkipped()) return;
    sim::BoardState state;
    state.baudIndex = 6;
    board_ = sim::BoardServer::OnPseudoTerminal(state);
  }
  std::unique_ptr<sim::BoardServer> board_;
};

}  // namespace tarnwick::testing
