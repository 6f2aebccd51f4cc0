// A board other than the built-in one owns the window: its name, its commands'
// tabs alone with pages generated from its description, a settings file of its
// own, and only its own frames on its line.

#include <QFile>
#include <QTest>
#include <qcustomplot.h>

#include "board/board_file.h"
#include "window/window_options.h"
#include "window/window_settings.h"
#include "window_fixture.h"

namespace tarnwick::gui_test {
namespace {

template <const char* kFile>
class BoardFileWindow : public WindowFixture {
 public:
  void SetUp() override {
    board::LoadResult loaded = board::LoadBoardFile(std::string(TARNWICK_BOARDS) + "/" + kFile);
    ASSERT_TRUE(loaded.board) << ::testing::PrintToString(loaded.problems);
    board::Use(std::move(*loaded.board));
    WindowFixture::SetUp();
  }
  void TearDown() override { board::Use(board::BuiltIn()); }
};
constexpr char kHeater[] = "heater.yaml";
constexpr char kClimate[] = "climate-controller.yaml";
using SecondBoardTest = BoardFileWindow<kHeater>;
using ClimateBoardTest = BoardFileWindow<kClimate>;

QByteArray Contents(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(none)");
}

TEST_F(SecondBoardTest, OwnsTheWindowItsLineAndItsSettings) {
  const QString builtInSettings = app::OpenUserSettings(board::BuiltIn())->fileName();
  const QByteArray builtInBefore = Contents(builtInSettings);
  EXPECT_EQ(Window().windowTitle().toStdString(), "Heater controller");
  std::vector<std::string> tabs;
  for (int tab = 0; tab < Window().TabCount(); ++tab) tabs.push_back(Window().TabName(tab));
  EXPECT_EQ(tabs, (std::vector<std::string>{"CMD50", "CMD51", "CMD52"}));
  EXPECT_FALSE(app::TabNamed("Stepper Test"));

  // Closed first, then a Send on every tab: a frame sent on closing would be heard first.
  // The pages, generated from the description, send their start texts, then what is typed.
  ShowActive();
  Window().close();
  for (int tab = 0; tab < Window().TabCount(); ++tab) SendOn(tab, "01");
  Window().Panel(0).findChild<QLineEdit*>()->setText("650");  // Setpoint, after the Mode list
  SendOn(0, "01");
  const std::vector<std::string> heard = Heard(4);
  ASSERT_EQ(heard.size(), 4u);
  for (std::size_t i = 0; i < 3; ++i)
    EXPECT_EQ(std::stoi(heard[i].substr(6, 2), nullptr, 16) & 0x7F, 0x50 + static_cast<int>(i)) << heard[i];
  EXPECT_EQ(heard[0].substr(9, 11), "01 FA 00 0A") << "Hold, 250, 10";
  EXPECT_EQ(heard[3].substr(9, 11), "01 8A 02 0A") << "Hold, 650, 10";

  const std::unique_ptr<QSettings> own = app::OpenUserSettings();
  app::SaveWindowSettings(Window(), *own);
  EXPECT_TRUE(own->fileName().endsWith("/tarnwick/board-heater-controller.conf")) << own->fileName().toStdString();
  EXPECT_TRUE(QFile::exists(own->fileName()));
  EXPECT_EQ(Contents(builtInSettings), builtInBefore);
}

// Watch plots what a person reads: a scaled field's value, not its raw word.
TEST_F(ClimateBoardTest, WatchPlotsPhysicalValues) {
  sim::BoardState state;
  state.Store("target", 0xFF83);     // -125 tenths of a degree
  state.Store("humidity", 5555);     // hundredths of a percent
  board_->SetState(state);
  app::CWatchWindow& watch = OpenWatch(Window());
  ASSERT_TRUE(watch.Start());
  EXPECT_TRUE(QTest::qWaitFor([&] { return watch.Summary().successes >= 3; }, 60'000));
  watch.Stop();
  for (const auto& [key, value] : {std::pair{"target", -12.5}, {"humidity", 55.55}}) {
    ASSERT_NE(watch.GraphOf(key), nullptr) << key;
    const auto& points = *watch.GraphOf(key)->data();
    ASSERT_FALSE(points.isEmpty()) << key;
    for (auto point = points.constBegin(); point != points.constEnd(); ++point) EXPECT_EQ(point->value, value) << key;
  }
}

// The live test tabs are the board's own declaration, whatever else it describes.
TEST(LiveTestTabsTest, FollowTheTestsTheBoardDeclares) {
  const board::LoadResult declaresOne = board::LoadBoardFile(TARNWICK_EVERY_KEY);
  ASSERT_TRUE(declaresOne.board) << ::testing::PrintToString(declaresOne.problems);
  EXPECT_EQ(app::TabNames(*declaresOne.board),
            (std::vector<std::string>{"RUN", "DRIVE", "SETUP", "STOP", "Stepper Test"}));
}

}  // namespace
}  // namespace tarnwick::gui_test
