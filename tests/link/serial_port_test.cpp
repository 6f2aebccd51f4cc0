// The serial port against a pseudo-terminal: line timing, hang-up while sending, the lock.
#include "link/serial_port.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/wait.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>
#include <functional>

#include "link/bounded_write.h"
#include "testing/needs_pty.h"
#include "testing/pty_peer.h"

namespace tarnwick::link {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;
using tarnwick::testing::PtyPeer;

long long MsSince(Clock::time_point start) {
  return std::chrono::duration_cast<milliseconds>(Clock::now() - start).count();
}

class SerialPortTest : public tarnwick::testing::PtyTest {};

// A frame that does not leave is never taken as sent, and the call neither hangs
// nor waits the settle delay beyond the bounded wait for the line.
TEST_F(SerialPortTest, AFrameThatCannotLeaveIsNotSent) {
  struct Row {
    const char* name;
    std::function<void(PtyPeer&)> breakLine;
    const char* why;
    long long minMs, maxMs;
  };
  const std::vector<std::uint8_t> stop = {0xFF, 0x01, 0x3F, 0x3F, 0x01};
  const Row rows[] = {
      {"hang-up", [](PtyPeer& p) { p.CloseMaster(); }, "write failed: ", 0, 100},
      {"line full", [](PtyPeer& p) { p.Clog(); }, "the line took no more bytes in time after 0 of 5 bytes", 150, 600},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    PtyPeer peer;
    auto port = OpenPort(peer.Path(), 115200);
    ASSERT_TRUE(port);
    row.breakLine(peer);
    const auto start = Clock::now();
    const TransmitResult result = port->TransmitFrame(stop, 115200);
    EXPECT_FALSE(result.sent);
    EXPECT_NE(result.detail.find(row.why), std::string::npos) << result.detail;
    EXPECT_GE(MsSince(start), row.minMs);
    EXPECT_LT(MsSince(start), row.maxMs);
  }
}

// A line that poll calls writable but that takes nothing (a driver answering EAGAIN
// or 0 forever) ends at the deadline without spinning on write.
struct StandInLine {
  const char* name;
  WriteCalls calls;
  const char* why;
  int mostWrites;
};

int writes = 0;  // write calls the stand-ins answered in this row

ssize_t Refuse(int, const void*, std::size_t) { return ++writes, errno = EAGAIN, -1; }
ssize_t TakeNothing(int, const void*, std::size_t) { return ++writes, 0; }
ssize_t TakeTwoThenRefuse(int fd, const void* data, std::size_t size) {
  return writes == 0 ? (++writes, 2) : Refuse(fd, data, size);
}
int Writable(pollfd* p, nfds_t, int) { return p->revents = POLLOUT, 1; }
int HungUp(pollfd* p, nfds_t, int) { return p->revents = POLLHUP, 1; }

TEST(BoundedWriteTest, EndsByItsDeadlineWithoutSpinning) {
  const StandInLine rows[] = {
      {"0 bytes while writable", {TakeNothing, Writable}, "the line took no more bytes in time after 0 of 5 bytes", 40},
      {"stops short", {TakeTwoThenRefuse, Writable}, "the line took no more bytes in time after 2 of 5 bytes", 40},
      {"hangs up", {Refuse, HungUp}, "the line hung up after 0 of 5 bytes", 1},
  };
  const std::vector<std::uint8_t> stop = {0xFF, 0x01, 0x3F, 0x3F, 0x01};
  for (const StandInLine& row : rows) {
    SCOPED_TRACE(row.name);
    writes = 0;
    const auto start = Clock::now();
    EXPECT_EQ(WriteBefore(-1, stop, start + milliseconds(100), row.calls), row.why);
    EXPECT_LT(MsSince(start), 150);
    EXPECT_LE(writes, row.mostWrites);
  }
}

// A missing port, /dev/null, a directory and this program's terminal: cli_test.cpp.
TEST(SerialPortOpenTest, AFileIsNoPortAndIsLeftAlone) {
  OpenError error;
  const std::string file = ::testing::TempDir() + "tarnwick-not-a-port";
  std::ofstream(file).put('x');
  EXPECT_EQ(OpenPort(file, 9600, &error), nullptr);
  EXPECT_EQ(error.kind, OpenFailure::NotASerialPort);
  EXPECT_EQ(std::filesystem::file_size(file), 1u);  // nothing written into it
  std::filesystem::remove(file);
}

// Another process holding the line, with an flock as a tool or a modem manager
// takes one, for holdMs; ended with the object.
class LineHolder {
 public:
  LineHolder(const std::string& path, int holdMs) : child_(::fork()) {
    if (child_ != 0) return;
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY);
    if (fd < 0 || ::flock(fd, LOCK_EX) < 0) ::_exit(1);
    ::usleep(static_cast<useconds_t>(holdMs) * 1000);
    ::_exit(0);
  }
  ~LineHolder() {
    ::kill(child_, SIGKILL);
    ::waitpid(child_, nullptr, 0);
  }
  pid_t Pid() const { return child_; }

 private:
  pid_t child_;
};

TEST_F(SerialPortTest, AnOpenWaitsForAHolderThenNamesIt) {
  PtyPeer peer;
  LineHolder lasting(peer.Path(), 5000);
  std::this_thread::sleep_for(milliseconds(20));
  OpenError error;
  const auto start = Clock::now();
  EXPECT_EQ(OpenPort(peer.Path(), 9600, &error), nullptr);
  EXPECT_GE(MsSince(start), 190);
  EXPECT_LT(MsSince(start), 1000);
  const std::string said = DescribeOpenError(peer.Path(), error);
  EXPECT_NE(said.find("port busy (held by "), std::string::npos) << said;
  EXPECT_NE(said.find("process " + std::to_string(lasting.Pid()) + ")"), std::string::npos) << said;
}

// Reachable from a global, so a program ending with it still open is no leak.
SerialPort* heldUntilTheEnd = nullptr;

struct EndingCase {
  const char* name;
  void (*end)();
};

// However a program holding a line ends, other programs can open the line after
// it: the exclusive mode is gone. (SIGKILL leaves no way; the board clears that. An uncaught
// exception ends in abort; closing the port: sim/board_line_test.cpp.)
class EndingTest : public SerialPortTest, public ::testing::WithParamInterface<EndingCase> {};

TEST_P(EndingTest, LeavesTheLineOutOfExclusiveMode) {
  PtyPeer peer;
  const pid_t child = ::fork();
  if (child == 0) {
    heldUntilTheEnd = OpenPort(peer.Path(), 9600).release();
    if (heldUntilTheEnd) GetParam().end();
    ::_exit(99);  // the way did not end the program
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_FALSE(WIFEXITED(status) && WEXITSTATUS(status) == 99);
  int exclusive = -1;
  ASSERT_EQ(::ioctl(peer.SlaveFd(), TIOCGEXCL, &exclusive), 0);
  EXPECT_EQ(exclusive, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Ways, EndingTest,
    ::testing::Values(EndingCase{"exit", [] { std::exit(1); }},
                      EndingCase{"abort", [] { std::abort(); }},
                      EndingCase{"SIGPIPE", [] { ::raise(SIGPIPE); }}),
    [](const auto& row) { return std::string(row.param.name); });

}  // namespace
}  // namespace tarnwick::link
