// The serial port against a pseudo-terminal: line timing, hang-up while sending, the lock.
#include "link/serial_port.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/wait.h>

#include <cerrno>
#include <climits>
#include <chrono>
#include <cstdlib>
#include <functional>

#include "link/bounded_write.h"
#include "link/frame.h"
#include "link/timed_read.h"
#include "testing/fastest_of.h"
#include "testing/needs_pty.h"
#include "testing/process.h"
#include "testing/pty_peer.h"

namespace tarnwick::link {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;
using tarnwick::testing::PtyPeer;

using tarnwick::testing::MsSince;

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
    const auto attempt = [&] {
      PtyPeer peer;
      auto port = OpenPort(peer.Path(), 115200);
      EXPECT_TRUE(port);
      if (!port) return LLONG_MAX;
      row.breakLine(peer);
      const auto start = Clock::now();
      const TransmitResult result = port->TransmitFrame(stop, 115200);
      EXPECT_FALSE(result.sent);
      EXPECT_NE(result.detail.find(row.why), std::string::npos) << result.detail;
      EXPECT_GE(MsSince(start), row.minMs);
      return MsSince(start);
    };
    EXPECT_LT(tarnwick::testing::FastestOf(5, row.maxMs, attempt), row.maxMs);
  }
}

// A line whose bytes arrive at set moments of a clock that only the read moves:
// each poll jumps to the next arrival, or by its whole timeout when none is due.
class ScriptedLine {
 public:
  struct Arrival {
    int atMs;
    std::vector<std::uint8_t> bytes;
  };
  explicit ScriptedLine(std::vector<Arrival> arrivals) : arrivals_(std::move(arrivals)) {}

  ReadCalls Calls() {
    return {[this] { return Clock::time_point(milliseconds(nowMs_)); },
            [this](pollfd* p, nfds_t, int timeoutMs) { return Poll(*p, timeoutMs); },
            [this](int, void* data, std::size_t size) { return Read(static_cast<std::uint8_t*>(data), size); }};
  }
  int NowMs() const { return nowMs_; }

 private:
  int Poll(pollfd& p, int timeoutMs) {
    const int due = next_ < arrivals_.size() ? arrivals_[next_].atMs : INT_MAX;
    if (pending_.empty() && due > nowMs_ + timeoutMs) return nowMs_ += timeoutMs, 0;
    nowMs_ = std::max(nowMs_, pending_.empty() ? due : nowMs_);
    return p.revents = POLLIN, 1;
  }
  ssize_t Read(std::uint8_t* data, std::size_t size) {
    while (next_ < arrivals_.size() && arrivals_[next_].atMs <= nowMs_) {
      pending_.insert(pending_.end(), arrivals_[next_].bytes.begin(), arrivals_[next_].bytes.end());
      ++next_;
    }
    const std::size_t taken = std::min(size, pending_.size());
    std::copy_n(pending_.begin(), taken, data);
    pending_.erase(pending_.begin(), pending_.begin() + static_cast<long>(taken));
    return static_cast<ssize_t>(taken);
  }

  std::vector<Arrival> arrivals_;
  std::size_t next_ = 0;
  std::vector<std::uint8_t> pending_;
  int nowMs_ = 0;
};

struct TimedReadCase {
  const char* name;
  std::vector<ScriptedLine::Arrival> arrivals;
  ReadRule rule;
  std::size_t count;
  int endsAtMs;
};

// Exact to the millisecond, whatever the machine is doing: the clock is the script's.
TEST(TimedReadTest, EndsWhereItsRuleSays) {
  const std::uint8_t body[] = {kReplyFlag, 0x01};
  const std::vector<std::uint8_t> reply = Framing().Make(0x01, body);  // a whole, verified frame
  const std::vector<std::uint8_t> head(reply.begin(), reply.begin() + 3), tail(reply.begin() + 3, reply.end());
  std::vector<std::uint8_t> broken = reply;
  broken.back() ^= 1;
  std::vector<ScriptedLine::Arrival> trickle;
  for (int i = 0; i < 15; ++i) trickle.push_back({10 + 20 * i, {0x55}});
  const TimedReadCase rows[] = {
      {"the gap after the last byte", {{10, reply}}, {ReadEnd::Gap}, 6, 10 + kInterByteGapMs},
      {"a whole frame at once", {{10, reply}}, {ReadEnd::Frame}, 6, 10},
      {"a frame that does not verify waits the gap", {{10, broken}}, {ReadEnd::Frame}, 6, 10 + kInterByteGapMs},
      {"pieces inside the gap are one reply", {{10, head}, {10 + kInterByteGapMs - 1, tail}}, {ReadEnd::Gap}, 6,
       10 + 2 * kInterByteGapMs - 1},
      {"a pause longer than the gap ends it", {{10, head}, {11 + kInterByteGapMs, tail}}, {ReadEnd::Frame}, 3,
       10 + kInterByteGapMs},
      {"silence ends at the first-byte wait", {}, {ReadEnd::Frame, 40}, 0, 40},
      {"silence ends at the limit whatever the first-byte wait", {{kReadTotalMs + 1, reply}}, {ReadEnd::Gap, 5000}, 0,
       kReadTotalMs},
      {"a line that never pauses ends at the limit", trickle, {ReadEnd::Gap}, 13, kReadTotalMs},
      {"a full buffer ends it", {{10, std::vector<std::uint8_t>(24, 0x55)}}, {ReadEnd::Gap}, kFrameBufferSize, 10},
      {"an echo's length ends it", {{10, reply}}, {ReadEnd::Gap, kReadTotalMs, 5}, 5, 10},
  };
  for (const TimedReadCase& row : rows) {
    SCOPED_TRACE(row.name);
    ScriptedLine line(row.arrivals);
    FrameBuffer buffer{};
    const ReadResult read = ReadByRule(-1, buffer, row.rule, line.Calls());
    EXPECT_TRUE(read.ok);
    EXPECT_EQ(read.count, row.count);
    EXPECT_EQ(line.NowMs(), row.endsAtMs);
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
// An interrupted call leaves errno at EINTR for the calls after it.
ssize_t InterruptedThenNothing(int, const void*, std::size_t) { return writes++ == 0 ? (errno = EINTR, -1) : 0; }
int Writable(pollfd* p, nfds_t, int) { return p->revents = POLLOUT, 1; }
int HungUp(pollfd* p, nfds_t, int) { return p->revents = POLLHUP, 1; }

TEST(BoundedWriteTest, EndsByItsDeadlineWithoutSpinning) {
  const StandInLine rows[] = {
      {"0 bytes while writable", {TakeNothing, Writable}, "the line took no more bytes in time after 0 of 5 bytes", 40},
      {"stops short", {TakeTwoThenRefuse, Writable}, "the line took no more bytes in time after 2 of 5 bytes", 40},
      {"interrupted, then 0 bytes", {InterruptedThenNothing, Writable},
       "the line took no more bytes in time after 0 of 5 bytes", 40},
      {"hangs up", {Refuse, HungUp}, "the line hung up after 0 of 5 bytes", 1},
  };
  const std::vector<std::uint8_t> stop = {0xFF, 0x01, 0x3F, 0x3F, 0x01};
  for (const StandInLine& row : rows) {
    SCOPED_TRACE(row.name);
    const auto attempt = [&] {
      writes = 0;
      const auto start = Clock::now();
      EXPECT_EQ(WriteBefore(-1, stop, start + milliseconds(100), row.calls), row.why);
      EXPECT_LE(writes, row.mostWrites);
      return MsSince(start);
    };
    EXPECT_LT(tarnwick::testing::FastestOf(5, 150, attempt), 150);
  }
}

TEST_F(SerialPortTest, AnOpenWaitsForAHolderThenNamesIt) {
  PtyPeer peer;
  // Another process holds the line with an flock, as a tool or a modem manager takes one.
  tarnwick::testing::Process holder("exec flock -o " + peer.Path() + " sh -c 'echo locked; exec sleep 60' 2>/dev/null");
  ASSERT_TRUE(holder.ReadUntil([](const std::string& output) { return output == "locked\n"; }));
  OpenError error;
  const auto start = Clock::now();
  EXPECT_EQ(OpenPort(peer.Path(), 9600, &error), nullptr);
  EXPECT_GE(MsSince(start), 190);
  EXPECT_LT(MsSince(start), 30'000);  // it gave up: the holder would have let go after a minute
  const std::string said = DescribeOpenError(peer.Path(), error);
  EXPECT_NE(said.find("port busy (held by "), std::string::npos) << said;
  EXPECT_NE(said.find("process " + std::to_string(holder.Pid()) + ")"), std::string::npos) << said;
}

// Reachable from a global, so a program ending with it still open is no leak.
SerialPort* heldUntilTheEnd = nullptr;

// However a program holding a line ends, other programs can open the line after
// it: the exclusive mode is gone. (SIGKILL leaves no way; the board clears that. An uncaught
// exception ends in abort; closing the port: sim/board_line_test.cpp.)
TEST_F(SerialPortTest, HoweverAProgramEndsItLeavesTheLineOutOfExclusiveMode) {
  const std::pair<const char*, void (*)()> ways[] = {
      {"exit", [] { std::exit(1); }}, {"abort", [] { std::abort(); }}, {"SIGPIPE", [] { ::raise(SIGPIPE); }}};
  for (const auto& [name, end] : ways) {
    SCOPED_TRACE(name);
    PtyPeer peer;
    const pid_t child = ::fork();
    if (child == 0) {
      heldUntilTheEnd = OpenPort(peer.Path(), 9600).release();
      if (heldUntilTheEnd) end();
      ::_exit(99);  // the way did not end the program
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_FALSE(WIFEXITED(status) && WEXITSTATUS(status) == 99);
    int exclusive = -1;
    ASSERT_EQ(::ioctl(peer.SlaveFd(), TIOCGEXCL, &exclusive), 0);
    EXPECT_EQ(exclusive, 0);
  }
}

}  // namespace
}  // namespace tarnwick::link
