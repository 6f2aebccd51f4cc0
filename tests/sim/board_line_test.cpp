// The simulated board's hold on its line, against real ports and processes: who may
// share a line, what a killed tool leaves behind. (A killed board's registry entry:
// the port list's and the command line's tests. A line that never stops sending
// noise: bench/sim_noise.)
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "board/exchange.h"
#include "link/serial_port.h"
#include "sim/board_server.h"
#include "testing/board_at_115200.h"
#include "testing/pty_peer.h"

namespace tarnwick::sim {
namespace {

using Clock = std::chrono::steady_clock;
using tarnwick::testing::OrdinaryProgramCanOpen;
using tarnwick::testing::PtyPeer;
using tarnwick::testing::At115200;

class BoardLineTest : public tarnwick::testing::PtyTest {};

// Who takes a real line first, and who is refused after: a board serving the
// line and the tool's port each hold it against both.
TEST_F(BoardLineTest, ALineIsNeverSharedByTheToolAndABoardOrTwoBoards) {
  enum Holder { kTool, kBoard };
  struct Row { const char* what; Holder first, second; };
  for (const Row row : {Row{"board then tool", kBoard, kTool}, Row{"tool then board", kTool, kBoard},
                        Row{"board then board", kBoard, kBoard}}) {
    SCOPED_TRACE(row.what);
    PtyPeer line;
    std::unique_ptr<BoardServer> board;
    std::unique_ptr<link::SerialPort> port;
    if (row.first == kBoard) board = BoardServer::OnSerialPort(line.Path(), At115200());
    else port = link::OpenPort(line.Path(), 115200);
    EXPECT_FALSE(OrdinaryProgramCanOpen(line.Path()));
    if (row.second == kBoard) {
      EXPECT_THROW(BoardServer::OnSerialPort(line.Path(), At115200()), std::system_error);
    } else {
      link::OpenError error;
      EXPECT_EQ(link::OpenPort(line.Path(), 115200, &error), nullptr);
      EXPECT_EQ(error.kind, link::OpenFailure::Busy);
    }
    board.reset();
    port.reset();
    EXPECT_TRUE(OrdinaryProgramCanOpen(line.Path())) << "released when the holder ends";
  }
}

// A tool killed in the middle of an exchange cannot release the pty's exclusive
// mode, and the board keeps the pty open; the board notices and frees it.
TEST_F(BoardLineTest, AToolKilledMidExchangeDoesNotLockOthersOutForGood) {
  auto board = BoardServer::OnPseudoTerminal(At115200());
  const pid_t tool = ::fork();
  if (tool == 0) {
    auto port = link::OpenPort(board->PortPath(), 115200);
    ::_exit(port ? 0 : 1);  // ends without the port's destructor, as a killed tool would
  }
  int status = 0;
  ::waitpid(tool, &status, 0);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  const auto deadline = Clock::now() + std::chrono::seconds(5);
  while (!OrdinaryProgramCanOpen(board->PortPath()) && Clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_TRUE(OrdinaryProgramCanOpen(board->PortPath()));
  const link::LineSettings line{board->PortPath(), 6, "FF", true, {}};
  EXPECT_EQ(board::SendCommand(line, *board::Current().Find(0x00), {}).outcome.result, "Success");
}

}  // namespace
}  // namespace tarnwick::sim
