// The Stepper Test and D-C Test pages inside the main window, offscreen, against a
// pseudo-terminal that records every write.

#include <QFocusEvent>
#include <QSlider>
#include <functional>

#include "bench/live_test_logic.h"
#include "testing/pty_peer.h"
#include "testing/row_name.h"
#include "window_fixture.h"

namespace tarnwick::gui_test {
namespace {

std::string StepperUpdate(int frequency, int duty) {
  const bench::StepperTestFields fields{std::to_string(frequency), std::to_string(duty), false};
  return link::FormatHexDump(bench::BuildStepperTestSend(fields, false, true, {}).bytes);
}

namespace ids = pages::ids;
namespace stepper = ids::stepper_test;
constexpr int kBeginStop = stepper::kBeginStop;  // the D-C page's too

std::vector<std::string> Sent(testing::WriteRecorder& line) {
  std::vector<std::string> dumps;
  for (const auto& write : line.TakeAllSoFar()) dumps.push_back(link::FormatHexDump(write.bytes));
  return dumps;
}

// What each change sends is pinned down with the controller; here, that each
// control of the page reaches it.
TEST_F(WindowFixture, StepperPageFollowsItsControlsWhileRunning) {
  constexpr int kPage = pages::kTabStepperTest;
  testing::WriteRecorder line;
  ports_ = {{"pty", line.Path()}};
  NewWindow();
  Window().show();
  Set(kMain, ids::window::kBaudList, "115200");
  Window().OnPortOrBaudChange();
  SelectTab(kPage);
  QTest::mouseClick(Get<QPushButton>(kPage, kBeginStop), Qt::LeftButton);
  EXPECT_EQ(Sent(line), std::vector<std::string>{"FF 01 3F 3F 01 FF 08 12 FF FF FF 7F 64 C4 09 C6 05"});
  EXPECT_EQ(Value(kPage, kBeginStop), "Stop");

  QSlider* frequency = Get<QSlider>(kPage, stepper::kFrequencySlider);
  frequency->setSliderDown(true);  // a user's drag
  frequency->setSliderPosition(4000);
  EXPECT_EQ(Sent(line), std::vector<std::string>{StepperUpdate(4000, 100)});
  frequency->setSliderDown(false);
  EXPECT_TRUE(Sent(line).empty()) << "the end of a drag sends nothing";
  EXPECT_EQ(Value(kPage, stepper::kFrequency), "4000");

  // Typing changes nothing until the edit loses the focus.
  auto* dutyEdit = Get<QLineEdit>(kPage, stepper::kDuty);
  dutyEdit->clear();
  QTest::keyClicks(dutyEdit, "40");
  EXPECT_TRUE(Sent(line).empty());
  EXPECT_EQ(Get<QSlider>(kPage, stepper::kDutySlider)->value(), 100);
  QFocusEvent focusOut(QEvent::FocusOut, Qt::TabFocusReason);
  QApplication::sendEvent(dutyEdit, &focusOut);
  EXPECT_EQ(Sent(line), std::vector<std::string>{StepperUpdate(4000, 40)});
  EXPECT_EQ(Get<QSlider>(kPage, stepper::kDutySlider)->value(), 40);

  Set(kPage, stepper::kReverse, "");
  EXPECT_EQ(Sent(line).size(), 1u) << "Reverse while running is sent with unchanged values";

  // Another tab neither stops the motor nor changes the label; leaving the program sends nothing either.
  SelectTab(pages::kTabCmd00);
  SelectTab(kPage);
  EXPECT_EQ(Value(kPage, kBeginStop), "Stop");
  window_.reset();
  EXPECT_TRUE(Sent(line).empty());
}

// However the window closes during a live test, the board hears the stop frame
// before the port is let go.
struct CloseCase {
  const char* name;
  int tab;
  std::function<void(app::CTarnwickDlg&)> close;
};

class CloseDuringLiveTest : public WindowFixture, public ::testing::WithParamInterface<CloseCase> {};

TEST_P(CloseDuringLiveTest, SendsTheStopFrame) {
  const CloseCase& row = GetParam();
  const std::string stop = link::FormatHexDump(bench::StopFrame());
  Window().show();
  QApplication::setActiveWindow(&Window());
  SelectTab(row.tab);
  Set(row.tab, kBeginStop, "");
  ASSERT_EQ(Value(row.tab, kBeginStop), "Stop");
  const std::size_t beforeClose = Heard(1).size();
  ASSERT_NE(Heard().back(), stop);

  row.close(Window());
  EXPECT_TRUE(QTest::qWaitFor([&] { return !Window().isVisible(); }, 5000));
  const std::vector<std::string> heard = Heard(beforeClose + 1);
  ASSERT_EQ(heard.size(), beforeClose + 1);
  EXPECT_EQ(heard.back(), stop);
  EXPECT_EQ(Value(row.tab, kBeginStop), "Begin");

  Window().show();
  Window().reject();
  EXPECT_EQ(Heard().size(), beforeClose + 1) << "a stopped test sends nothing more";
}

INSTANTIATE_TEST_SUITE_P(
    Ways, CloseDuringLiveTest,
    ::testing::Values(
        CloseCase{"StepperWindowManager", pages::kTabStepperTest, [](app::CTarnwickDlg& w) { w.close(); }},
        CloseCase{"DcEscape", pages::kTabDcTest,
                  [](app::CTarnwickDlg& w) { QTest::keyClick(w.Controls().find(ids::window::kAddress), Qt::Key_Escape); }}),
    testing::RowName{});

}  // namespace
}  // namespace tarnwick::gui_test
