#pragma once
// The traffic log's own window: a resizable table beside the main dialog, with
// Copy, Clear and Save. It follows new entries unless the user has scrolled up.

#include <QWidget>

class QPushButton;
class QTableView;

namespace tarnwick::app {

class TrafficLogModel;

class CTrafficLogWindow : public QWidget {
  Q_OBJECT

 public:
  explicit CTrafficLogWindow(TrafficLogModel& model, QWidget* parent = nullptr);

  QTableView* Table() const { return m_table; }
  // The selected rows as text (also what Ctrl+C puts on the clipboard).
  QString SelectedText() const;
  // Shows the window to the right of anchor, or where it was last put.
  void ShowBeside(const QWidget& anchor);

 public slots:
  void CopySelection();
  void OnSave();

 private:
  void FollowNewRows();

  TrafficLogModel& m_model;
  QTableView* m_table = nullptr;
  bool m_placed = false;
  bool m_atBottom = true;
};

}  // namespace tarnwick::app
