// The serial port against a pseudo-terminal: line timing, hang-up, the lock.
#include "link/serial_port.h"
#include "link/termios_speed.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <set>
#include <stdexcept>

#include "link/baud_rates.h"
#include "link/bounded_write.h"
#include "testing/needs_pty.h"
#include "testing/pty_peer.h"
#include "testing/row_name.h"

namespace tarnwick::link {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;
using tarnwick::testing::PtyPeer;

long long MsSince(Clock::time_point start) {
  return std::chrono::duration_cast<milliseconds>(Clock::now() - start).count();
}

// A port that does not open ends the test by its exception, not by a null port.
std::unique_ptr<SerialPort> Open(const PtyPeer& peer, int baud = 115200) {
  OpenError error;
  auto port = OpenPort(peer.Path(), baud, &error);
  if (!port) throw std::runtime_error("cannot open " + peer.Path() + ": " + error.detail);
  return port;
}

class SerialPortTest : public tarnwick::testing::PtyTest {};

TEST_F(SerialPortTest, TransmitWritesTheFrameAndWaitsTheSettleDelay) {
  PtyPeer peer;
  const std::vector<std::uint8_t> frame = {0x01, 0x08, 0x92, 0x40, 0x1F, 0x00, 0x80, 0x32, 0xE8, 0x03, 0x97, 0x02};
  struct Row { int baud; int settleMs; };
  for (const Row row : {Row{2400, 72}, Row{115200, 13}}) {
    auto port = Open(peer, row.baud);
    const auto start = Clock::now();
    EXPECT_TRUE(port->TransmitFrame(frame, row.baud).sent) << row.baud;
    const auto took = MsSince(start);
    EXPECT_GE(took, row.settleMs) << row.baud;
    EXPECT_LT(took, row.settleMs + 150) << row.baud;
    EXPECT_EQ(peer.Read(), frame);
  }
}

TEST_F(SerialPortTest, ReadEndsAfterTheGapThatFollowsAByte) {
  PtyPeer peer;
  auto port = Open(peer);
  peer.Write({1, 2, 3, 4, 5, 6, 7});
  FrameBuffer buffer{};
  const auto start = Clock::now();
  const ReadResult r = port->ReadReply(buffer);
  EXPECT_TRUE(r.ok);
  EXPECT_EQ(r.count, 7u);
  EXPECT_EQ(buffer[6], 7);
  EXPECT_GE(MsSince(start), kInterByteGapMs - 2);
  EXPECT_LT(MsSince(start), 200);
}

struct ReadEndCase {
  const char* name;
  ReadRule rule;
  std::vector<std::uint8_t> bytes;
  std::size_t count;
  long long leastMs, mostMs;
};

class ReadEndTest : public tarnwick::testing::PtyTest, public ::testing::WithParamInterface<ReadEndCase> {};

TEST_P(ReadEndTest, EndsWhenItsRuleSays) {
  PtyPeer peer;
  auto port = Open(peer);
  if (!GetParam().bytes.empty()) peer.Write(GetParam().bytes);
  FrameBuffer buffer{};
  const auto start = Clock::now();
  const ReadResult r = port->ReadReply(buffer, GetParam().rule);
  const auto took = MsSince(start);
  EXPECT_TRUE(r.ok);
  EXPECT_EQ(r.count, GetParam().count);
  EXPECT_GE(took, GetParam().leastMs);
  EXPECT_LT(took, GetParam().mostMs);
}

const std::vector<std::uint8_t> kReply = {0x01, 0x02, 0x00, 0x00, 0x03, 0x00};
const std::vector<std::uint8_t> kReplyAndNoise = {0x01, 0x02, 0x00, 0x00, 0x03, 0x00, 0xAA};

INSTANTIATE_TEST_SUITE_P(
    Rules, ReadEndTest,
    ::testing::Values(ReadEndCase{"FrameEndsAWholeFrameAtOnce", {ReadEnd::Frame}, kReply, 6, 0, kInterByteGapMs - 5},
                    ReadEndCase{"FrameWithNoiseFallsBackToTheGap", {ReadEnd::Frame}, kReplyAndNoise, 7,
                                kInterByteGapMs - 2, 200},
                    ReadEndCase{"BadChecksumFallsBackToTheGap", {ReadEnd::Frame}, {0x01, 0x02, 0x00, 0x00, 0x09, 0x00},
                                6, kInterByteGapMs - 2, 200},
                    ReadEndCase{"ShortFirstByteWait", {ReadEnd::Frame, 40}, {}, 0, 38, 200},
                    ReadEndCase{"SilenceEndsAtTheLimitWhateverTheFirstByteWait", {ReadEnd::Gap, 5000}, {}, 0, kReadTotalMs - 2,
                                kReadTotalMs + 200}),
    tarnwick::testing::RowName());

TEST_F(SerialPortTest, ReadStopsAtTwentyBytesAndLeavesTheRest) {
  PtyPeer peer;
  auto port = Open(peer);
  peer.Write(std::vector<std::uint8_t>(30, 0xAB));
  FrameBuffer buffer{};
  EXPECT_EQ(port->ReadReply(buffer).count, kFrameBufferSize);
  EXPECT_EQ(port->ReadReply(buffer).count, 10u);
}

TEST_F(SerialPortTest, AHangUpIsAFailedRead) {
  PtyPeer peer;
  auto port = Open(peer);
  peer.CloseMaster();
  FrameBuffer buffer{};
  EXPECT_FALSE(port->ReadReply(buffer).ok);
}

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
    auto port = Open(peer, 115200);
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
  const char* why;  // "" when every byte went
  int mostWrites;
};

int writes = 0;  // write calls the stand-ins answered in this row

ssize_t Refuse(int, const void*, std::size_t) { return ++writes, errno = EAGAIN, -1; }
ssize_t TakeNothing(int, const void*, std::size_t) { return ++writes, 0; }
ssize_t TakeTwoThenRefuse(int fd, const void* data, std::size_t size) {
  return writes == 0 ? (++writes, 2) : Refuse(fd, data, size);
}
ssize_t TakeOne(int, const void*, std::size_t) { return ++writes, 1; }
int Writable(pollfd* p, nfds_t, int) { return p->revents = POLLOUT, 1; }
int HungUp(pollfd* p, nfds_t, int) { return p->revents = POLLHUP, 1; }

TEST(BoundedWriteTest, EndsByItsDeadlineWithoutSpinning) {
  const StandInLine rows[] = {
      {"EAGAIN while writable", {Refuse, Writable}, "the line took no more bytes in time after 0 of 5 bytes", 40},
      {"0 bytes while writable", {TakeNothing, Writable}, "the line took no more bytes in time after 0 of 5 bytes", 40},
      {"stops short", {TakeTwoThenRefuse, Writable}, "the line took no more bytes in time after 2 of 5 bytes", 40},
      {"hangs up", {Refuse, HungUp}, "the line hung up after 0 of 5 bytes", 1},
      {"a byte at a time", {TakeOne, Writable}, "", 5},
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

TEST_F(SerialPortTest, OpeningDiscardsWhatTheLineHeldBefore) {
  PtyPeer peer;
  peer.Write({0xEE, 0xEE});  // a late reply to somebody else's exchange
  auto port = Open(peer);
  FrameBuffer buffer{};
  peer.Write({0x01});
  const ReadResult r = port->ReadReply(buffer);
  ASSERT_EQ(r.count, 1u);
  EXPECT_EQ(buffer[0], 0x01);
}

TEST_F(SerialPortTest, AnOpenPortKeepsOutProgramsThatTakeNoLockUntilItCloses) {
  PtyPeer peer;
  ASSERT_TRUE(tarnwick::testing::OrdinaryProgramCanOpen(peer.Path()));
  auto port = Open(peer);
  EXPECT_FALSE(tarnwick::testing::OrdinaryProgramCanOpen(peer.Path()));
  port.reset();
  EXPECT_TRUE(tarnwick::testing::OrdinaryProgramCanOpen(peer.Path()));
}

TEST_F(SerialPortTest, OpenFailuresSayWhy) {
  PtyPeer peer;
  auto held = Open(peer);
  OpenError error;
  EXPECT_EQ(OpenPort(peer.Path(), 9600, &error), nullptr);
  EXPECT_EQ(error.kind, OpenFailure::Busy);
  held.reset();
  EXPECT_NE(OpenPort(peer.Path(), 9600, &error), nullptr);  // free again once closed

  const std::string file = ::testing::TempDir() + "tarnwick-not-a-port";
  std::ofstream(file).put('x');
  const std::pair<std::string, OpenFailure> refused[] = {
      {"/dev/tarnwick-no-such-port", OpenFailure::NotFound}, {"/dev/null", OpenFailure::NotASerialPort},
      {::testing::TempDir(), OpenFailure::NotASerialPort},   {file, OpenFailure::NotASerialPort},
      {"/dev/tty", OpenFailure::OwnTerminal}};
  for (const auto& [path, kind] : refused) {
    EXPECT_EQ(OpenPort(path, 9600, &error), nullptr) << path;
    EXPECT_EQ(error.kind, kind) << path;
  }
  EXPECT_EQ(std::filesystem::file_size(file), 1u);  // nothing written into it
  std::filesystem::remove(file);
  EXPECT_EQ(OpenPort(peer.Path(), 12345, &error), nullptr);  // not a rate of the table
  EXPECT_NE(DescribeOpenError("/dev/ttyUSB0", {OpenFailure::PermissionDenied, ""}).find("dialout"), std::string::npos);
}

TEST(BaudTable, EveryRateHasItsOwnTermiosSpeed) {
  std::set<speed_t> speeds;
  for (int rate : kBaudRates) {
    EXPECT_NE(TermiosSpeedOf(rate), B0) << rate;
    speeds.insert(TermiosSpeedOf(rate));
  }
  EXPECT_EQ(speeds.size(), kBaudRates.size());
  EXPECT_EQ(TermiosSpeedOf(9600), B9600);
  EXPECT_EQ(TermiosSpeedOf(1200), B0);  // not a rate of the list
}

}  // namespace
}  // namespace tarnwick::link
