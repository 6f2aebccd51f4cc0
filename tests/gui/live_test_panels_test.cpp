// The Stepper Test and D-C Test pages inside the main window, offscreen, against a
// pseudo-terminal that records every write.

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFocusEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QTest>
#include <memory>
#include <string>
#include <vector>

#include "app/tarnwick_dlg.h"
#include "link/baud_rates.h"
#include "link/hex_text.h"
#include "link/transaction.h"
#include "panels/live_test_logic.h"
#include "res/tab_strip.h"
#include "sim/board_server.h"
#include "testing/write_recorder.h"

namespace tarnwick::gui_test {
namespace {

class QtEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    static int argc = 1;
    static char name[] = "live_test_panels_tests";
    static char* argv[] = {name, nullptr};
    app_ = std::make_unique<QApplication>(argc, argv);
  }
  void TearDown() override { app_.reset(); }

 private:
  std::unique_ptr<QApplication> app_;
};
const auto* const kQt = ::testing::AddGlobalTestEnvironment(new QtEnvironment);

constexpr int kBaudIndex115200 = 6;

std::string StepperUpdate(int frequency, int duty) {
  const panels::StepperTestFields fields{std::to_string(frequency), std::to_string(duty), false};
  return link::FormatHexDump(panels::BuildStepperTestSend(fields, false, true, {}).bytes);
}

class LivePanelsTest : public ::testing::Test {
 protected:
  void OpenWindow(std::vector<link::PortEntry> ports) {
    window_ = std::make_unique<app::CTarnwickDlg>([ports] { return ports; });
    window_->show();
    auto* baud = window_->Controls().get<QComboBox>(1002);
    baud->setCurrentIndex(baud->findData(kBaudIndex115200));
    window_->OnPortOrBaudChange();
  }
  void SelectTab(int tab) { window_->Controls().get<res::TabStrip>(1000)->setCurrentIndex(tab); }
  template <class W>
  W* Control(int tab, int id) {
    return window_->Panel(tab).controls().get<W>(id);
  }
  QSlider* StepperSlider(int id) { return Control<QSlider>(link::kTabStepperTest, id); }
  QLineEdit* StepperEdit(int id) { return Control<QLineEdit>(link::kTabStepperTest, id); }
  QPushButton* BeginStop(int tab) { return Control<QPushButton>(tab, 1028); }

  std::vector<std::string> Sent() {
    std::vector<std::string> dumps;
    for (const auto& write : line_.Take(1, 30)) dumps.push_back(link::FormatHexDump(write.bytes));
    return dumps;
  }

  // What a user's drag produces: the thumb pressed, moved through positions, let go.
  std::vector<std::vector<std::string>> Drag(QSlider* slider, const std::vector<int>& positions) {
    std::vector<std::vector<std::string>> sent;
    slider->setSliderDown(true);
    for (int position : positions) {
      slider->setSliderPosition(position);
      sent.push_back(Sent());
    }
    slider->setSliderDown(false);
    sent.push_back(Sent());
    return sent;
  }

  testing::WriteRecorder line_;
  std::unique_ptr<app::CTarnwickDlg> window_;
};

TEST_F(LivePanelsTest, TrackbarsStartInStepWithTheirEdits) {
  OpenWindow({});
  struct Row {
    int tab, sliderId, editId;
    Qt::Orientation orientation;
    int maximum, tickInterval, pageStep, value;
  };
  const Row rows[] = {
      {link::kTabStepperTest, 1025, 1024, Qt::Horizontal, 10000, 500, 100, 2500},
      {link::kTabStepperTest, 1027, 1026, Qt::Horizontal, 100, 5, 10, 100},
      {link::kTabDcTest, 1033, 1030, Qt::Vertical, 80000, 4000, 100, 10000},
      {link::kTabDcTest, 1032, 1031, Qt::Vertical, 100, 5, 10, 100},
      {link::kTabDcTest, 1034, 1035, Qt::Vertical, 80000, 4000, 100, 10000},
      {link::kTabDcTest, 1037, 1036, Qt::Vertical, 100, 5, 10, 100},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.sliderId);
    const QSlider* slider = Control<QSlider>(row.tab, row.sliderId);
    EXPECT_EQ(slider->orientation(), row.orientation);
    EXPECT_FALSE(slider->invertedAppearance()) << "a vertical trackbar shows its largest value at the top";
    EXPECT_EQ(slider->minimum(), 0);
    EXPECT_EQ(slider->maximum(), row.maximum);
    EXPECT_EQ(slider->tickInterval(), row.tickInterval);
    EXPECT_EQ(slider->pageStep(), row.pageStep);
    EXPECT_EQ(slider->value(), row.value);
    EXPECT_EQ(Control<QLineEdit>(row.tab, row.editId)->text().toInt(), row.value);
    EXPECT_EQ(BeginStop(row.tab)->text(), "Begin");
  }
}

TEST_F(LivePanelsTest, StepperPageFollowsItsControlsWhileRunning) {
  OpenWindow({{"pty", line_.Path()}});
  SelectTab(link::kTabStepperTest);
  QSlider* freq = StepperSlider(1025);
  QLineEdit* freqEdit = StepperEdit(1024);

  QTest::mouseClick(BeginStop(link::kTabStepperTest), Qt::LeftButton);
  EXPECT_EQ(Sent(), std::vector<std::string>{"FF 01 3F 3F 01 FF 08 12 FF FF FF 7F 64 C4 09 C6 05"});
  EXPECT_EQ(BeginStop(link::kTabStepperTest)->text(), "Stop");

  const auto dragged = Drag(freq, {3000, 0, 4000});
  const std::vector<std::vector<std::string>> expected = {
      {StepperUpdate(3000, 100)}, {}, {StepperUpdate(4000, 100)}, {}};
  EXPECT_EQ(dragged, expected) << "frequency 0 and the end of the drag send nothing";
  EXPECT_EQ(freqEdit->text(), "4000");

  freq->setFocus();
  QTest::keyClick(freq, Qt::Key_PageUp);
  EXPECT_EQ(Sent(), std::vector<std::string>{StepperUpdate(4100, 100)});
  EXPECT_EQ(freqEdit->text(), "4100");

  // Typing changes nothing until the edit loses the focus.
  QLineEdit* dutyEdit = StepperEdit(1026);
  dutyEdit->setText("");
  QTest::keyClicks(dutyEdit, "40");
  EXPECT_TRUE(Sent().empty());
  EXPECT_EQ(StepperSlider(1027)->value(), 100);
  QFocusEvent focusOut(QEvent::FocusOut, Qt::TabFocusReason);
  QApplication::sendEvent(dutyEdit, &focusOut);
  EXPECT_EQ(Sent(), std::vector<std::string>{StepperUpdate(4100, 40)});
  EXPECT_EQ(StepperSlider(1027)->value(), 40);

  QTest::mouseClick(Control<QCheckBox>(link::kTabStepperTest, 1019), Qt::LeftButton);
  EXPECT_EQ(Sent().size(), 1u) << "Reverse while running is sent with unchanged values";

  // Another tab neither stops the motor nor changes the label; leaving the
  // program sends nothing either.
  SelectTab(link::kTabCmd00);
  SelectTab(link::kTabStepperTest);
  EXPECT_EQ(BeginStop(link::kTabStepperTest)->text(), "Stop");
  window_.reset();
  EXPECT_TRUE(Sent().empty());
}

// What the board's state looks like through the window's own query tabs.
TEST_F(LivePanelsTest, BothPagesDriveTheSimulatedBoard) {
  sim::BoardState fast;
  fast.baudIndex = kBaudIndex115200;
  const auto board = sim::BoardServer::OnPseudoTerminal(fast);
  OpenWindow({{"sim0", board->PortPath()}});
  window_->Controls().get<QLineEdit>(1003)->setText("01");
  const auto query = [&](int tab, int id) {
    SelectTab(tab);
    window_->OnOK();
    return Control<QLineEdit>(tab, id)->text().toStdString();
  };
  const auto dragTo = [](QSlider* slider, int value) {
    slider->setSliderDown(true);
    slider->setSliderPosition(value);
    slider->setSliderDown(false);
  };

  SelectTab(link::kTabStepperTest);
  QTest::mouseClick(BeginStop(link::kTabStepperTest), Qt::LeftButton);
  dragTo(StepperSlider(1025), 6000);
  dragTo(StepperSlider(1027), 35);
  EXPECT_EQ(query(link::kTabCmd13, 1021), "6000");
  EXPECT_EQ(Control<QLineEdit>(link::kTabCmd13, 1022)->text(), "35");

  SelectTab(link::kTabCmd42);
  auto* motorType = Control<QComboBox>(link::kTabCmd42, 1004);
  motorType->setCurrentIndex(motorType->findText("D-C"));
  window_->OnOK();
  SelectTab(link::kTabDcTest);
  QTest::mouseClick(BeginStop(link::kTabDcTest), Qt::LeftButton);
  dragTo(Control<QSlider>(link::kTabDcTest, 1032), 40);
  QTest::mouseClick(Control<QCheckBox>(link::kTabDcTest, 1010), Qt::LeftButton);
  EXPECT_EQ(query(link::kTabCmd24, 1017), "+40");
  EXPECT_EQ(Control<QLineEdit>(link::kTabCmd24, 1018)->text(), "-100");

  SelectTab(link::kTabDcTest);
  QTest::mouseClick(BeginStop(link::kTabDcTest), Qt::LeftButton);
  EXPECT_EQ(BeginStop(link::kTabDcTest)->text(), "Begin");
  EXPECT_EQ(query(link::kTabCmd24, 1017), "0");
}

TEST_F(LivePanelsTest, WithoutAPortBeginDoesNothing) {
  OpenWindow({});
  for (int tab : {link::kTabStepperTest, link::kTabDcTest}) {
    SelectTab(tab);
    QTest::mouseClick(BeginStop(tab), Qt::LeftButton);
    EXPECT_EQ(BeginStop(tab)->text(), "Begin");
  }
  EXPECT_TRUE(Sent().empty());
}

}  // namespace
}  // namespace tarnwick::gui_test
