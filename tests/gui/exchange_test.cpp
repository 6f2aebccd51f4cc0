// Send from every command tab against the simulated board: the exact frame the
// board hears, the result line, and what the reply fills in. Every result text and
// reply edge case is pinned down one layer below; here each tab proves its wiring.

#include <QCheckBox>
#include <QMessageBox>
#include <QTimer>
#include <functional>

#include "testing/cli_run.h"
#include "window_fixture.h"

namespace tarnwick::gui_test {
namespace {

namespace ids = pages::ids;
namespace window = ids::window;
namespace stepper = ids::stepper;
namespace parameters = ids::parameters;

constexpr int kThisPage = -2;

struct Field {
  int id;
  const char* value;  // see Set and Value
  int tab = kThisPage;  // or kMain for the window's own controls
};

struct ExchangeCase {
  const char* name;
  int tab;
  const char* address;
  const char* heard;  // "" when nothing should reach the board
  const char* result;
  std::vector<Field> typed = {};
  std::vector<Field> shown = {};  // what the reply filled in
  std::function<void(sim::BoardState&)> board = nullptr;
  const char* fault = nullptr;
  bool replyWanted = true;
};

class ExchangeTest : public WindowFixture, public ::testing::WithParamInterface<ExchangeCase> {};

void DcMotors(sim::BoardState& s) { s.motorType = link::kMotorDc; }

const ExchangeCase kCases[] = {
    {"Cmd00TakesTheAddress", pages::kTabCmd00, "FF", "FF 01 80 80 01", "Success", {}, {{window::kAddress, "01", kMain}}},
    {"Cmd11NotLimitIgnoresTheStepCount", pages::kTabCmd11, "FF", "FF 05 11 FF FF FF FF 11 05", "",
     {{stepper::kStepCount, "not a number"}, {stepper::kNotLimit, ""}, {stepper::kReverse, ""}}},
    {"Cmd12", pages::kTabCmd12, "01", "01 08 92 40 1F 00 80 32 E8 03 97 02", "Success",
     {{stepper::kReverse, ""}, {stepper::kPulseDuty, "50"}, {stepper::kFrequency, "1000"}}},
    {"Cmd13ShowsTheStepperStatus", pages::kTabCmd13, "01", "01 01 93 95 00", "Success", {},
     {{stepper::kReverse, "checked"}, {stepper::kStepCount, "6000"}, {stepper::kPulseDuty, "50"},
      {stepper::kFrequency, "1000"}},
     [](sim::BoardState& s) {
       s.Store("step-count", 6000);
       s.Store("reverse", 1);
       s.Store("pulse-duty", 50);
       s.Store("frequency", 1000);
     }},
    {"Cmd13FailedKeepsTheFields", pages::kTabCmd13, "01", "01 01 93 95 00", "Failed",
     {{stepper::kStepCount, "earlier"}}, {{stepper::kStepCount, "earlier"}}, nullptr, "failed-status"},
    {"Cmd21EmptyAddressBroadcasts", pages::kTabCmd21, "", "FF 03 21 CE 3C 2D 02", "",
     {{ids::cmd21::kLeftDuty, " 50 "}, {ids::cmd21::kLeftReverse, ""}}},
    {"Cmd24ReadsEvenWithoutRes", pages::kTabCmd24, "01", "01 01 24 26 00", "Success", {},
     {{ids::cmd24::kLeft, "+50"}, {ids::cmd24::kRight, "-50"}},
     [](sim::BoardState& s) {
       DcMotors(s);
       s.Store("left-duty", 50);
       s.Store("right-duty", static_cast<std::uint8_t>(-50));
     },
     nullptr, false},
    {"Cmd38BadChecksumShowsWhatCame", pages::kTabCmd38, "01", "01 01 B8 BA 00", "Data recv Error", {},
     {{window::kRecvData, "01 02 38 00 61 00", kMain}}, nullptr, "bad-checksum"},
    {"Cmd41MovesTheBaudList", pages::kTabCmd41, "01", "01 02 C1 04 C8 00", "Success", {{ids::cmd41::kBaudrate, "38400"}},
     {{window::kBaudList, "38400", kMain}}},
    {"Cmd40MovesTheAddressField", pages::kTabCmd40, "01", "01 02 C0 58 1B 01", "Success", {}, {{window::kAddress, "58", kMain}}},
    {"Cmd42DcBroadcast", pages::kTabCmd42, "FF", "FF 08 42 02 64 64 C4 09 50 C3 F3 03", "", {{parameters::kMotorType, "D-C"}}},
    {"Cmd43ShowsTheDcSetup", pages::kTabCmd43, "01", "01 01 C3 C5 00", "Success", {},
     {{ids::cmd43::kMotorType, "D-C"}, {ids::cmd43::kLeftFrequency, "25000"}, {ids::cmd43::kLeftPulseDuty, "60"},
      {ids::cmd43::kRightFrequency, "1000"}, {ids::cmd43::kRightPulseDuty, "40"}},
     [](sim::BoardState& s) {
       DcMotors(s);
       s.setup = {2, 60, 40, 0xA8, 0x61, 0xE8, 0x03};
     }},
    {"LiveTestTabSendsNothing", pages::kTabStepperTest, "01", "", ""},
};

TEST_P(ExchangeTest, FrameResultAndDisplay) {
  const ExchangeCase& c = GetParam();
  const auto tabOf = [&](const Field& f) { return f.tab == kThisPage ? c.tab : f.tab; };
  SelectTab(c.tab);
  Set(kMain, window::kAddress, c.address);
  Get<QCheckBox>(kMain, window::kReply)->setChecked(c.replyWanted);
  for (const Field& f : c.typed) Set(tabOf(f), f.id, f.value);
  sim::BoardState state = board_->State();
  if (c.board) c.board(state);
  board_->SetState(state);
  if (c.fault) board_->SetFault(sim::ParseFault(c.fault).value());

  Send();

  // Send waits until the window shows the exchange, so a frame sent would be heard by now.
  const bool expectFrame = *c.heard != '\0';
  EXPECT_EQ(Heard(expectFrame ? 1 : 0), expectFrame ? std::vector<std::string>{c.heard} : std::vector<std::string>{});
  EXPECT_EQ(Value(kMain, window::kSendData), c.heard);
  EXPECT_EQ(Result(), c.result);
  for (const Field& f : c.shown) EXPECT_EQ(Value(tabOf(f), f.id), f.value) << "control " << f.id;
}

INSTANTIATE_TEST_SUITE_P(EveryTab, ExchangeTest, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

// A refused field: the box names it and what it takes in the command line's words
// for the same value, and nothing is sent.
TEST_F(WindowFixture, ARefusedFieldsBoxNamesItAsTheCommandLineDoes) {
  struct Row {
    int id;
    const char* option;  // "send cmd23 --option"
    const char* typed;
  };
  // Out of range, and missing; each kind's wording is pinned with the command line.
  const Row rows[] = {{parameters::kLeftPulseDuty, "cmd23 --left-pulse-duty", "101"},
                      {parameters::kRightFrequency, "cmd23 --right-frequency", ""}};
  std::string caption, text, detail;
  QTimer answer;  // the box comes once the exchange has closed the port
  answer.callOnTimeout([&] {
    if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
      caption = box->windowTitle().toStdString();
      text = box->text().toStdString();
      detail = box->informativeText().toStdString();
      box->button(QMessageBox::Ok)->click();
    }
  });
  answer.start(10);
  Window().show();
  Set(kMain, window::kAddress, "01");
  SelectTab(pages::kTabCmd23);
  for (const Row& row : rows) {
    SCOPED_TRACE(row.option);
    caption = text = detail = "";
    const std::string before = Value(pages::kTabCmd23, row.id);
    Set(pages::kTabCmd23, row.id, row.typed);
    Send();
    Set(pages::kTabCmd23, row.id, before.c_str());
    EXPECT_EQ(caption, link::kInvalidParameterCaption);
    EXPECT_EQ(text, "Invalid or Missing Parameter");
    const auto cli = testing::RunCli(std::string("send ") + row.option + " '" + row.typed + "'", true);
    EXPECT_EQ(cli.status, 2);
    EXPECT_EQ(cli.out, "tarnwick-cli: " + detail + "\n");
  }
  EXPECT_TRUE(Heard().empty());
}

// A board gone: the result line stays empty as for any port that will not open, a
// notice says why, the Log button is marked until the log is opened, and the values
// the last reply showed are kept but marked stale; the next Send that reaches a
// board clears the notice and the marks.
TEST_F(WindowFixture, ASendThatReachesNoBoardSaysWhyAndMarksOldValuesStale) {
  sim::BoardState state;
  state.Store("step-count", 6000);
  board_->SetState(state);
  ports_.push_back({"gone", "/dev/tarnwick-gone"});
  NewWindow();
  auto* stepCount = Get<QLineEdit>(pages::kTabCmd13, pages::ids::stepper::kStepCount);
  auto* notice = Get<QLabel>(kMain, pages::ids::window::kNotice);
  const auto sendVia = [&](const char* port) {
    Set(kMain, pages::ids::window::kPortList, port);
    SendOn(pages::kTabCmd13, "01");
  };
  sendVia("sim0");
  ASSERT_EQ(Result(), "Success");
  sendVia("gone");
  EXPECT_EQ(Result(), "");
  EXPECT_EQ(Value(kMain, pages::ids::window::kSendData), "");
  EXPECT_TRUE(notice->text().startsWith("Not sent: cannot open /dev/tarnwick-gone")) << notice->text().toStdString();
  EXPECT_EQ(stepCount->text(), "6000");
  EXPECT_TRUE(stepCount->property("stale").toBool());
  EXPECT_EQ(Value(kMain, pages::ids::window::kLog), app::kLogButtonUnreadText);
  Set(kMain, pages::ids::window::kLog, "click");
  EXPECT_EQ(Value(kMain, pages::ids::window::kLog), app::kLogButtonText);
  sendVia("sim0");
  EXPECT_EQ(Result(), "Success");
  EXPECT_EQ(notice->text(), "");
  EXPECT_FALSE(stepCount->property("stale").toBool());
}

}  // namespace
}  // namespace tarnwick::gui_test
