// Send from every command tab against the simulated board: the exact frame the
// board hears, the result line, and what the reply fills in.

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <functional>

#include "window_fixture.h"

namespace tarnwick::gui_test {
namespace {

using link::Tab;

class ExchangeTest;

sim::Fault FaultOf(sim::FaultKind kind, std::uint8_t errorCode = 2) {
  sim::Fault fault;
  fault.kind = kind;
  fault.errorCode = errorCode;
  return fault;
}

struct ExchangeCase {
  const char* name;
  int tab;
  const char* address;
  bool replyWanted;
  std::function<void(ExchangeTest&)> arrange;  // fields, board state, faults
  const char* heard;                            // "" when nothing should reach the board
  const char* result;
  std::function<void(ExchangeTest&)> verify;   // what the reply filled in; may be empty
};

class ExchangeTest : public WindowFixture, public ::testing::WithParamInterface<ExchangeCase> {
 public:
  void Type(int tab, int id, const char* text) { PanelControl<QLineEdit>(tab, id)->setText(QString::fromUtf8(text)); }
  void Check(int tab, int id) { PanelControl<QAbstractButton>(tab, id)->click(); }
  QString Shown(int tab, int id) { return PanelControl<QLineEdit>(tab, id)->text(); }
  void SetBoard(const std::function<void(sim::BoardState&)>& change) {
    sim::BoardState state = board_->State();
    change(state);
    board_->SetState(state);
  }
  // A board set up for stepper refuses the D-C commands.
  void DriveDcMotors() {
    SetBoard([](sim::BoardState& s) { s.motorType = sim::MotorType::DC; });
  }
};

void PrintTo(const ExchangeCase& c, std::ostream* os) { *os << c.name; }

const ExchangeCase kCases[] = {
    {"Cmd00AlwaysAsksAndTakesTheAddress", link::kTabCmd00, "FF", true, nullptr, "FF 01 80 80 01", "Success",
     [](ExchangeTest& t) { EXPECT_EQ(t.MainControl<QLineEdit>(1003)->text(), "01"); }},
    {"Cmd11Defaults", link::kTabCmd11, "01", true, nullptr, "01 05 91 70 17 00 00 1E 01", "Success", nullptr},
    {"Cmd11NotLimitReverseBroadcast", link::kTabCmd11, "FF", true,
     [](ExchangeTest& t) {
       t.Type(link::kTabCmd11, 1018, "not a number");
       t.Check(link::kTabCmd11, 1020);
       t.Check(link::kTabCmd11, 1019);
     },
     "FF 05 11 FF FF FF FF 11 05", "", nullptr},
    {"Cmd12ReverseDutyFrequency", link::kTabCmd12, "01", true,
     [](ExchangeTest& t) {
       t.Check(link::kTabCmd12, 1019);
       t.Type(link::kTabCmd12, 1022, "50");
       t.Type(link::kTabCmd12, 1021, "1000");
     },
     "01 08 92 40 1F 00 80 32 E8 03 97 02", "Success", nullptr},
    {"Cmd13ShowsTheStepperStatus", link::kTabCmd13, "01", true,
     [](ExchangeTest& t) {
       t.SetBoard([](sim::BoardState& s) {
         s.stepWord = 0x80001770;
         s.stepperDuty = 50;
         s.stepperFrequency = 1000;
       });
     },
     "01 01 93 95 00", "Success",
     [](ExchangeTest& t) {
       EXPECT_TRUE(t.PanelControl<QCheckBox>(link::kTabCmd13, 1019)->isChecked());
       EXPECT_EQ(t.Shown(link::kTabCmd13, 1018), "6000");
       EXPECT_EQ(t.Shown(link::kTabCmd13, 1022), "50");
       EXPECT_EQ(t.Shown(link::kTabCmd13, 1021), "1000");
     }},
    {"Cmd13FailedKeepsTheFields", link::kTabCmd13, "01", true,
     [](ExchangeTest& t) {
       t.board_->SetFault(FaultOf(sim::FaultKind::FailedStatus));
       t.Type(link::kTabCmd13, 1018, "earlier");
     },
     "01 01 93 95 00", "Failed",
     [](ExchangeTest& t) { EXPECT_EQ(t.Shown(link::kTabCmd13, 1018), "earlier"); }},
    {"Cmd21LeftReverseBroadcast", link::kTabCmd21, "", true,
     [](ExchangeTest& t) {
       t.Type(link::kTabCmd21, 1006, " 50 ");
       t.Check(link::kTabCmd21, 1009);
       t.Type(link::kTabCmd21, 1008, "100");
     },
     "FF 03 21 CE 64 55 02", "", nullptr},
    {"Cmd22ShortBrakeAndReversal", link::kTabCmd22, "01", true,
     [](ExchangeTest& t) {
       t.DriveDcMotors();
       t.Check(link::kTabCmd22, 1016);
       t.Check(link::kTabCmd22, 1014);
     },
     "01 02 A2 23 C8 00", "Success", nullptr},
    {"Cmd23BothMotors", link::kTabCmd23, "01", true,
     [](ExchangeTest& t) {
       t.DriveDcMotors();
       t.Type(link::kTabCmd23, 1005, "1000");
       t.Type(link::kTabCmd23, 1006, "50");
       t.Type(link::kTabCmd23, 1007, "2000");
       t.Type(link::kTabCmd23, 1008, "30");
     },
     "01 07 A3 32 1E E8 03 D0 07 BD 02", "Success", nullptr},
    {"Cmd24ReadsEvenWithoutRes", link::kTabCmd24, "01", false,
     [](ExchangeTest& t) {
       t.SetBoard([](sim::BoardState& s) {
         s.motorType = sim::MotorType::DC;
         s.left.duty = 50;
         s.right.duty = -50;
       });
     },
     "01 01 24 26 00", "Success",
     [](ExchangeTest& t) {
       EXPECT_EQ(t.Shown(link::kTabCmd24, 1017), "+50");
       EXPECT_EQ(t.Shown(link::kTabCmd24, 1018), "-50");
     }},
    {"Cmd38", link::kTabCmd38, "01", true, nullptr, "01 01 B8 BA 00", "Success", nullptr},
    {"Cmd3FBroadcastReadsNothing", link::kTabCmd3F, "FF", true, nullptr, "FF 01 3F 3F 01", "", nullptr},
    {"Cmd3FFailed", link::kTabCmd3F, "01", true,
     [](ExchangeTest& t) { t.board_->SetFault(FaultOf(sim::FaultKind::FailedStatus)); }, "01 01 BF C1 00", "Failed",
     nullptr},
    {"DeviceErrorText", link::kTabCmd3F, "01", true,
     [](ExchangeTest& t) { t.board_->SetFault(FaultOf(sim::FaultKind::DeviceError, 2)); }, "01 01 BF C1 00",
     "Data Check Error", nullptr},
    {"NoAnswer", link::kTabCmd38, "01", true, [](ExchangeTest& t) { t.board_->SetFault(FaultOf(sim::FaultKind::NoReply)); },
     "01 01 B8 BA 00", "No response data",
     [](ExchangeTest& t) { EXPECT_EQ(t.MainControl<QLineEdit>(1005)->text(), ""); }},
    {"BadChecksum", link::kTabCmd38, "01", true,
     [](ExchangeTest& t) { t.board_->SetFault(FaultOf(sim::FaultKind::BadChecksum)); }, "01 01 B8 BA 00",
     "Data recv Error", [](ExchangeTest& t) { EXPECT_NE(t.MainControl<QLineEdit>(1005)->text(), ""); }},
    {"Cmd40MovesTheAddressField", link::kTabCmd40, "01", true, nullptr, "01 02 C0 58 1B 01", "Success",
     [](ExchangeTest& t) { EXPECT_EQ(t.MainControl<QLineEdit>(1003)->text(), "58"); }},
    {"Cmd41MovesTheBaudList", link::kTabCmd41, "01", true,
     [](ExchangeTest& t) { t.PanelControl<QComboBox>(link::kTabCmd41, 1002)->setCurrentIndex(6); },
     "01 02 C1 06 CA 00", "Success",
     [](ExchangeTest& t) {
       EXPECT_EQ(t.MainControl<QComboBox>(1002)->currentText(), "115200");
       EXPECT_EQ(t.Window().GetSelectedBaudRate(), 115200);
     }},
    {"Cmd42DcDefaultsBroadcast", link::kTabCmd42, "FF", true,
     [](ExchangeTest& t) { t.PanelControl<QComboBox>(link::kTabCmd42, 1004)->setCurrentIndex(1); },
     "FF 08 42 02 64 64 C4 09 50 C3 F3 03", "", nullptr},
    {"Cmd43ShowsTheDcSetup", link::kTabCmd43, "01", true,
     [](ExchangeTest& t) {
       t.SetBoard([](sim::BoardState& s) {
         s.motorType = sim::MotorType::DC;
         s.setup = {2, 60, 40, 0xA8, 0x61, 0xE8, 0x03};
       });
     },
     "01 01 C3 C5 00", "Success",
     [](ExchangeTest& t) {
       EXPECT_EQ(t.Shown(link::kTabCmd43, 1009), "D-C");
       EXPECT_EQ(t.Shown(link::kTabCmd43, 1013), "25000");
       EXPECT_EQ(t.Shown(link::kTabCmd43, 1014), "60");
       EXPECT_EQ(t.Shown(link::kTabCmd43, 1015), "1000");
       EXPECT_EQ(t.Shown(link::kTabCmd43, 1016), "40");
     }},
    {"LiveTestTabSendsNothing", link::kTabStepperTest, "01", true, nullptr, "", "",
     [](ExchangeTest& t) { EXPECT_EQ(t.MainControl<QLineEdit>(1004)->text(), ""); }},
};

TEST_P(ExchangeTest, FrameResultAndDisplay) {
  const ExchangeCase& c = GetParam();
  SelectTab(c.tab);
  MainControl<QLineEdit>(1003)->setText(QString::fromUtf8(c.address));
  MainControl<QCheckBox>(1006)->setChecked(c.replyWanted);
  if (c.arrange) c.arrange(*this);

  MainControl<QPushButton>(1)->click();

  const bool expectFrame = *c.heard != '\0';
  const std::vector<std::string> heard = Heard(expectFrame ? 1 : 0);
  if (expectFrame) {
    ASSERT_EQ(heard.size(), 1u);
    EXPECT_EQ(heard[0], c.heard);
    EXPECT_EQ(MainControl<QLineEdit>(1004)->text().toStdString(), c.heard);
  } else {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_TRUE(Heard().empty());
  }
  EXPECT_EQ(MainControl<QLabel>(1007)->text().toStdString(), c.result);
  if (c.verify) c.verify(*this);
}

INSTANTIATE_TEST_SUITE_P(EveryTab, ExchangeTest, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

// The message box for a refused field: its texts, its one button, and nothing sent.
TEST_F(WindowFixture, RefusedFieldShowsTheMessageBoxAndSendsNothing) {
  SelectTab(link::kTabCmd12);
  PanelControl<QLineEdit>(link::kTabCmd12, 1022)->setText("101");
  MainControl<QLineEdit>(1003)->setText("01");

  QString caption, text;
  int buttons = -1;
  QWidget* owner = nullptr;
  QTimer::singleShot(0, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    ASSERT_NE(box, nullptr);
    caption = box->windowTitle();
    text = box->text();
    buttons = static_cast<int>(box->buttons().size());
    owner = box->parentWidget();
    box->button(QMessageBox::Ok)->click();
  });
  Window().show();
  MainControl<QPushButton>(1)->click();

  EXPECT_EQ(caption, "Error");
  EXPECT_EQ(text, "Invalid or Missing Parameter");
  EXPECT_EQ(buttons, 1);
  EXPECT_EQ(owner, &Window());
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_TRUE(Heard().empty());
  EXPECT_EQ(MainControl<QLineEdit>(1004)->text(), "");
  EXPECT_EQ(PanelControl<QLineEdit>(link::kTabCmd12, 1022)->text(), "101");
}

// After a CMD41 reply the board listens at the new rate, and the window follows it.
TEST_F(WindowFixture, NextExchangeUsesTheRateTheBoardMovedTo) {
  SelectTab(link::kTabCmd41);
  MainControl<QLineEdit>(1003)->setText("01");
  PanelControl<QComboBox>(link::kTabCmd41, 1002)->setCurrentIndex(4);
  MainControl<QPushButton>(1)->click();
  ASSERT_EQ(MainControl<QLabel>(1007)->text(), "Success");

  SelectTab(link::kTabCmd38);
  MainControl<QPushButton>(1)->click();
  EXPECT_EQ(MainControl<QLabel>(1007)->text(), "Success");
  EXPECT_EQ(board_->State().baudIndex, 4);
}

}  // namespace
}  // namespace tarnwick::gui_test
