#include "app/traffic_log_window.h"

#include <QApplication>
#include <QClipboard>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeySequence>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QShortcut>
#include <QTableView>
#include <QVBoxLayout>

#include "app/traffic_log_model.h"

namespace tarnwick::app {
namespace {

constexpr int kGapToDialog = 8;

}  // namespace

CTrafficLogWindow::CTrafficLogWindow(TrafficLogModel& model, QWidget* parent)
    : QWidget(parent, Qt::Window), m_model(model), m_table(new QTableView(this)) {
  setWindowTitle(QStringLiteral("Traffic log"));
  m_table->setModel(&m_model);
  m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
  m_table->setSelectionMode(QAbstractItemView::ExtendedSelection);
  m_table->setWordWrap(false);
  m_table->setAlternatingRowColors(true);
  // Fixed row heights and column widths keep 100,000 rows cheap to lay out.
  QHeaderView* rows = m_table->verticalHeader();
  rows->hide();
  rows->setSectionResizeMode(QHeaderView::Fixed);
  rows->setDefaultSectionSize(fontMetrics().height() + 4);
  QHeaderView* columns = m_table->horizontalHeader();
  columns->setStretchLastSection(true);
  const int digit = fontMetrics().horizontalAdvance(QLatin1Char('0'));
  const int widths[] = {13 * digit, 8 * digit, 6 * digit, 38 * digit, 50 * digit};
  for (int column = 0; column < static_cast<int>(std::size(widths)); ++column)
    m_table->setColumnWidth(column, widths[column]);

  auto* copy = new QPushButton(QStringLiteral("Copy"), this);
  auto* clear = new QPushButton(QStringLiteral("Clear"), this);
  auto* save = new QPushButton(QStringLiteral("Save..."), this);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(copy);
  buttons->addWidget(clear);
  buttons->addWidget(save);
  buttons->addStretch();
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(m_table);
  layout->addLayout(buttons);

  connect(copy, &QPushButton::clicked, this, &CTrafficLogWindow::CopySelection);
  connect(clear, &QPushButton::clicked, &m_model, &TrafficLogModel::Clear);
  connect(save, &QPushButton::clicked, this, &CTrafficLogWindow::OnSave);
  auto* copyKey = new QShortcut(QKeySequence::Copy, m_table);
  copyKey->setContext(Qt::WidgetShortcut);
  connect(copyKey, &QShortcut::activated, this, &CTrafficLogWindow::CopySelection);
  FollowNewRows();
  resize(140 * digit, 24 * fontMetrics().height());
}

void CTrafficLogWindow::FollowNewRows() {
  // At the bottom before rows arrive: stay there. Scrolled up: stay where the user is.
  connect(&m_model, &QAbstractItemModel::rowsAboutToBeInserted, this, [this] {
    const QScrollBar* bar = m_table->verticalScrollBar();
    m_atBottom = bar->value() >= bar->maximum();
  });
  connect(&m_model, &QAbstractItemModel::rowsInserted, this, [this] {
    if (m_atBottom) m_table->scrollToBottom();
  });
}

QString CTrafficLogWindow::SelectedText() const {
  std::vector<int> rows;
  for (const QModelIndex& index : m_table->selectionModel()->selectedRows()) rows.push_back(index.row());
  return m_model.RowsAsText(std::move(rows));
}

void CTrafficLogWindow::CopySelection() {
  const QString text = SelectedText();
  if (!text.isEmpty()) QApplication::clipboard()->setText(text);
}

void CTrafficLogWindow::OnSave() {
  const QString path = QFileDialog::getSaveFileName(this, QStringLiteral("Save traffic log"),
                                                    QStringLiteral("traffic.jsonl"),
                                                    QStringLiteral("JSON lines (*.jsonl);;CSV (*.csv);;All files (*)"));
  if (path.isEmpty()) return;
  if (!m_model.SaveTo(path))
    QMessageBox::warning(this, QStringLiteral("Traffic log"), QStringLiteral("Cannot write %1").arg(path));
}

void CTrafficLogWindow::ShowBeside(const QWidget& anchor) {
  if (!m_placed) {
    const QRect dialog = anchor.frameGeometry();
    QPoint at(dialog.right() + kGapToDialog, dialog.top());
    // Off the right edge of the screen: the left side of the dialog instead.
    if (const QScreen* screen = anchor.screen()) {
      const QRect area = screen->availableGeometry();
      if (at.x() + width() > area.right()) at.setX(std::max(area.left(), dialog.left() - kGapToDialog - width()));
    }
    move(at);
    m_placed = true;
  }
  show();
  raise();
  activateWindow();
  m_table->scrollToBottom();
}

}  // namespace tarnwick::app
