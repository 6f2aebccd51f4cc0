// The traffic log in the window: what Send puts in its table, copying, saving,
// clearing, its placement beside the window and the ring's window.
#include <QClipboard>
#include <QTableView>

#include "link/traffic_log_text.h"
#include "testing/cli_run.h"
#include "testing/temp_folder.h"
#include "tools/traffic_log_window.h"
#include "window_fixture.h"

namespace tarnwick::gui_test {
namespace {

namespace window = pages::ids::window;

// What leaves the log: selected rows as text; as a sequence, what tarnwick-cli
// replay writes from the same rows (every row when none is selected, else the
// selected ones); the whole log as JSON lines that read back as the same entries
// (the CSV form is pinned with the log's text); and nothing once cleared.
TEST_F(WindowFixture, RowsLeaveAsTextASequenceAndJsonLinesUntilCleared) {
  SendOn(pages::kTabCmd13, "01");
  SendOn(pages::kTabCmd00, "01");
  SendOn(pages::kTabCmd13, "07");
  app::TrafficLogModel& log = Window().LogModel();
  app::CTrafficLogWindow& logWindow = Window().TrafficLogWindow();
  Get<QPushButton>(kMain, window::kLog)->click();
  ASSERT_TRUE(logWindow.isVisible());
  logWindow.Table()->selectRow(0);
  logWindow.Table()->selectionModel()->select(log.index(2, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
  logWindow.CopySelection();
  const QStringList lines = QApplication::clipboard()->text().split(QLatin1Char('\n'), Qt::SkipEmptyParts);
  ASSERT_EQ(lines.size(), 2);
  const QString port = QString::fromStdString(link::PortNameOf(board_->PortPath()));
  EXPECT_TRUE(lines[0].endsWith(QLatin1Char('\t') + port + QStringLiteral("\ttx\t01 01 93 95 00\tCMD13 to 01\t")))
      << lines[0].toStdString();
  EXPECT_TRUE(lines[1].endsWith(QStringLiteral("\tevent\t\tCMD13 to 01\tSuccess"))) << lines[1].toStdString();
  EXPECT_TRUE(link::ParseLogTime(lines[0].section(QLatin1Char('\t'), 0, 0).toStdString()));  // the full time

  const testing::TempFolder dir;
  for (const std::vector<int>& rows : {std::vector<int>{}, std::vector<int>{3, 4, 5, 6, 7}}) {
    SCOPED_TRACE(rows.size());
    logWindow.Table()->clearSelection();
    std::string entries;
    for (int row = 0; row < log.rowCount(); ++row) {
      const bool chosen = rows.empty() || std::find(rows.begin(), rows.end(), row) != rows.end();
      if (!chosen) continue;
      entries += link::FormatTrafficJson(log.Entry(row)) + "\n";
      if (!rows.empty())
        logWindow.Table()->selectionModel()->select(log.index(row, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
    const auto replay = testing::RunCli("replay " + dir.Write("rows.log", entries) + " --sequence " + dir.Path("cli.yaml"));
    ASSERT_EQ(replay.status, 0);
    QString error;
    ASSERT_TRUE(logWindow.SaveSequenceTo(QString::fromStdString(dir.Path("window.yaml")), error)) << error.toStdString();
    EXPECT_EQ(dir.Read("window.yaml"), dir.Read("cli.yaml"));
    EXPECT_NE(dir.Read("window.yaml").find("send: cmd"), std::string::npos);
  }

  ASSERT_TRUE(log.SaveTo(QString::fromStdString(dir.Path("log.jsonl"))));
  std::istringstream jsonLines(dir.Read("log.jsonl"));
  std::vector<std::string> saved;
  for (std::string line; std::getline(jsonLines, line);) saved.push_back(line);
  ASSERT_EQ(saved.size(), static_cast<std::size_t>(log.rowCount()));
  EXPECT_EQ(link::ParseTrafficJson(saved.back()), log.Entry(log.rowCount() - 1));
  EXPECT_FALSE(log.SaveTo(QString::fromStdString(dir.Path("no-such-dir/log.csv"))));
  log.Clear();
  EXPECT_EQ(log.rowCount(), 0);
}

// Screens of 1024x768 and 1920x1080 less a 32-pixel panel; a dialog's frame of 713x470,
// centred or elsewhere; a log that wants 1100x420 and needs at least 480x300.
TEST(LogPlacement, BesideWhereThereIsRoomElseBelowNeverOverTheDialog) {
  const QRect kSmall(0, 0, 1024, 736), kLarge(0, 0, 1920, 1048);
  struct Row {
    const char* name;
    QRect screen;
    QPoint dialogAt, dialogTo;  // where it is, where it moves to
    QRect log;                  // expected
  };
  const Row rows[] = {
      {"small, centred: rises to make room below", kSmall, {155, 133}, {155, 0}, {0, 478, 1024, 258}},
      {"large, centred: beside, narrowed", kLarge, {603, 289}, {603, 289}, {1324, 289, 596, 420}},
      {"large, at the right: beside on the left", kLarge, {1207, 500}, {1207, 500}, {99, 500, 1100, 420}},
      {"large, low dialog: the log stays on the screen", kLarge, {0, 900}, {0, 900}, {721, 628, 1100, 420}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const QRect dialog(row.dialogAt, QSize(713, 470));
    const app::LogPlacement got = app::PlaceLogWindow(row.screen, dialog, {1100, 420}, {480, 300});
    EXPECT_EQ(got.log, row.log);
    EXPECT_EQ(got.dialogTopLeft, row.dialogTo);
    EXPECT_FALSE(got.log.intersects(QRect(got.dialogTopLeft, dialog.size())));
    EXPECT_TRUE(row.screen.contains(got.log));
  }
}

TEST(TrafficLogModelTest, KeepsOnlyTheNewestEntries) {
  app::TrafficLogModel model(5);
  const auto record = [&](int from, int to) {
    for (int i = from; i <= to; ++i) model.Record({{}, "p", link::TrafficDirection::kTx, {}, std::to_string(i), ""});
    model.Flush();
  };
  const auto summaries = [&] {
    std::string text;
    for (int row = 0; row < model.rowCount(); ++row) text += model.Entry(row).summary + " ";
    return text;
  };
  record(1, 3);
  EXPECT_EQ(summaries(), "1 2 3 ");
  record(4, 6);
  EXPECT_EQ(summaries(), "2 3 4 5 6 ");
  record(7, 18);  // one batch larger than the whole log
  EXPECT_EQ(summaries(), "14 15 16 17 18 ");
}

}  // namespace
}  // namespace tarnwick::gui_test
