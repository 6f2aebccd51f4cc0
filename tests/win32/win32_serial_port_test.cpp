// The Windows serial port against simulated boards that the caller maps to COM
// ports (scripts/test-win32 under wine): TARNWICK_TEST_PORT names a board at 9600
// baud with address 01, TARNWICK_TEST_SPLIT_PORT one that pauses mid-reply.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

#include "link/commands.h"
#include "link/frame.h"
#include "link/port_list.h"
#include "link/serial_port.h"

namespace tarnwick::link {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr int kBoardBaud = 9600;
constexpr std::size_t kAddressReplySize = 6;  // 01 02 00 00 03 00

long long MsSince(Clock::time_point start) {
  return std::chrono::duration_cast<milliseconds>(Clock::now() - start).count();
}

std::string PortFromEnvironment(const char* variable) {
  const char* name = std::getenv(variable);
  return name && *name ? DevicePathForName(name) : std::string();
}

// Wine opens a serial device for anyone who asks; Windows refuses a second opening.
bool RunningUnderWine() {
  const HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
  return ntdll && ::GetProcAddress(ntdll, "wine_get_version");
}

Bytes AddressRequest() {
  const std::uint8_t command[] = {static_cast<std::uint8_t>(CodeByte(CommandCode::kGetAddress) | kReplyFlag)};
  return MakeFrame(kBroadcastAddress, command);
}

class BoardPortTest : public testing::Test {
 protected:
  void SetUp() override {
    path_ = PortFromEnvironment("TARNWICK_TEST_PORT");
    if (path_.empty()) GTEST_SKIP() << "TARNWICK_TEST_PORT names no simulated board";
  }

  std::unique_ptr<SerialPort> Open(const std::string& path) {
    OpenError error;
    auto port = OpenPort(path, kBoardBaud, &error);
    EXPECT_TRUE(port) << DescribeOpenError(path, error);
    return port;
  }

  std::string path_;
};

TEST_F(BoardPortTest, ReadEndsOnTheGapAfterTheReplyWellBeforeTheLimit) {
  auto port = Open(path_);
  ASSERT_TRUE(port);
  port->TransmitFrame(AddressRequest(), kBoardBaud);
  FrameBuffer buffer{};
  const auto start = Clock::now();
  const ReadResult read = port->ReadReply(buffer);
  EXPECT_TRUE(read.ok);
  EXPECT_EQ(read.count, kAddressReplySize);
  EXPECT_GE(MsSince(start), kInterByteGapMs - 5);
  EXPECT_LT(MsSince(start), kReadTotalMs - 100);
}

TEST_F(BoardPortTest, SilenceEndsTheReadWithNothingAtTheLimit) {
  auto port = Open(path_);
  ASSERT_TRUE(port);
  FrameBuffer buffer{};
  const auto start = Clock::now();
  const ReadResult read = port->ReadReply(buffer);
  EXPECT_TRUE(read.ok);
  EXPECT_EQ(read.count, 0u);
  EXPECT_GE(MsSince(start), kReadTotalMs - 5);
  EXPECT_LT(MsSince(start), kReadTotalMs + 250);
}

// Milliseconds one address request's read takes under rule, and the bytes it got.
std::pair<long long, std::size_t> TimedRead(SerialPort& port, const ReadRule& rule) {
  port.TransmitFrame(AddressRequest(), kBoardBaud);
  FrameBuffer buffer{};
  const auto start = Clock::now();
  const ReadResult read = port.ReadReply(buffer, rule);
  EXPECT_TRUE(read.ok);
  return {MsSince(start), read.count};
}

TEST_F(BoardPortTest, TheFrameRuleEndsTheReadOnceTheWholeFrameIsInWithoutTheGap) {
  auto port = Open(path_);
  ASSERT_TRUE(port);
  const auto [gapMs, gapCount] = TimedRead(*port, {ReadEnd::Gap, kReadTotalMs});
  const auto [frameMs, frameCount] = TimedRead(*port, {ReadEnd::Frame, kReadTotalMs});
  EXPECT_EQ(gapCount, kAddressReplySize);
  EXPECT_EQ(frameCount, kAddressReplySize);
  EXPECT_LT(frameMs + kInterByteGapMs / 2, gapMs) << "frame " << frameMs << " ms, gap " << gapMs << " ms";
  // The port's own time-outs are back for the next read under the gap rule.
  EXPECT_EQ(TimedRead(*port, {}).second, kAddressReplySize);
}

TEST_F(BoardPortTest, AShortWaitForTheFirstByteEndsASilentReadEarly) {
  auto port = Open(path_);
  ASSERT_TRUE(port);
  FrameBuffer buffer{};
  const auto start = Clock::now();
  const ReadResult read = port->ReadReply(buffer, {ReadEnd::Frame, 30});
  EXPECT_TRUE(read.ok);
  EXPECT_EQ(read.count, 0u);
  EXPECT_GE(MsSince(start), 25);
  EXPECT_LT(MsSince(start), kReadTotalMs - 100);
}

TEST_F(BoardPortTest, OneReadTakesTwentyBytesAndLeavesTheRest) {
  auto port = Open(path_);
  ASSERT_TRUE(port);
  for (int i = 0; i < 4; ++i) port->TransmitFrame(AddressRequest(), kBoardBaud);
  std::this_thread::sleep_for(milliseconds(200));
  FrameBuffer buffer{};
  EXPECT_EQ(port->ReadReply(buffer).count, kFrameBufferSize);
  EXPECT_EQ(port->ReadReply(buffer).count, 4 * kAddressReplySize - kFrameBufferSize);
}

TEST_F(BoardPortTest, OpeningDiscardsAReplyNobodyRead) {
  Open(path_)->TransmitFrame(AddressRequest(), kBoardBaud);
  std::this_thread::sleep_for(milliseconds(100));  // the reply waits in the driver's queue
  auto port = Open(path_);
  ASSERT_TRUE(port);
  FrameBuffer buffer{};
  EXPECT_EQ(port->ReadReply(buffer).count, 0u);
}

TEST_F(BoardPortTest, TransmitReturnsAfterTheSettleDelay) {
  struct Row { int baud; std::size_t bytes; int settleMs; };
  for (const Row row : {Row{2400, 12, 72}, Row{115200, 5, 5}}) {
    OpenError error;
    auto port = OpenPort(path_, row.baud, &error);
    ASSERT_TRUE(port) << error.detail;
    const auto start = Clock::now();
    port->TransmitFrame(std::vector<std::uint8_t>(row.bytes, 0x55), row.baud);  // noise to the board
    EXPECT_GE(MsSince(start), row.settleMs) << row.baud;
    EXPECT_LT(MsSince(start), row.settleMs + 100) << row.baud;
  }
}

TEST_F(BoardPortTest, ASecondOpeningIsRefusedAsBusy) {
  if (RunningUnderWine()) GTEST_SKIP() << "wine does not hold serial ports exclusively";
  auto first = Open(path_);
  ASSERT_TRUE(first);
  OpenError error;
  EXPECT_FALSE(OpenPort(path_, kBoardBaud, &error));
  EXPECT_EQ(error.kind, OpenFailure::Busy) << error.detail;
  EXPECT_NE(DescribeOpenError(path_, error).find("port busy"), std::string::npos);
}

TEST_F(BoardPortTest, TheBoardsPortIsListedAndTheListIsInNaturalOrder) {
  const auto ports = EnumeratePorts();
  EXPECT_NE(std::find_if(ports.begin(), ports.end(), [&](const PortEntry& p) { return p.path == path_; }), ports.end());
  EXPECT_TRUE(std::is_sorted(ports.begin(), ports.end(),
                             [](const PortEntry& a, const PortEntry& b) { return NaturalLess(a.name, b.name); }));
  for (const PortEntry& p : ports) EXPECT_EQ(p.path, R"(\\.\)" + p.name);
}

TEST(SplitReplyTest, APauseLongerThanTheGapEndsTheRead) {
  const std::string path = PortFromEnvironment("TARNWICK_TEST_SPLIT_PORT");
  if (path.empty()) GTEST_SKIP() << "TARNWICK_TEST_SPLIT_PORT names no simulated board";
  auto port = OpenPort(path, kBoardBaud);
  ASSERT_TRUE(port);
  FrameBuffer buffer{};
  // Under either rule: a part of a frame is no whole frame, so the gap ends it.
  for (const ReadEnd end : {ReadEnd::Gap, ReadEnd::Frame}) {
    port->TransmitFrame(AddressRequest(), kBoardBaud);
    const std::size_t first = port->ReadReply(buffer, {end, kReadTotalMs}).count;
    const std::size_t rest = port->ReadReply(buffer, {end, kReadTotalMs}).count;
    EXPECT_GT(first, 0u);
    EXPECT_LT(first, kAddressReplySize);
    EXPECT_EQ(first + rest, kAddressReplySize);
  }
}

TEST(OpenErrorTest, EachFailureHasItsKindAndWindowsWording) {
  const auto file = std::filesystem::temp_directory_path() / "tarnwick-not-a-port.txt";
  std::ofstream(file) << "x";
  struct Row { const char* what; std::string path; OpenFailure kind; std::string said; };
  const Row rows[] = {
      {"missing port", DevicePathForName("COM77"), OpenFailure::NotFound, "cannot open COM77: no such port"},
      {"plain file", file.string(), OpenFailure::NotASerialPort, "not a serial port"},
      {"null device", R"(\\.\NUL)", OpenFailure::NotASerialPort, "not a serial port"},
  };
  for (const Row& row : rows) {
    OpenError error;
    EXPECT_FALSE(OpenPort(row.path, kBoardBaud, &error)) << row.what;
    EXPECT_EQ(error.kind, row.kind) << row.what << ": " << error.detail;
    const std::string text = DescribeOpenError(row.path, error);
    EXPECT_NE(text.find(row.said), std::string::npos) << row.what << ": " << text;
    EXPECT_EQ(text.find("dialout"), std::string::npos) << row.what;
  }
  std::filesystem::remove(file);
}

TEST(WindowsPortNameTest, ComNamesGoThroughTheDeviceNamespace) {
  struct Row { const char* given; const char* path; };
  for (const Row row : {Row{"COM3", R"(\\.\COM3)"}, Row{"COM10", R"(\\.\COM10)"}, Row{R"(\\.\COM4)", R"(\\.\COM4)"},
                        Row{"C:/ports/board", "C:/ports/board"}}) {
    EXPECT_EQ(ResolvePort({}, row.given), row.path) << row.given;
  }
}

}  // namespace
}  // namespace tarnwick::link
