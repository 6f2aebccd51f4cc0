// Every window the program opens lies wholly on the available area of the screen it
// opens on, for screens of 1280x800 and 1920x1080 pixels at scale factors 1, 1.5
// and 2; the traffic log shows every column where it opens. The screens are the
// offscreen platform's, one of each side by side, each scaled by its DPI.

#include <QHeaderView>
#include <QScreen>
#include <QTableView>
#include <QTimer>

#include "app/find_boards_dialog.h"
#include "app/screen_placement.h"
#include "app/sequence_window.h"
#include "app/traffic_log_model.h"
#include "app/traffic_log_window.h"
#include "app/watch_window.h"
#include "testing/row_name.h"
#include "window_fixture.h"

namespace tarnwick::gui_test {
namespace {

struct Screen {
  int width, height;
  double scale;
  QString Name() const { return QStringLiteral("%1x%2 at %3").arg(width).arg(height).arg(scale); }
};
constexpr Screen kScreens[] = {{1280, 800, 1}, {1280, 800, 1.5}, {1280, 800, 2},
                               {1920, 1080, 1}, {1920, 1080, 1.5}, {1920, 1080, 2}};

class ScreensEnvironment : public QtEnvironment {
 public:
  void SetUp() override {
    QString screens;
    int left = 0;
    for (const Screen& screen : kScreens) {
      screens += QStringLiteral(R"(%1{"name": "%2", "x": %3, "y": 0, "width": %4, "height": %5, )"
                                R"("logicalDpi": %6, "logicalBaseDpi": 96, "dpr": 1})")
                     .arg(screens.isEmpty() ? "" : ", ", screen.Name())
                     .arg(left)
                     .arg(screen.width)
                     .arg(screen.height)
                     .arg(96 * screen.scale);
      left += screen.width;
    }
    QFile config(folder_.filePath(QStringLiteral("screens.json")));
    if (!config.open(QIODevice::WriteOnly) || config.write(QStringLiteral(R"({"screens": [%1]})").arg(screens).toUtf8()) < 0)
      throw std::runtime_error("cannot write the screens' configuration");
    config.close();
    qputenv("QT_QPA_PLATFORM", ("offscreen:configfile=" + config.fileName()).toLocal8Bit());
    QtEnvironment::SetUp();
  }

 private:
  QTemporaryDir folder_;
};

[[maybe_unused]] ::testing::Environment* const kScreensEnvironment =
    ::testing::AddGlobalTestEnvironment(new ScreensEnvironment);

enum class Opened { kMain, kTrafficLog, kWatch, kFind, kSequence, kLineSettings, kAddNetworkPort };

struct PlacementCase {
  std::string name;
  Opened window;
  Screen screen;
};

class PlacementTest : public WindowFixture, public ::testing::WithParamInterface<PlacementCase> {
 protected:
  // The window opened as the user opens it; a modal one is looked at while it runs.
  void Open(Opened which, const std::function<void(QWidget&)>& look) {
    app::CTarnwickDlg& window = Window();
    const auto modal = [&](void (app::CTarnwickDlg::*open)()) {
      QTimer::singleShot(0, [&] {
        QWidget* dialog = QApplication::activeModalWidget();
        if (!dialog) return ADD_FAILURE() << "no dialog open";
        look(*dialog);
        dialog->close();
      });
      (window.*open)();
    };
    switch (which) {
      case Opened::kMain: return look(window);
      case Opened::kTrafficLog: window.OnOK(); window.OnShowTrafficLog(); return look(window.TrafficLogWindow());
      case Opened::kWatch: window.OnWatch(); return look(*window.findChild<app::CWatchWindow*>());
      case Opened::kFind: window.OnFindBoards(); return look(*window.findChild<app::CFindBoardsDlg*>());
      case Opened::kSequence: window.OnRunSequence(); return look(*window.findChild<app::CSequenceWindow*>());
      case Opened::kLineSettings: return modal(&app::CTarnwickDlg::OnLineSettings);
      case Opened::kAddNetworkPort: return modal(&app::CTarnwickDlg::OnAddNetworkPort);
    }
  }
};

QScreen* ScreenNamed(const QString& name) {
  for (QScreen* screen : QGuiApplication::screens())
    if (screen->name() == name) return screen;
  throw std::runtime_error("no screen " + name.toStdString());
}

TEST_P(PlacementTest, LiesOnTheScreenItOpensOn) {
  QScreen* screen = ScreenNamed(GetParam().screen.Name());
  Window().setScreen(screen);
  Window().move(screen->availableGeometry().topLeft());
  Window().show();
  app::FitMainWindow(Window());
  Open(GetParam().window, [&](QWidget& opened) {
    QApplication::processEvents();
    const QRect frame = opened.frameGeometry(), available = screen->availableGeometry();
    EXPECT_EQ(opened.screen(), screen);
    EXPECT_TRUE(available.contains(frame)) << "frame " << frame.x() << "," << frame.y() << " " << frame.width() << "x"
                                           << frame.height() << " on " << available.width() << "x"
                                           << available.height();
    if (auto* log = qobject_cast<app::CTrafficLogWindow*>(&opened)) {
      const QTableView& table = *log->Table();
      const int lastStarts = table.horizontalHeader()->sectionViewportPosition(app::TrafficLogModel::kResult);
      EXPECT_LE(lastStarts + table.horizontalHeader()->sectionSizeHint(app::TrafficLogModel::kResult),
                table.viewport()->width());
    }
  });
}

std::vector<PlacementCase> EveryWindowOnEveryScreen() {
  const std::pair<const char*, Opened> windows[] = {
      {"Main", Opened::kMain},         {"TrafficLog", Opened::kTrafficLog},     {"Watch", Opened::kWatch},
      {"Find", Opened::kFind},         {"Sequence", Opened::kSequence},         {"LineSettings", Opened::kLineSettings},
      {"AddNetworkPort", Opened::kAddNetworkPort}};
  std::vector<PlacementCase> cases;
  for (const auto& [name, window] : windows)
    for (const Screen& screen : kScreens) cases.push_back({name + (" " + screen.Name().toStdString()), window, screen});
  return cases;
}

INSTANTIATE_TEST_SUITE_P(Windows, PlacementTest, ::testing::ValuesIn(EveryWindowOnEveryScreen()), testing::RowName());

}  // namespace
}  // namespace tarnwick::gui_test
