#include "bench/live_test_controller.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "link/baud_rates.h"
#include "link/hex_text.h"
#include "testing/needs_pty.h"
#include "testing/pty_peer.h"

namespace tarnwick::bench {
namespace {

using testing::WriteRecorder;
using Sent = std::vector<std::string>;

constexpr int kBaud = 115200;
constexpr const char* kStop = "FF 01 3F 3F 01";

// The bytes of a forced update from these values, as the logic layer builds them.
std::string StepperUpdate(int frequency, int duty, bool reverse = false) {
  const StepperTestFields fields{std::to_string(frequency), std::to_string(duty), reverse};
  return link::FormatHexDump(BuildStepperTestSend(fields, false, true, {}).bytes);
}
std::string DcUpdate(const DcTestFields& fields) {
  return link::FormatHexDump(BuildDcTestSend(fields, false, true, {}).bytes);
}

// Runs one event and returns what it wrote. Every write must be a single write of
// a stop frame or an update, and the event must not return (closing the port)
// before the settle delay after that write has passed. The settle delay taken as
// seconds would keep it a thousand times longer: half of that is far above any
// pause a loaded machine adds.
Sent SentBy(WriteRecorder& line, const std::function<void()>& event) {
  const auto before = WriteRecorder::Clock::now();
  event();
  const auto took = WriteRecorder::Clock::now() - before;
  Sent dumps;
  for (const auto& write : line.TakeAllSoFar()) {
    EXPECT_TRUE(write.bytes.size() == 5 || write.bytes.size() == 17) << write.bytes.size() << " bytes in one write";
    const int settleMs = link::SettleDelayMs(write.bytes.size(), kBaud);
    EXPECT_GE(took, std::chrono::milliseconds(settleMs));
    EXPECT_LT(took, std::chrono::seconds(settleMs) / 2);
    dumps.push_back(link::FormatHexDump(write.bytes));
  }
  return dumps;
}

struct Step {
  const char* what;
  std::function<void(LiveTestController&)> event;
  Sent sent;
  const char* button = nullptr;  // the label after the event, when it matters
};

void RunScenario(LiveTestController& test, const std::vector<Step>& steps) {
  WriteRecorder line;
  const int fdsBefore = testing::CountOpenFds();
  test.SetPort(line.Path(), kBaud);
  for (const Step& step : steps) {
    SCOPED_TRACE(step.what);
    EXPECT_EQ(SentBy(line, [&] { step.event(test); }), step.sent);
    if (step.button) {
      EXPECT_EQ(test.ButtonText(), step.button);
    }
  }
  EXPECT_EQ(testing::CountOpenFds(), fdsBefore) << "a port was left open";
}

auto Slide(int ch, int value) { return [=](LiveTestController& t) { t.SliderMoved(ch, value); }; }
auto Leave(int ch, const char* text) { return [=](LiveTestController& t) { t.EditLostFocus(ch, text); }; }
auto ClickReverse(int box, bool on) { return [=](LiveTestController& t) { t.ReverseClicked(box, on); }; }
void BeginStop(LiveTestController& t) { t.BeginStopClicked(); }

TEST(StepperTestController, SendsEachEffectiveChangeWhileRunning) {
  TARNWICK_NEEDS_PTY();
  StepperTestController test;
  RunScenario(test, {
      {"reverse while stopped only records", ClickReverse(0, true), {}, "Begin"},
      {"moves while stopped send nothing", Slide(kStepperFreq, 4000), {}},
      {"begin sends the update", BeginStop, {StepperUpdate(4000, 100, true)}, "Stop"},
      {"reverse while running", ClickReverse(0, false), {StepperUpdate(4000, 100)}},
      {"drag step", Slide(kStepperFreq, 4100), {StepperUpdate(4100, 100)}},
      {"end of drag at the same place", Slide(kStepperFreq, 4100), {}},
      {"leaving the edit sends it", Leave(kStepperFreq, "2000"), {StepperUpdate(2000, 100)}},
      {"stop", BeginStop, {kStop}, "Begin"},
      {"begin with unchanged values is forced", BeginStop, {StepperUpdate(2000, 100)}, "Stop"},
      {"the trackbar refills the edit", Slide(kStepperDuty, 1), {StepperUpdate(2000, 1)}},
      {"stop again", BeginStop, {kStop}, "Begin"},
      {"freq 0 while stopped", Leave(kStepperFreq, "0"), {}},
      {"begin with an invalid field runs and sends nothing", BeginStop, {}, "Stop"},
      {"the first valid change is sent", Slide(kStepperFreq, 10000), {StepperUpdate(10000, 1)}},
  });
}

TEST(DcTestController, SendsEachEffectiveChangeWhileRunning) {
  TARNWICK_NEEDS_PTY();
  DcTestController test;
  RunScenario(test, {
      {"begin with the start values", BeginStop, {"FF 07 23 64 64 10 27 10 27 5F 02 FF 02 22 11 34 01"}, "Stop"},
      {"end of drag sends nothing", Slide(kLeftFreq, 10000), {}},
      {"above 16 bits goes out as 65535", Slide(kLeftFreq, 70000), {DcUpdate({.leftFrequency = "65535"})}},
      {"another value above 16 bits adds nothing", Slide(kLeftFreq, 80000), {}},
      {"reverse is forced", ClickReverse(kLeftReverseBox, true),
       {DcUpdate({.leftFrequency = "80000", .leftReverse = true})}},
      {"stop", BeginStop, {kStop}, "Begin"},
  });
  EXPECT_EQ(test.EditText(kLeftFreq), "80000") << "the edit keeps the trackbar's value";
}

TEST(LiveTestController, EditLeavingMovesTheTrackbarOnlyForInRangeText) {
  struct Case { int channel; const char* text; bool moves; int sliderAfter; };
  const Case cases[] = {
      {kLeftFreq, "80000", true, 80000}, {kLeftFreq, "0", true, 0},  {kLeftFreq, "80001", false, 10000},
      {kLeftDuty, " 7 ", true, 7},       {kRightDuty, "", false, 100}, {kRightDuty, "5%", true, 5},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    DcTestController test;
    EXPECT_EQ(test.EditLostFocus(c.channel, c.text), c.moves);
    EXPECT_EQ(test.SliderValue(c.channel), c.sliderAfter);
    EXPECT_EQ(test.EditText(c.channel), c.text) << "the edit keeps what was typed";
  }
}

TEST(LiveTestController, APortThatCannotBeOpenedDropsTheChangeSilently) {
  TARNWICK_NEEDS_PTY();
  StepperTestController test;
  test.BeginStopClicked();
  EXPECT_EQ(test.ButtonText(), "Begin") << "without a port Begin does nothing";
  WriteRecorder line;
  test.SetPort(line.Path(), kBaud);
  ASSERT_EQ(SentBy(line, [&] { test.BeginStopClicked(); }), Sent{StepperUpdate(2500, 100)});

  // Another program holds the port.
  link::UniqueFd holder(::open(line.Path().c_str(), O_RDWR | O_NOCTTY));
  ASSERT_EQ(::flock(holder.Get(), LOCK_EX), 0);
  EXPECT_TRUE(SentBy(line, [&] { test.SliderMoved(kStepperDuty, 50); }).empty());
  EXPECT_TRUE(test.Running());
  holder.Reset();

  // The dropped values were never sent, so the end of the same drag sends them.
  EXPECT_EQ(SentBy(line, [&] { test.SliderMoved(kStepperDuty, 50); }), Sent{StepperUpdate(2500, 50)});
  EXPECT_TRUE(SentBy(line, [&] { test.SliderMoved(kStepperDuty, 50); }).empty());

  test.SetPort("/dev/nonexistent-tarnwick-port", kBaud);
  EXPECT_TRUE(SentBy(line, [&] { test.BeginStopClicked(); }).empty());
  EXPECT_EQ(test.ButtonText(), "Begin");
}

TEST(LiveTestController, AnUpdateThatCannotLeaveIsNotRememberedAsSent) {
  TARNWICK_NEEDS_PTY();
  testing::PtyPeer peer;
  StepperTestController test;
  test.SetPort(peer.Path(), kBaud);
  test.BeginStopClicked();
  ASSERT_EQ(link::FormatHexDump(peer.Read(50, 5000)), StepperUpdate(2500, 100));

  peer.Clog();
  test.SliderMoved(kStepperDuty, 50);
  EXPECT_EQ(test.Last().duty, 100) << "the update that did not leave became the last sent";
  peer.Read();  // the line takes bytes again; a late rest of the filler is skipped below

  test.SliderMoved(kStepperDuty, 50);
  std::vector<std::uint8_t> after = peer.Read(50, 5000);
  after.erase(after.begin(), std::find_if(after.begin(), after.end(), [](std::uint8_t b) { return b != 0x55; }));
  EXPECT_EQ(link::FormatHexDump(after), StepperUpdate(2500, 50));
}

}  // namespace
}  // namespace tarnwick::bench
