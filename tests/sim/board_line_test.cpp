// The simulated board's hold on its line and its registry entry, against real
// ports and processes: who may share a line, what a killed tool or board leaves
// behind. (A line that never stops sending noise: bench/sim_noise.)
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <thread>

#include "link/frame.h"
#include "link/posix_port_list.h"
#include "link/serial_port.h"
#include "link/sim_registry.h"
#include "sim/board_server.h"
#include "sim/port_registry.h"
#include "testing/board_at_115200.h"
#include "testing/pty_peer.h"
#include "testing/temp_folder.h"

namespace tarnwick::sim {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using tarnwick::testing::OrdinaryProgramCanOpen;
using tarnwick::testing::PtyPeer;

using tarnwick::testing::At115200;

bool AnswersAddressQuery(const std::string& path) {
  auto port = link::OpenPort(path, 115200);
  if (!port) return false;
  const std::vector<std::uint8_t> query = {0xFF, 0x01, 0x80, 0x80, 0x01};
  port->TransmitFrame(query, 115200);
  link::FrameBuffer buffer{};
  const auto read = port->ReadReply(buffer);
  return read.count == 6 && link::VerifyReply(std::span(buffer).first(6));
}

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
  EXPECT_TRUE(AnswersAddressQuery(board->PortPath()));
}

// A board in a process of its own, registered as a real one is.
class RegisteredBoardTest : public tarnwick::testing::PtyTest {
 protected:
  void TearDown() override {
    if (child_ > 0) ::kill(child_, SIGKILL), ::waitpid(child_, nullptr, 0);
  }
  // Starts a process that registers target and waits to be killed; returns its name.
  std::string StartBoardProcess(const std::string& target) {
    int ends[2];
    EXPECT_EQ(::pipe2(ends, O_CLOEXEC), 0);
    link::UniqueFd readEnd(ends[0]), writeEnd(ends[1]);
    child_ = ::fork();
    if (child_ == 0) {
      PortRegistration registration(registry_, target);
      const char n = static_cast<char>('0' + std::stoi(registration.Name().substr(3)));
      (void)!::write(writeEnd.Get(), &n, 1);
      for (;;) ::pause();
    }
    writeEnd.Reset();
    char n = 0;
    EXPECT_EQ(::read(readEnd.Get(), &n, 1), 1);
    return std::string("sim") + n;
  }
  std::vector<link::PortEntry> Listed() const { return link::EnumeratePorts("/nonexistent", "/nonexistent", registry_); }

  const tarnwick::testing::TempFolder folder_;
  const fs::path registry_ = folder_.Path("registry");
  pid_t child_ = -1;
};

TEST_F(RegisteredBoardTest, ABoardKilledOutrightIsGoneFromTheListAtOnceAndItsNameFree) {
  PtyPeer pty;
  ASSERT_EQ(StartBoardProcess(pty.Path()), "sim0");
  ASSERT_EQ(Listed(), (std::vector<link::PortEntry>{{"sim0", (registry_ / "sim0").string()}}));

  ::kill(child_, SIGKILL);
  ::waitpid(child_, nullptr, 0);
  child_ = -1;
  EXPECT_TRUE(Listed().empty()) << "its pty still exists; only the lock tells";
  EXPECT_TRUE(fs::is_empty(registry_)) << "the stale link and lock file are cleaned up";

  PortRegistration next(registry_, pty.Path());
  EXPECT_EQ(next.Name(), "sim0");
  EXPECT_EQ(Listed().size(), 1u);
}

}  // namespace
}  // namespace tarnwick::sim
