// Direction control on a stand-in driver: what the driver's RS-485 mode keeps of
// what was asked, the settings restored at closing, RTS raised around each frame,
// and a sentence for every port that cannot do it.
#include <gtest/gtest.h>

#include <cerrno>
#include <system_error>

#include "link/line_control.h"
#include "testing/stand_in_line.h"

namespace tarnwick {
namespace {

namespace flag = link::rs485_flag;
using link::DirectionControl;
using link::Rs485Config;
using testing::StandInDriver;
using testing::StandInPort;

std::unique_ptr<link::SerialPort> Open(StandInDriver& driver, link::DirectionSettings direction,
                                       link::OpenError* error = nullptr, link::LineReport* report = nullptr,
                                       bool hasControl = true) {
  return link::ControlDirection(std::make_unique<StandInPort>(driver, hasControl), direction, error, report);
}

struct KernelCase {
  const char* name;
  int before, after;
  std::uint32_t supported;
  bool hasDelays;
  Rs485Config applied;
  std::vector<std::string> changes;
};

constexpr std::uint32_t kAllFlags = flag::kEnabled | flag::kRtsOnSend | flag::kRtsAfterSend | flag::kRxDuringTx;
constexpr std::uint32_t kAsked = flag::kEnabled | flag::kRtsOnSend;

TEST(KernelModeTest, ReportsWhatTheDriverKeptAndRestoresItsSettings) {
  const KernelCase rows[] = {
      {"within the limits", 5, 10, kAllFlags, true, {kAsked, 5, 10}, {}},
      {"delays capped", 250, 150, kAllFlags, true, {kAsked, 100, 100},
       {"delay before sending 100 ms (asked 250)", "delay after sending 100 ms (asked 150)"}},
      {"no delays", 20, 0, kAllFlags, false, {kAsked, 0, 0}, {"delay before sending 0 ms (asked 20)"}},
      {"no RTS high while sending", 0, 0, flag::kEnabled | flag::kRtsAfterSend, true, {flag::kEnabled, 0, 0},
       {"RTS high while sending off (asked on)"}}};
  for (const KernelCase& row : rows) {
    SCOPED_TRACE(row.name);
    StandInDriver driver;
    driver.supportedFlags = row.supported;
    driver.hasDelays = row.hasDelays;
    const Rs485Config previous{flag::kEnabled | flag::kRtsAfterSend, 3, 4};
    driver.current = previous;
    link::LineReport report;
    auto port = Open(driver, {DirectionControl::Kernel, row.before, row.after}, nullptr, &report);
    ASSERT_NE(port, nullptr);
    EXPECT_EQ(report.asked, (Rs485Config{kAsked, static_cast<std::uint32_t>(row.before),
                                         static_cast<std::uint32_t>(row.after)}));
    EXPECT_EQ(report.applied, row.applied);
    EXPECT_EQ(report.changes, row.changes);
    EXPECT_TRUE(port->TransmitFrame({}, 9600).sent);
    EXPECT_EQ(driver.Names(), (std::vector<std::string>{"get", "set", "get", "write", "drained"}));  // RTS left alone
    port.reset();
    EXPECT_EQ(driver.calls.back().what, "set");
    EXPECT_EQ(driver.calls.back().config, previous);
  }
}

// A USB adapter (ENOTTY) and a port without RTS: cli_test.cpp, on a pseudo-terminal.
TEST(RefusalTest, ExplainsInOneSentence) {
  struct Row { int rs485Error; bool hasControl; std::string detail; };
  const Row rows[] = {
      {0, false, "this adapter switches direction itself (the driver has no RS-485 mode); leave --rs485 off"},
      {EIO, true, "cannot set the RS-485 mode: " + std::generic_category().message(EIO)}};
  for (const Row& row : rows) {
    StandInDriver driver;
    driver.rs485Error = row.rs485Error;
    link::OpenError error;
    EXPECT_EQ(Open(driver, {DirectionControl::Kernel, 0, 0}, &error, nullptr, row.hasControl), nullptr);
    EXPECT_EQ(error.kind, link::OpenFailure::Other);
    EXPECT_EQ(error.detail, row.detail);
  }
}

TEST(RtsTest, RaisedBeforeTheWriteAndLoweredOnceTheFrameHasLeft) {
  for (const bool fails : {false, true}) {
    StandInDriver driver;
    driver.transmitFails = fails;
    auto port = Open(driver, {DirectionControl::Rts, 0, 0});
    ASSERT_NE(port, nullptr);
    EXPECT_EQ(port->TransmitFrame({}, 9600).sent, !fails);
    EXPECT_EQ(driver.Names(), (std::vector<std::string>{"rts off", "rts on", "write", "drained", "rts off"}));
    EXPECT_GE(driver.calls[4].at - driver.calls[1].at, std::chrono::milliseconds(2));
  }
}

}  // namespace
}  // namespace tarnwick
