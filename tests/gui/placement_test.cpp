// Every window the program opens lies wholly on the available area of the screen it
// opens on, for screens of 1280x800 and 1920x1080 pixels at scale factors 1, 1.5
// and 2 (the offscreen platform's screens, side by side, each scaled by its DPI);
// the traffic log shows every column where it opens.

#include <QHeaderView>
#include <QScreen>
#include <QTableView>
#include <QTimer>

#include "pages/screen_placement.h"
#include "testing/row_name.h"
#include "tools/find_boards_dialog.h"
#include "tools/sequence_window.h"
#include "tools/traffic_log_model.h"
#include "tools/traffic_log_window.h"
#include "tools/watch_window.h"
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
  void SetUp() override {
    QStringList screens;
    int left = 0;
    for (const Screen& s : kScreens) {
      screens << QStringLiteral(R"({"name": "%1", "x": %2, "y": 0, "width": %3, "height": %4, "logicalDpi": %5})")
                     .arg(s.Name()).arg(left).arg(s.width).arg(s.height).arg(96 * s.scale);
      left += s.width;
    }
    QFile config(folder_.filePath(QStringLiteral("screens.json")));
    if (!config.open(QIODevice::WriteOnly) || config.write(("{\"screens\": [" + screens.join(',') + "]}").toUtf8()) < 0)
      throw std::runtime_error("cannot write the screens' configuration");
    config.close();
    qputenv("QT_QPA_PLATFORM", ("offscreen:configfile=" + config.fileName()).toLocal8Bit());
    QtEnvironment::SetUp();
  }
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

TEST_P(PlacementTest, LiesOnTheScreenItOpensOn) {
  const auto screens = QGuiApplication::screens();
  QScreen* screen = *std::find_if(screens.begin(), screens.end(), [](QScreen* s) { return s->name() == GetParam().screen.Name(); });
  Window().setScreen(screen);
  Window().move(screen->availableGeometry().topLeft());
  Window().show();
  pages::FitMainWindow(Window());
  Open(GetParam().window, [&](QWidget& opened) {
    QApplication::processEvents();
    const QRect frame = opened.frameGeometry(), available = screen->availableGeometry();
    EXPECT_EQ(opened.screen(), screen);
    EXPECT_TRUE(available.contains(frame)) << frame.width() << "x" << frame.height() << " at " << frame.x() << ","
                                           << frame.y() << " on " << available.width() << "x" << available.height();
    if (auto* log = qobject_cast<app::CTrafficLogWindow*>(&opened)) {
      const QHeaderView& header = *log->Table()->horizontalHeader();
      EXPECT_LE(header.sectionViewportPosition(app::TrafficLogModel::kResult) +
                    header.sectionSizeHint(app::TrafficLogModel::kResult),
                log->Table()->viewport()->width());
    }
  });
}

INSTANTIATE_TEST_SUITE_P(Windows, PlacementTest, ::testing::ValuesIn([] {
  const std::pair<const char*, Opened> windows[] = {
      {"Main", Opened::kMain}, {"TrafficLog", Opened::kTrafficLog}, {"Watch", Opened::kWatch},
      {"Find", Opened::kFind}, {"Sequence", Opened::kSequence},     {"LineSettings", Opened::kLineSettings},
      {"AddNetworkPort", Opened::kAddNetworkPort}};
  std::vector<PlacementCase> cases;
  for (const auto& [name, window] : windows)
    for (const Screen& screen : kScreens) cases.push_back({(name + QStringLiteral(" ") + screen.Name()).toStdString(), window, screen});
  return cases;
}()), testing::RowName());

}  // namespace
}  // namespace tarnwick::gui_test
