// Send from every command tab against the simulated board: the exact frame the
// board hears, the result line, and what the reply fills in. Every result text and
// reply edge case is pinned down one layer below; here each tab proves its wiring.

#include <QCheckBox>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <functional>

#include "window_fixture.h"

namespace tarnwick::gui_test {
namespace {

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

void PrintTo(const ExchangeCase& c, std::ostream* os) { *os << c.name; }

void DcMotors(sim::BoardState& s) { s.motorType = sim::MotorType::DC; }

const ExchangeCase kCases[] = {
    {"Cmd00TakesTheAddress", link::kTabCmd00, "FF", "FF 01 80 80 01", "Success", {}, {{1003, "01", kMain}}},
    {"Cmd11Defaults", link::kTabCmd11, "01", "01 05 91 70 17 00 00 1E 01", "Success"},
    {"Cmd11NotLimitIgnoresTheStepCount", link::kTabCmd11, "FF", "FF 05 11 FF FF FF FF 11 05", "",
     {{1018, "not a number"}, {1020, ""}, {1019, ""}}},
    {"Cmd12", link::kTabCmd12, "01", "01 08 92 40 1F 00 80 32 E8 03 97 02", "Success",
     {{1019, ""}, {1022, "50"}, {1021, "1000"}}},
    {"Cmd13ShowsTheStepperStatus", link::kTabCmd13, "01", "01 01 93 95 00", "Success", {},
     {{1019, "checked"}, {1018, "6000"}, {1022, "50"}, {1021, "1000"}},
     [](sim::BoardState& s) {
       s.stepWord = 0x80001770;
       s.stepperDuty = 50;
       s.stepperFrequency = 1000;
     }},
    {"Cmd13FailedKeepsTheFields", link::kTabCmd13, "01", "01 01 93 95 00", "Failed", {{1018, "earlier"}},
     {{1018, "earlier"}}, nullptr, "failed-status"},
    {"Cmd21EmptyAddressBroadcasts", link::kTabCmd21, "", "FF 03 21 CE 3C 2D 02", "", {{1006, " 50 "}, {1009, ""}}},
    {"Cmd22", link::kTabCmd22, "01", "01 02 A2 23 C8 00", "Success", {{1016, ""}, {1014, ""}}, {}, DcMotors},
    {"Cmd23", link::kTabCmd23, "01", "01 07 A3 32 64 E8 03 A8 61 35 03", "Success", {{1005, "1000"}, {1006, "50"}},
     {}, DcMotors},
    {"Cmd24ReadsEvenWithoutRes", link::kTabCmd24, "01", "01 01 24 26 00", "Success", {}, {{1017, "+50"}, {1018, "-50"}},
     [](sim::BoardState& s) {
       DcMotors(s);
       s.left.duty = 50;
       s.right.duty = -50;
     },
     nullptr, false},
    {"Cmd38BadChecksumShowsWhatCame", link::kTabCmd38, "01", "01 01 B8 BA 00", "Data recv Error", {},
     {{1005, "01 02 38 00 61 00", kMain}}, nullptr, "bad-checksum"},
    {"Cmd3FBroadcastReadsNothing", link::kTabCmd3F, "FF", "FF 01 3F 3F 01", ""},
    {"Cmd40MovesTheAddressField", link::kTabCmd40, "01", "01 02 C0 58 1B 01", "Success", {}, {{1003, "58", kMain}}},
    {"Cmd42DcBroadcast", link::kTabCmd42, "FF", "FF 08 42 02 64 64 C4 09 50 C3 F3 03", "", {{1004, "D-C"}}},
    {"Cmd43ShowsTheDcSetup", link::kTabCmd43, "01", "01 01 C3 C5 00", "Success", {},
     {{1009, "D-C"}, {1013, "25000"}, {1014, "60"}, {1015, "1000"}, {1016, "40"}},
     [](sim::BoardState& s) {
       DcMotors(s);
       s.setup = {2, 60, 40, 0xA8, 0x61, 0xE8, 0x03};
     }},
    {"LiveTestTabSendsNothing", link::kTabStepperTest, "01", "", ""},
};

TEST_P(ExchangeTest, FrameResultAndDisplay) {
  const ExchangeCase& c = GetParam();
  const auto tabOf = [&](const Field& f) { return f.tab == kThisPage ? c.tab : f.tab; };
  SelectTab(c.tab);
  Set(kMain, 1003, c.address);
  Get<QCheckBox>(kMain, 1006)->setChecked(c.replyWanted);
  for (const Field& f : c.typed) Set(tabOf(f), f.id, f.value);
  sim::BoardState state = board_->State();
  if (c.board) c.board(state);
  board_->SetState(state);
  if (c.fault) board_->SetFault(*sim::ParseFault(c.fault));

  Get<QPushButton>(kMain, 1)->click();

  const bool expectFrame = *c.heard != '\0';
  if (!expectFrame) std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_EQ(Heard(expectFrame ? 1 : 0), expectFrame ? std::vector<std::string>{c.heard} : std::vector<std::string>{});
  EXPECT_EQ(Value(kMain, 1004), c.heard);
  EXPECT_EQ(Get<QLabel>(kMain, 1007)->text().toStdString(), c.result);
  for (const Field& f : c.shown) EXPECT_EQ(Value(tabOf(f), f.id), f.value) << "control " << f.id;
}

INSTANTIATE_TEST_SUITE_P(EveryTab, ExchangeTest, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

// After a CMD41 reply the board listens at the new rate, and the window follows it.
TEST_F(WindowFixture, Cmd41MovesTheBaudListAndTheNextExchangeUsesIt) {
  SelectTab(link::kTabCmd41);
  Set(kMain, 1003, "01");
  Set(link::kTabCmd41, 1002, "38400");
  Get<QPushButton>(kMain, 1)->click();
  EXPECT_EQ(Heard(1), std::vector<std::string>{"01 02 C1 04 C8 00"});
  ASSERT_EQ(Get<QLabel>(kMain, 1007)->text(), "Success");
  EXPECT_EQ(Value(kMain, 1002), "38400");
  EXPECT_EQ(board_->State().baudIndex, 4);

  SelectTab(link::kTabCmd38);
  Get<QPushButton>(kMain, 1)->click();
  EXPECT_EQ(Get<QLabel>(kMain, 1007)->text(), "Success");
}

// The message box for a refused field: its texts, its one button, and nothing sent.
TEST_F(WindowFixture, RefusedFieldShowsTheMessageBoxAndSendsNothing) {
  SelectTab(link::kTabCmd12);
  Set(link::kTabCmd12, 1022, "101");
  Set(kMain, 1003, "01");
  std::string seen;
  QTimer::singleShot(0, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    ASSERT_NE(box, nullptr);
    seen = (box->windowTitle() + " | " + box->text()).toStdString() + " | " +
           std::to_string(box->buttons().size()) + (box->parentWidget() == &Window() ? " button, owned" : " button");
    box->button(QMessageBox::Ok)->click();
  });
  Window().show();
  Get<QPushButton>(kMain, 1)->click();

  EXPECT_EQ(seen, "Error | Invalid or Missing Parameter | 1 button, owned");
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_TRUE(Heard().empty());
  EXPECT_EQ(Value(kMain, 1004), "");
  EXPECT_EQ(Value(link::kTabCmd12, 1022), "101");
}

}  // namespace
}  // namespace tarnwick::gui_test
