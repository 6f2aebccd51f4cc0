#pragma once
// Simulated boards at 115200 baud, so that exchanges spend little time on the
// wire, each on a pseudo-terminal of its own; and bytes written as hex.

#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include "link/frame.h"
#include "link/hex_text.h"
#include "sim/board_server.h"
#include "testing/needs_pty.h"

namespace tarnwick::testing {

inline sim::BoardState At115200() { sim::BoardState state; state.baudIndex = 6; return state; }

// One board as given, or several as tarnwick-sim --boards takes them ("01@115200,05@115200:d-c").
inline std::unique_ptr<sim::BoardServer> BoardAt115200() { return sim::BoardServer::OnPseudoTerminal(At115200()); }
inline std::unique_ptr<sim::BoardServer> Boards(const std::string& spec) {
  std::string why;
  return sim::BoardServer::OnPseudoTerminal(*sim::ParseBoards(spec, why));
}

// "01 02 3F": what the tests write frames as; a bad word ends the test's run.
inline link::Bytes Hex(const std::string& text) { return link::ParseHexBytes(text).value(); }

// Until the board has sent its reply to every frame it heard (each frame asked for
// one): an exchange that stopped reading early leaves the rest of a reply to come,
// and the next exchange must begin after it, so that its opening discards it.
inline void AwaitEveryReply(const sim::BoardServer& board) {
  const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (board.RepliesSent() < board.FramesHeard() && std::chrono::steady_clock::now() < giveUp)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

class BoardAt115200Test : public PtyTest {
 protected:
  void SetUp() override {
    PtyTest::SetUp();
    if (!IsSkipped()) board_ = BoardAt115200();
  }
  std::unique_ptr<sim::BoardServer> board_;
};

}  // namespace tarnwick::testing
