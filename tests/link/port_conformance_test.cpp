// Every kind of port behaves alike toward a board at 9600 baud with address 01:
// a read ends on the gap, the frame, the first-byte wait or the limit; one read
// takes at most 20 bytes; opening discards a stale reply; a transmit settles; a
// second opening is refused. On POSIX the board is simulated on a pseudo-terminal,
// and again behind ser2net for the network port; under Windows the caller maps
// boards to COM ports (scripts/test-win32: TARNWICK_TEST_PORT, and
// TARNWICK_TEST_SPLIT_PORT for one that pauses mid-reply).
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <memory>
#include <thread>

#include "link/commands.h"
#include "link/frame.h"
#include "link/port_list.h"
#include "link/serial_port.h"
#include "testing/fastest_of.h"
#include "testing/row_name.h"
#ifdef _WIN32
#include <windows.h>
#else
#include "sim/board_server.h"
#include "testing/needs_pty.h"
#include "testing/ser2net.h"
#endif

namespace tarnwick::link {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr int kBoardBaud = 9600;
constexpr std::size_t kAddressReplySize = 6;  // 01 02 00 00 03 00

using tarnwick::testing::MsSince;

Bytes AddressRequest() {
  const std::uint8_t command[] = {static_cast<std::uint8_t>(CodeByte(CommandCode::kGetAddress) | kReplyFlag)};
  return Framing().Make(kBroadcastAddress, command);
}

// A board on a line of one kind. Path(fault) names a port to it with the board
// answering under that fault ("none" or "split"), or
// "" where this kind cannot set that fault (the test skips).
class BoardLine {
 public:
  virtual ~BoardLine() = default;
  virtual std::string Path(const char* fault) = 0;
  virtual bool HeldExclusively() const { return true; }
};

struct LineKind {
  const char* name;
  // Null with a reason when this kind cannot run here.
  std::function<std::unique_ptr<BoardLine>(std::string& whyNot)> make;
};

#ifdef _WIN32
class MappedComPorts final : public BoardLine {
 public:
  std::string Path(const char* fault) override {
    const std::string f = fault;
    const char* variable = f == "none" ? "TARNWICK_TEST_PORT" : f == "split" ? "TARNWICK_TEST_SPLIT_PORT" : nullptr;
    const char* name = variable ? std::getenv(variable) : nullptr;
    return name && *name ? DevicePathForName(name) : std::string();
  }
  // Wine opens a serial device for anyone who asks; Windows refuses a second opening.
  bool HeldExclusively() const override {
    const HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
    return !(ntdll && ::GetProcAddress(ntdll, "wine_get_version"));
  }
};

const LineKind kKinds[] = {{"ComPort", [](std::string& whyNot) -> std::unique_ptr<BoardLine> {
                              auto line = std::make_unique<MappedComPorts>();
                              if (line->Path("none").empty()) return whyNot = "TARNWICK_TEST_PORT names no board", nullptr;
                              return line;
                            }}};
#else
class SimulatedBoardLine : public BoardLine {
 public:
  SimulatedBoardLine() : board_(sim::BoardServer::OnPseudoTerminal()) {}
  std::string Path(const char* fault) override {
    board_->SetFault(sim::ParseFault(fault).value());
    return board_->PortPath();
  }

 protected:
  std::unique_ptr<sim::BoardServer> board_;
};

class NetworkBoardLine final : public SimulatedBoardLine {
 public:
  explicit NetworkBoardLine(const std::string& ser2net) : server_(ser2net, board_->PortPath(), kBoardBaud) {}
  std::string Path(const char* fault) override {
    SimulatedBoardLine::Path(fault);
    return server_.Rfc2217Url();
  }

 private:
  testing::Ser2net server_;
};

const LineKind kKinds[] = {
    {"PseudoTerminal", [](std::string& whyNot) -> std::unique_ptr<BoardLine> {
       if (!(whyNot = testing::PtyUnavailableReason()).empty()) return nullptr;
       return std::make_unique<SimulatedBoardLine>();
     }},
    {"Rfc2217", [](std::string& whyNot) -> std::unique_ptr<BoardLine> {
       if (!(whyNot = testing::PtyUnavailableReason()).empty()) return nullptr;
       const std::string ser2net = testing::Ser2netPath();
       if (ser2net.empty()) return whyNot = "ser2net is not installed (scripts/install-deps installs it)", nullptr;
       return std::make_unique<NetworkBoardLine>(ser2net);
     }}};
#endif

class PortTest : public ::testing::Test {
 protected:
  void Start(const LineKind& kind) {
    std::string whyNot;
    line_ = kind.make(whyNot);
    if (!line_) GTEST_SKIP() << whyNot;
  }
  // A port to the board under fault, or null after skipping the test.
  std::unique_ptr<SerialPort> Open(const char* fault = "none", int baud = kBoardBaud) {
    path_ = line_->Path(fault);
    if (path_.empty()) return nullptr;
    OpenError error;
    auto port = OpenPort(path_, baud, &error);
    EXPECT_TRUE(port) << DescribeOpenError(path_, error);
    return port;
  }
  std::unique_ptr<BoardLine> line_;
  std::string path_;
};

// ---- how a read ends ----

struct ReadCase {
  const char* name;
  bool asked;  // an address request goes out first; otherwise the line stays silent
  ReadRule rule;
  std::size_t count;
  long long leastMs, mostMs;
};

const ReadCase kReads[] = {
    {"GapEndsTheReply", true, {ReadEnd::Gap}, kAddressReplySize, kInterByteGapMs - 5, kReadTotalMs - 100},
    {"FrameEndsAWholeFrameAtOnce", true, {ReadEnd::Frame}, kAddressReplySize, 0, kInterByteGapMs - 5},
    {"ShortFirstByteWaitEndsSilenceEarly", false, {ReadEnd::Frame, 40}, 0, 35, 200},
    {"SilenceEndsAtTheLimitWhateverTheFirstByteWait", false, {ReadEnd::Gap, 5000}, 0, kReadTotalMs - 5,
     kReadTotalMs + 250},
};

class PortReadTest : public PortTest, public ::testing::WithParamInterface<std::tuple<LineKind, ReadCase>> {};

TEST_P(PortReadTest, EndsWhenItsRuleSays) {
  const auto& [kind, c] = GetParam();
  Start(kind);
  if (IsSkipped()) return;
  auto port = Open();
  ASSERT_TRUE(port);
  const auto attempt = [&] {
    if (c.asked) {
      EXPECT_TRUE(port->TransmitFrame(AddressRequest(), kBoardBaud).sent);
    }
    FrameBuffer buffer{};
    const auto start = Clock::now();
    const ReadResult read = port->ReadReply(buffer, c.rule);
    const auto took = MsSince(start);
    EXPECT_TRUE(read.ok);
    EXPECT_EQ(read.count, c.count);
    EXPECT_GE(took, c.leastMs);
    return took;
  };
  EXPECT_LT(testing::FastestOf(5, c.mostMs, attempt), c.mostMs);
}

INSTANTIATE_TEST_SUITE_P(Kinds, PortReadTest, ::testing::Combine(::testing::ValuesIn(kKinds), ::testing::ValuesIn(kReads)),
                         [](const auto& row) {
                           return std::string(std::get<0>(row.param).name) + "_" + std::get<1>(row.param).name;
                         });

// ---- the rest, once per kind of port ----

class PortKindTest : public PortTest, public ::testing::WithParamInterface<LineKind> {
 protected:
  void SetUp() override { Start(GetParam()); }
};

// Under either rule: part of a frame is no whole frame, so the pause ends the read.
// A reader held off past the pause (a loaded machine) finds both parts waiting: it
// has three tries.
TEST_P(PortKindTest, APauseLongerThanTheGapEndsTheRead) {
  auto port = Open("split");
  if (path_.empty()) GTEST_SKIP() << "no board here pauses mid-reply";
  ASSERT_TRUE(port);
  FrameBuffer buffer{};
  for (const ReadEnd end : {ReadEnd::Gap, ReadEnd::Frame}) {
    std::size_t first = 0, rest = 0;
    for (int attempt = 0; attempt < 3 && (first == 0 || first == kAddressReplySize); ++attempt) {
      ASSERT_TRUE(port->TransmitFrame(AddressRequest(), kBoardBaud).sent);
      first = port->ReadReply(buffer, {end}).count;
      rest = first < kAddressReplySize ? port->ReadReply(buffer, {end}).count : 0;
    }
    EXPECT_GT(first, 0u);
    EXPECT_LT(first, kAddressReplySize);
    EXPECT_EQ(first + rest, kAddressReplySize);
  }
}

// Four requests in one burst: four replies, 24 bytes.
TEST_P(PortKindTest, OneReadTakesTwentyBytesAndLeavesTheRest) {
  auto port = Open();
  ASSERT_TRUE(port);
  const Bytes request = AddressRequest();
  Bytes burst;
  for (int i = 0; i < 4; ++i) burst.insert(burst.end(), request.begin(), request.end());
  ASSERT_TRUE(port->TransmitFrame(burst, kBoardBaud).sent);
  std::this_thread::sleep_for(milliseconds(100));
  FrameBuffer buffer{};
  EXPECT_EQ(port->ReadReply(buffer).count, kFrameBufferSize);
  EXPECT_EQ(port->ReadReply(buffer).count, 4 * kAddressReplySize - kFrameBufferSize);
}

// A reply still on its way when the port opens is no reply nobody read: a try where
// it came late proves nothing, one where it was waiting must find nothing.
TEST_P(PortKindTest, OpeningDiscardsAReplyNobodyRead) {
  std::size_t fewest = kFrameBufferSize;
  for (int attempt = 0; attempt < 5 && fewest > 0; ++attempt) {
    ASSERT_TRUE(Open()->TransmitFrame(AddressRequest(), kBoardBaud).sent);
    std::this_thread::sleep_for(milliseconds(200));  // the reply waits in the driver's queue
    auto port = Open();
    ASSERT_TRUE(port);
    FrameBuffer buffer{};
    fewest = std::min(fewest, port->ReadReply(buffer, {ReadEnd::Gap, 50}).count);
  }
  EXPECT_EQ(fewest, 0u);
}

// The settle delay: twelve bit times and a millisecond per byte after the last byte left.
TEST_P(PortKindTest, TransmitReturnsAfterTheSettleDelay) {
  struct Row { int baud; std::size_t bytes; int settleMs; };
  for (const Row row : {Row{2400, 12, 72}, Row{115200, 5, 5}}) {
    auto port = Open("none", row.baud);
    ASSERT_TRUE(port);
    const auto attempt = [&] {
      const auto start = Clock::now();
      EXPECT_TRUE(port->TransmitFrame(Bytes(row.bytes, 0x55), row.baud).sent);  // noise to the board
      EXPECT_GE(MsSince(start), row.settleMs) << row.baud;
      return MsSince(start);
    };
    EXPECT_LT(testing::FastestOf(5, row.settleMs + 150, attempt), row.settleMs + 150) << row.baud;
  }
}

TEST_P(PortKindTest, ASecondOpeningIsRefusedAsBusy) {
  if (!line_->HeldExclusively()) GTEST_SKIP() << "this port is not held exclusively here (wine)";
  auto first = Open();
  ASSERT_TRUE(first);
  OpenError error;
  EXPECT_FALSE(OpenPort(path_, kBoardBaud, &error));
  EXPECT_EQ(error.kind, OpenFailure::Busy) << DescribeOpenError(path_, error);
}

INSTANTIATE_TEST_SUITE_P(Kinds, PortKindTest, ::testing::ValuesIn(kKinds), testing::RowName{});

}  // namespace
}  // namespace tarnwick::link
