#pragma once
// A tab control that wraps its tabs into as many rows as they need, so every label
// is visible at once and no scroll arrows appear. Rows are stretched to the full
// width, and the row holding the selected tab sits next to the display area, as a
// multi-line tab control does. It draws only the tabs and the frame: the pages are
// sibling widgets that the owner places over displayRect().

#include <QString>
#include <QWidget>
#include <vector>

namespace tarnwick::pages {

class TabStrip : public QWidget {
  Q_OBJECT

 public:
  explicit TabStrip(QWidget* parent = nullptr);

  int addTab(const QString& text);
  int count() const { return static_cast<int>(tabs_.size()); }
  QString tabText(int index) const;
  int currentIndex() const { return current_; }
  int rowCount() const { return rowCount_; }
  QRect tabRect(int index) const;  // in this widget's coordinates
  QRect displayRect() const;       // the page area inside the frame, below the tabs

  QSize sizeHint() const override;

 public slots:
  // Selects index; emits currentChanged only when the selection changes.
  void setCurrentIndex(int index);

 signals:
  void currentChanged(int index);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  struct Tab {
    QString text;
    int row = 0;
    QRect rect;
  };
  QSize naturalTabSize(const QString& text) const;
  void layoutTabs();
  int rowHeight() const;

  std::vector<Tab> tabs_;
  int current_ = -1;
  int rowCount_ = 0;
};

}  // namespace tarnwick::pages
