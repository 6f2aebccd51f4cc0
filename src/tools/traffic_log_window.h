#pragma once
// The traffic log's own window: a resizable table beside the main dialog, with
// Copy, Clear and Save. It follows new entries unless the user has scrolled up.
// Where it opens, every column shows: the summary and bytes columns narrow to fit.

#include <QRect>
#include <QWidget>
#include <vector>

class QPushButton;
class QTableView;

namespace tarnwick::app {

class TrafficLogModel;

// Where the log window goes, as frame rectangles in screen coordinates, and where
// the dialog goes (it moves only to make room below it).
struct LogPlacement {
  QRect log;
  QPoint dialogTopLeft;
};

// Beside the dialog (right, then left) where the screen's available area has room
// for at least the least width, at the wanted width where it fits; else below the
// dialog, which rises (no higher than the screen's top) to leave the log at least
// its least height. The log never overlaps the dialog.
LogPlacement PlaceLogWindow(const QRect& available, const QRect& dialog, const QSize& wanted, const QSize& least);

class CTrafficLogWindow : public QWidget {
  Q_OBJECT

 public:
  explicit CTrafficLogWindow(TrafficLogModel& model, QWidget* parent = nullptr);

  QTableView* Table() const { return m_table; }
  // Wide enough for every column, before a small screen narrows it.
  QSize WantedSize() const { return m_wantedSize; }
  // The selected rows as text (also what Ctrl+C puts on the clipboard).
  QString SelectedText() const;
  // The selected rows as a test sequence, as tarnwick-cli replay writes it (every
  // row when none is selected). False, with why in error, when nothing was written.
  bool SaveSequenceTo(const QString& path, QString& error) const;
  // Shows the window beside or below anchor (PlaceLogWindow), or where it was last put.
  void ShowBeside(QWidget& anchor);

 public slots:
  void CopySelection();
  void OnSave();
  void OnSaveSequence();

 private:
  void FollowNewRows();
  void WidenPortColumn(int first, int last);
  int LeastBytesWidth() const;
  int LeastResultWidth() const;
  int LeastTableWidth() const;
  int TableWidth() const;
  void FitColumns(int tableWidth);
  std::vector<int> ChosenRows() const;
  int DigitWidth() const;
  int RowHeight() const;

  TrafficLogModel& m_model;
  QTableView* m_table = nullptr;
  QSize m_wantedSize;
  bool m_placed = false;
  bool m_atBottom = true;
};

}  // namespace tarnwick::app
