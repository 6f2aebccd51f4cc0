#include "pages/tab_strip.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionTab>
#include <QStyleOptionTabWidgetFrame>
#include <QTabBar>
#include <algorithm>

namespace tarnwick::pages {

TabStrip::TabStrip(QWidget* parent) : QWidget(parent) {
  setFocusPolicy(Qt::TabFocus);
}

int TabStrip::addTab(const QString& text) {
  tabs_.push_back({text, 0, QRect()});
  if (current_ < 0) current_ = 0;
  layoutTabs();
  update();
  return count() - 1;
}

QString TabStrip::tabText(int index) const {
  return index >= 0 && index < count() ? tabs_[static_cast<std::size_t>(index)].text : QString();
}

QRect TabStrip::tabRect(int index) const {
  return index >= 0 && index < count() ? tabs_[static_cast<std::size_t>(index)].rect : QRect();
}

QSize TabStrip::naturalTabSize(const QString& text) const {
  QStyleOptionTab option;
  option.initFrom(this);
  option.shape = QTabBar::RoundedNorth;
  option.text = text;
  const QSize content(fontMetrics().horizontalAdvance(text), fontMetrics().height());
  const int hspace = style()->pixelMetric(QStyle::PM_TabBarTabHSpace, &option, this);
  const int vspace = style()->pixelMetric(QStyle::PM_TabBarTabVSpace, &option, this);
  const QSize padded(content.width() + hspace, content.height() + vspace);
  return style()->sizeFromContents(QStyle::CT_TabBarTab, &option, padded, this);
}

// Rows as tall as a multi-line tab control makes them, tighter than a style's
// single-row tab bar, so that the pages keep their room.
int TabStrip::rowHeight() const { return fontMetrics().height() + 8; }

void TabStrip::layoutTabs() {
  rowCount_ = 0;
  if (tabs_.empty()) return;

  // Fill rows left to right in tab order.
  std::vector<std::vector<std::size_t>> rows(1);
  int used = 0;
  for (std::size_t i = 0; i < tabs_.size(); ++i) {
    const int w = naturalTabSize(tabs_[i].text).width();
    if (used > 0 && used + w > width()) {
      rows.emplace_back();
      used = 0;
    }
    rows.back().push_back(i);
    tabs_[i].rect.setWidth(w);
    used += w;
  }
  rowCount_ = static_cast<int>(rows.size());

  // The selected tab's row goes to the bottom, next to the pages; the others keep
  // their cyclic order above it.
  const int selectedRow = [&] {
    for (int r = 0; r < rowCount_; ++r)
      for (std::size_t i : rows[static_cast<std::size_t>(r)])
        if (static_cast<int>(i) == current_) return r;
    return 0;
  }();
  const int h = rowHeight();
  for (int r = 0; r < rowCount_; ++r) {
    const auto& row = rows[static_cast<std::size_t>(r)];
    const int fromBottom = (r - selectedRow + rowCount_) % rowCount_;
    const int y = (rowCount_ - 1 - fromBottom) * h;
    int natural = 0;
    for (std::size_t i : row) natural += tabs_[i].rect.width();
    // A single row keeps its natural widths; several rows are stretched to the full width.
    const int extra = rowCount_ > 1 ? std::max(0, width() - natural) : 0;
    int x = 0;
    for (std::size_t k = 0; k < row.size(); ++k) {
      Tab& tab = tabs_[row[k]];
      const int share = extra / static_cast<int>(row.size()) +
                        (static_cast<int>(k) < extra % static_cast<int>(row.size()) ? 1 : 0);
      tab.row = r;
      tab.rect = QRect(x, y, tab.rect.width() + share, h);
      x += tab.rect.width();
    }
  }
}

QRect TabStrip::displayRect() const {
  const int top = rowCount_ * rowHeight();
  QStyleOptionTabWidgetFrame frame;
  frame.initFrom(this);
  const int margin = style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &frame, this) + 2;
  return QRect(0, top, width(), height() - top).adjusted(margin, margin, -margin, -margin);
}

QSize TabStrip::sizeHint() const { return {400, 300}; }

void TabStrip::setCurrentIndex(int index) {
  if (index < 0 || index >= count() || index == current_) return;
  current_ = index;
  layoutTabs();
  update();
  emit currentChanged(index);
}

void TabStrip::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const int top = rowCount_ * rowHeight();

  QStyleOptionTabWidgetFrame frame;
  frame.initFrom(this);
  frame.shape = QTabBar::RoundedNorth;
  frame.rect = QRect(0, top, width(), height() - top);
  frame.lineWidth = style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &frame, this);
  style()->drawPrimitive(QStyle::PE_FrameTabWidget, &frame, &painter, this);

  const auto draw = [&](int i) {
    const Tab& tab = tabs_[static_cast<std::size_t>(i)];
    QStyleOptionTab option;
    option.initFrom(this);
    option.shape = QTabBar::RoundedNorth;
    option.rect = tab.rect;
    option.text = tab.text;
    option.row = tab.row;
    const bool first = tab.rect.left() == 0;
    const bool last = tab.rect.right() >= width() - 1;
    option.position = first && last ? QStyleOptionTab::OnlyOneTab
                      : first       ? QStyleOptionTab::Beginning
                      : last        ? QStyleOptionTab::End
                                    : QStyleOptionTab::Middle;
    option.state &= ~QStyle::State_HasFocus;
    if (i == current_) {
      option.state |= QStyle::State_Selected;
      if (hasFocus()) option.state |= QStyle::State_HasFocus;
    }
    // Some styles fill below a selected tab as if it stood at the top of its widget;
    // with several rows that fill would run into the page, so keep it to the tab.
    painter.save();
    painter.setClipRect(tab.rect.adjusted(-2, -2, 2, 2));
    style()->drawControl(QStyle::CE_TabBarTab, &option, &painter, this);
    painter.restore();
  };
  // The selected tab last, so that it overlaps its neighbours and the frame line.
  for (int i = 0; i < count(); ++i)
    if (i != current_) draw(i);
  if (current_ >= 0) draw(current_);
}

void TabStrip::mousePressEvent(QMouseEvent* event) {
  for (int i = 0; i < count(); ++i) {
    if (tabs_[static_cast<std::size_t>(i)].rect.contains(event->position().toPoint())) {
      setCurrentIndex(i);
      return;
    }
  }
  QWidget::mousePressEvent(event);
}

void TabStrip::keyPressEvent(QKeyEvent* event) {
  switch (event->key()) {
    case Qt::Key_Left:
      setCurrentIndex(current_ - 1);
      break;
    case Qt::Key_Right:
      setCurrentIndex(current_ + 1);
      break;
    default:
      QWidget::keyPressEvent(event);
  }
}

void TabStrip::resizeEvent(QResizeEvent* event) {
  layoutTabs();
  QWidget::resizeEvent(event);
}

void TabStrip::changeEvent(QEvent* event) {
  if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange) layoutTabs();
  QWidget::changeEvent(event);
}

}  // namespace tarnwick::pages
