// A board other than the built-in one owns the window: its name, its commands'
// tabs alone, a settings file of its own, and only its own frames on its line.

#include <QFile>

#include "app/window_options.h"
#include "app/window_settings.h"
#include "window_fixture.h"

namespace tarnwick::gui_test {
namespace {

class SecondBoardTest : public WindowFixture {
 public:
  void SetUp() override {
    board::LoadResult heater = board::LoadBoardFile(std::string(TARNWICK_BOARDS) + "/heater.yaml");
    ASSERT_TRUE(heater.board) << ::testing::PrintToString(heater.problems);
    board::Use(std::move(*heater.board));
    WindowFixture::SetUp();
  }
  void TearDown() override { board::Use(board::BuiltIn()); }
};

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
  ShowActive();
  Window().close();
  for (int tab = 0; tab < Window().TabCount(); ++tab) SendOn(tab, "01");
  const std::vector<std::string> heard = Heard(3);
  ASSERT_EQ(heard.size(), 3u);
  for (std::size_t i = 0; i < heard.size(); ++i)
    EXPECT_EQ(std::stoi(heard[i].substr(6, 2), nullptr, 16) & 0x7F, 0x50 + static_cast<int>(i)) << heard[i];

  const std::unique_ptr<QSettings> own = app::OpenUserSettings();
  app::SaveWindowSettings(Window(), *own);
  EXPECT_TRUE(own->fileName().endsWith("/tarnwick/board-heater-controller.conf")) << own->fileName().toStdString();
  EXPECT_TRUE(QFile::exists(own->fileName()));
  EXPECT_EQ(Contents(builtInSettings), builtInBefore);
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
