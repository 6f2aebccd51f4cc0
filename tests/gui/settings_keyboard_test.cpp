// What the window remembers between sessions, the command line's presets over it,
// and the keyboard: switching tabs, the buttons' mnemonics and each page's Tab order.

#include "window/window_options.h"
#include "window/window_settings.h"
#include "window_fixture.h"

namespace tarnwick::gui_test {
namespace {

using app::WindowOptions;

class SettingsTest : public WindowFixture {
 public:
  void SetUp() override {
    WindowFixture::SetUp();
    app::OpenUserSettings()->clear();
    ports_ = {{"sim0", board_->PortPath()}, {"ttyACM0", "/dev/ttyACM0"}};
    Get<QPushButton>(kMain, 3)->click();  // rescan
  }

  // Closes the window as the program does, saving its settings unless told not to,
  // and starts a new one over the ports listed now.
  void Restart(bool save = true) {
    if (save) SaveWindowSettings(Window(), *app::OpenUserSettings());
    NewWindow();
    RestoreWindowSettings(Window(), *app::OpenUserSettings());
  }
};

struct Field {
  int tab;
  int id;
  const char* value;  // typed, chosen, or for a button clicked once
  const char* shown;  // what it shows afterwards
};

TEST_F(SettingsTest, EverythingTheUserSetComesBackAfterARestart) {
  const Field fields[] = {
      {kMain, 1001, "ttyACM0", "ttyACM0"},  {kMain, 1002, "19200", "19200"},
      {kMain, 1003, "0a", "0a"},            {kMain, 1006, "click", ""},
      {pages::kTabCmd11, 1018, "1234", "1234"}, {pages::kTabCmd11, 1020, "click", "checked"},
      {pages::kTabCmd12, 1021, " 1000 ", " 1000 "}, {pages::kTabCmd22, 1011, "click", "checked"},
      {pages::kTabCmd22, 1017, "click", "checked"}, {pages::kTabCmd23, 1008, "七十", "七十"},
      {pages::kTabCmd42, 1004, "D-C", "D-C"}, {pages::kTabCmd42, 1007, "2000", "2000"},
  };
  for (const Field& f : fields) Set(f.tab, f.id, f.value);
  SelectTab(pages::kTabCmd22);
  const app::PortLine rts{{link::DirectionControl::Rts, 0, 0}, link::EchoHandling::Skip};
  Window().SetLineOfPort("ttyACM0", rts);
  Restart();

  for (const Field& f : fields) EXPECT_EQ(Value(f.tab, f.id), f.shown) << "tab " << f.tab << " control " << f.id;
  EXPECT_EQ(Window().CurrentTab(), pages::kTabCmd22);
  // The pages act on what came back, not only show it.
  const board::FieldTexts modes = static_cast<pages::CommandPage&>(Window().Panel(pages::kTabCmd22)).Texts();
  EXPECT_EQ(modes.at("left-mode"), "Reversal");
  EXPECT_EQ(modes.at("right-mode"), "ShortBrake");
  EXPECT_FALSE(Control(pages::kTabCmd11, 1018)->isEnabled()) << "Not-Limit greys the step count";
  EXPECT_TRUE(Control(pages::kTabCmd42, 1007)->isEnabled()) << "D-C enables the Right fields";
  for (const char* type : {"Stepper", "D-C"}) Set(pages::kTabCmd42, 1004, type);
  EXPECT_EQ(Value(pages::kTabCmd42, 1007), "2000") << "a choice that greys fields keeps their text";
  // Each port keeps its own line settings.
  EXPECT_TRUE(Window().LineOfPort("ttyACM0") == rts);
  EXPECT_TRUE(Window().LineOfPort("sim0") == app::PortLine{});
}

TEST_F(SettingsTest, WithNothingUsableRememberedTheWindowShowsItsStartValues) {
  const std::pair<const char*, const char*> remembered[] = {
      {"", ""},  // the first start ever
      {"window/baud", "12345"},   {"window/tab", "CMD99"},   {"pages/CMD42/1004", "Servo"},
  };
  for (const auto& [key, value] : remembered) {
    auto settings = app::OpenUserSettings();
    settings->clear();
    if (*key) settings->setValue(key, value);
    settings.reset();
    Restart(false);
    const std::string shown = Value(kMain, 1001) + " " + Value(kMain, 1002) + " " + Value(kMain, 1003) + " " +
                              Value(kMain, 1006) + " " + Value(pages::kTabCmd41, 1002) + " " +
                              Value(pages::kTabCmd42, 1004);
    EXPECT_EQ(shown, "sim0 9600 FF checked 9600 Stepper") << key;
    EXPECT_EQ(Window().CurrentTab(), pages::kTabCmd00) << key;
  }
}

// A network port typed in is listed after the ports found, remembered across a
// restart, and gone once forgotten (Send through one is shown with the window).
TEST_F(SettingsTest, ANetworkPortIsListedRememberedAndForgotten) {
  const std::string url = "rfc2217://127.0.0.1:9";
  ASSERT_TRUE(Window().AddNetworkPort(url));
  EXPECT_EQ(Value(kMain, 1001), url);
  Restart();
  const auto* list = Get<QComboBox>(kMain, 1001);
  ASSERT_EQ(list->count(), 3);
  EXPECT_EQ(list->itemText(2).toStdString(), url);
  EXPECT_EQ(Value(kMain, 1001), url);
  Window().ForgetNetworkPort(url);
  Restart();
  EXPECT_EQ(Get<QComboBox>(kMain, 1001)->count(), 2);
  EXPECT_EQ(Value(kMain, 1001), "sim0");
}

// ---- The command line ----

// What the options preset, one word each ("-" for none), or the exit status.
std::string Shown(const std::variant<WindowOptions, int>& parsed) {
  if (const int* status = std::get_if<int>(&parsed)) return "exit " + std::to_string(*status);
  const WindowOptions& options = std::get<WindowOptions>(parsed);
  const auto word = [](const auto& value) {
    if constexpr (std::is_same_v<std::decay_t<decltype(*value)>, std::string>) return value.value_or("-");
    else return value ? std::to_string(*value) : std::string("-");
  };
  return word(options.portName) + " " + word(options.baudIndex) + " " + word(options.address) + " " +
         word(options.tab) + (options.resetSettings ? " reset" : "");
}

TEST(WindowOptionsTest, PresetWhatTheyNameOrEndWithAStatus) {
  const std::vector<link::PortEntry> ports = {{"sim0", "/run/user/1/tarnwick/sim0"}, {"ttyUSB0", "/dev/ttyUSB0"}};
  const std::pair<std::vector<std::string>, std::string> rows[] = {
      {{}, "- - - -"},
      {{"--port", "ttyUSB0", "--baud", "115200", "--addr", "0a", "--tab", "CMD13"}, "ttyUSB0 6 0a 3"},
      {{"--tab", "d-c test"}, "- - - 15"},
      {{"--reset-settings"}, "- - - - reset"},
      {{"--port", "rfc2217://box:2000"}, "rfc2217://box:2000 - - -"},
      {{"--port", "ttyUSB9"}, "exit 2"},  // not listed
      {{"--port", "socket://box"}, "exit 2"},  // no TCP port number
      {{"--baud", "14400"}, "exit 2"},
      {{"--tab", "CMD99"}, "exit 2"},
      {{"--board", "/nonexistent/board.yaml"}, "exit 2"},
  };
  for (const auto& [given, expected] : rows) {
    std::vector<std::string> args = {"tarnwick"};
    args.insert(args.end(), given.begin(), given.end());
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    EXPECT_EQ(Shown(app::ParseWindowOptions(static_cast<int>(args.size()), argv.data(), ports)), expected)
        << ::testing::PrintToString(given);
  }
}

TEST(MissingDisplayTest, OnlyADisplayPlatformWithoutADisplayIsRefused) {
  struct Row {
    const char *platform, *display, *wayland;
    bool refused;
  };
  const Row rows[] = {
      {nullptr, nullptr, nullptr, true}, {"", "", "", true},           {"xcb", nullptr, nullptr, true},
      {"wayland;xcb:nomitshm", nullptr, nullptr, true}, {nullptr, ":0", nullptr, false}, {"wayland", nullptr, "wayland-0", false},
      {"offscreen", nullptr, nullptr, false},  {"xcb;offscreen", nullptr, nullptr, false},
  };
  for (const Row& row : rows) {
    const auto message = app::MissingDisplayMessage(row.platform, row.display, row.wayland);
    EXPECT_EQ(message.has_value(), row.refused) << (row.platform ? row.platform : "(unset)");
  }
}

TEST_F(SettingsTest, OptionsWinOverRememberedSettingsAndReachTheLiveTestPage) {
  Set(kMain, 1002, "19200");
  SelectTab(pages::kTabCmd22);
  Window().SetLineOfPort("ttyACM0", {{link::DirectionControl::Rts, 0, 0}, link::EchoHandling::Skip});
  Restart();
  ApplyWindowOptions(Window(), {.portName = "ttyACM0", .address = "33", .tab = pages::kTabStepperTest,
                                .rs485 = link::DirectionControl::Kernel, .rs485DelayBeforeMs = 250});

  EXPECT_EQ(Value(kMain, 1001), "ttyACM0");
  EXPECT_EQ(Value(kMain, 1002), "19200") << "not named on the command line: remembered";
  EXPECT_EQ(Value(kMain, 1003), "33");
  EXPECT_EQ(Window().CurrentTab(), pages::kTabStepperTest);
  auto& stepper = static_cast<pages::LiveTestPanel&>(Window().Panel(pages::kTabStepperTest));
  EXPECT_EQ(stepper.PortPath(), "/dev/ttyACM0");
  EXPECT_EQ(stepper.BaudRate(), 19200);
  const link::LineSettings line = Window().CurrentLineSettings();
  EXPECT_EQ(line.direction.control, link::DirectionControl::Kernel);
  EXPECT_EQ(line.direction.delayBeforeMs, 250);
  EXPECT_EQ(line.echo, link::EchoHandling::Skip) << "not named on the command line: remembered";

  // Presets last one start: those left alone are not remembered, a changed one is.
  const WindowOptions presets{.portName = "ttyACM0", .baudIndex = 6, .address = "33", .tab = pages::kTabStepperTest};
  ApplyWindowOptions(Window(), presets);
  Set(kMain, 1003, "44");
  SaveWindowSettings(Window(), *app::OpenUserSettings(), presets);
  Restart(false);
  EXPECT_EQ(Value(kMain, 1001), "sim0");
  EXPECT_EQ(Value(kMain, 1002), "19200");
  EXPECT_EQ(Value(kMain, 1003), "44");
  EXPECT_EQ(Window().CurrentTab(), pages::kTabCmd22);
}

// ---- The keyboard ----

// Ctrl+Tab, Ctrl+Shift+Tab (Backtab), Ctrl+PageDown and Ctrl+PageUp, wrapping round,
// from a field of the window's own and from one inside the page.
TEST_F(WindowFixture, CtrlKeysMoveToTheNeighbouringTabFromAnyField) {
  constexpr auto kCtrl = Qt::ControlModifier;
  constexpr auto kCtrlShift = Qt::ControlModifier | Qt::ShiftModifier;
  struct Row {
    Qt::Key key;
    Qt::KeyboardModifiers modifiers;
    int from, to;
  };
  const Row rows[] = {{Qt::Key_Tab, kCtrl, 15, 0}, {Qt::Key_Backtab, kCtrlShift, 5, 4},
                      {Qt::Key_PageDown, kCtrl, 13, 14}, {Qt::Key_PageUp, kCtrl, 0, 15}};
  ShowActive();
  for (const Row& row : rows) {
    for (const bool inPage : {false, true}) {
      SelectTab(row.from);
      QWidget* field = inPage ? Window().Panel(row.from).nextInFocusChain() : Control(kMain, 1003);
      field->setFocus();
      QTest::keyClick(QApplication::focusWidget(), row.key, row.modifiers);
      EXPECT_EQ(Window().CurrentTab(), row.to) << row.from << (inPage ? " in the page" : " in Addr:");
      EXPECT_TRUE(Window().Panel(row.to).isVisible());
    }
  }
}

// Tab visits each page's fields in the order of its layout.
TEST_F(WindowFixture, TabFollowsEachPagesLayout) {
  const std::pair<int, std::vector<int>> pages[] = {
      {pages::kTabCmd21, {1009, 1006, 1010, 1008}},  // group by group
      {pages::kTabCmd42, {1004, 1005, 1006}},  // Stepper: the greyed Right fields skipped
      {pages::kTabDcTest, {1009, 1030, 1033, 1032, 1031, 1010, 1035, 1034, 1037, 1036, 1028}},
  };
  ShowActive();
  for (const auto& [tab, ids] : pages) {
    SelectTab(tab);
    Control(tab, ids.front())->setFocus();
    std::vector<int> visited;
    for (std::size_t i = 0; i < ids.size(); ++i) {
      for (const auto& entry : Window().Panel(tab).controls().entries())
        if (entry.widget == QApplication::focusWidget() || entry.widget->isAncestorOf(QApplication::focusWidget()))
          visited.push_back(entry.row->id);
      QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    EXPECT_EQ(visited, ids) << "tab " << tab;
  }
}

}  // namespace
}  // namespace tarnwick::gui_test
