// Find boards against simulated boards on one line: the boards it lists and what
// choosing one does, and every way a scan is stopped: promptly, with the port
// given back closed and Send kept off the line meanwhile.

#include <QTableWidget>
#include <filesystem>

#include "sim/bus.h"
#include "testing/board_at_115200.h"
#include "testing/row_name.h"
#include "tools/find_boards_dialog.h"
#include "window_fixture.h"

namespace tarnwick::gui_test {
namespace {

using Clock = std::chrono::steady_clock;

class FindTest : public WindowFixture {
 protected:
  void Open(const char* boards) {
    board_ = testing::Boards(boards);
    ports_ = {{"sim0", board_->PortPath()}};
    NewWindow();
    window_->OnFindBoards();
    find_ = window_->findChild<app::CFindBoardsDlg*>();
    ASSERT_NE(find_, nullptr);
  }

  QPushButton* Button(const QString& text) const {
    for (QPushButton* button : find_->findChildren<QPushButton*>())
      if (button->text().remove('&') == text) return button;
    throw std::runtime_error("no button " + text.toStdString());
  }

  // Log entries of frames sent whose summary begins with what.
  int SentInLog(const std::string& what) {
    window_->LogModel().Flush();
    int count = 0;
    for (int row = 0; row < window_->LogModel().rowCount(); ++row) {
      const link::TrafficEntry& entry = window_->LogModel().Entry(row);
      count += entry.direction == link::TrafficDirection::kTx && entry.summary.starts_with(what);
    }
    return count;
  }

  // Descriptors of this process open on the line's port.
  int OpenOnPort() const {
    int count = 0;
    for (const auto& fd : std::filesystem::directory_iterator("/proc/self/fd")) {
      std::error_code error;
      count += std::filesystem::read_symlink(fd.path(), error) == board_->PortPath();
    }
    return count;
  }

  app::CFindBoardsDlg* find_ = nullptr;
};

TEST_F(FindTest, ListsTheBoardsAndChoosingOneReachesIt) {
  Open("01@9600:stepper,05@19200:d-c,2A@115200");
  // Closed with its Close button and opened again, Enter still finds.
  find_->show();
  ASSERT_TRUE(QTest::qWaitForWindowActive(find_));
  QTest::mouseClick(Button("Close"), Qt::LeftButton);
  window_->OnFindBoards();
  ASSERT_TRUE(QTest::qWaitForWindowActive(find_));
  QTest::keyClick(find_->focusWidget(), Qt::Key_Return);
  ASSERT_TRUE(QTest::qWaitFor([this] { return !find_->Scanning(); }, 120'000));
  std::string rows;
  const QTableWidget& table = find_->Results();
  for (int row = 0; row < table.rowCount(); ++row)
    for (int column = 0; column < table.columnCount(); ++column)
      rows += table.item(row, column)->text().toStdString() + (column + 1 < table.columnCount() ? " " : ";");
  EXPECT_EQ(rows, "01 9600 Stepper ;05 19200 D-C ;2A 115200 Stepper ;") << find_->StatusText().toStdString();
  EXPECT_EQ(find_->StatusText(), "Found 3 boards");
  EXPECT_GE(SentInLog("CMD00 to FF"), 7);  // the probes reach the window's log

  // CMD13 asks a stepper: a D-C board's refusal proves the line reached it as well.
  for (const auto& [row, baud, address, result] : {std::tuple{2, 115200, "2A", "Success"},
                                                   {1, 19200, "05", "Motor Type Error"}}) {
    SCOPED_TRACE(address);
    find_->Results().selectRow(row);
    emit find_->Results().cellDoubleClicked(row, 0);
    EXPECT_EQ(window_->GetSelectedBaudRate(), baud);
    EXPECT_EQ(window_->CurrentLineSettings().addressText, address);
    window_->SelectTab(pages::kTabCmd13);
    SendAndWait(*window_, [this] { window_->OnOK(); });
    EXPECT_EQ(Result(), result);
  }

  // Opened for another port, Find names it and shows none of the old port's boards.
  find_->close();
  ASSERT_TRUE(window_->AddNetworkPort("socket://127.0.0.1:9"));
  window_->OnFindBoards();
  EXPECT_EQ(find_->PortText(), "socket://127.0.0.1:9");
  EXPECT_EQ(find_->Results().rowCount(), 0);
}

enum class StopBy { kCancel, kClosingTheTool, kClosingTheWindow };

struct StopCase {
  const char* name;
  StopBy how;
};

class StopTest : public FindTest, public ::testing::WithParamInterface<StopCase> {};

// Three boards at one rate garble the broadcast, so every address is probed: a
// scan of many seconds, stopped a little way in.
TEST_P(StopTest, EndsWithinAProbeAndGivesThePortBack) {
  Open("01@115200,05@115200:d-c,2A@115200");
  const int openBefore = OpenOnPort();
  find_->TickRates({6});
  find_->OnFind();
  ASSERT_TRUE(QTest::qWaitFor([this] { return find_->StatusText().contains("address 1"); }, 30'000))
      << find_->StatusText().toStdString();

  window_->SelectTab(pages::kTabCmd13);
  window_->OnOK();
  EXPECT_EQ(Result(), "Port busy: Find");
  EXPECT_EQ(SentInLog("CMD13"), 0);

  const auto start = Clock::now();
  switch (GetParam().how) {
    case StopBy::kCancel: Button("Cancel")->click(); break;
    case StopBy::kClosingTheTool: find_->close(); break;
    case StopBy::kClosingTheWindow: window_->done(0); break;
  }
  ASSERT_TRUE(QTest::qWaitFor([this] { return !find_->Scanning() && window_->PortBorrower().empty(); }, 60'000));
  const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
  // A probe lasts at most two full reads; the rest of the scan, over 250 addresses
  // at 50 ms or more each, would take well over ten seconds.
  EXPECT_LT(took, 5'000);
  EXPECT_EQ(OpenOnPort(), openBefore);
}

INSTANTIATE_TEST_SUITE_P(Ways, StopTest,
                         ::testing::Values(StopCase{"Cancel", StopBy::kCancel},
                                           StopCase{"ClosingTheTool", StopBy::kClosingTheTool},
                                           StopCase{"ClosingTheWindow", StopBy::kClosingTheWindow}),
                         testing::RowName());

}  // namespace
}  // namespace tarnwick::gui_test
