#include "tools/traffic_log_window.h"

#include <QApplication>
#include <QClipboard>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeySequence>
#include <QMessageBox>
#include <QPushButton>
#include <QSaveFile>
#include <QScreen>
#include <QScrollBar>
#include <QShortcut>
#include <QStyle>
#include <QTableView>
#include <QVBoxLayout>
#include <algorithm>
#include <numeric>

#include "bench/recorded_sequence.h"
#include "link/frame.h"
#include "pages/screen_placement.h"
#include "tools/traffic_log_model.h"

namespace tarnwick::app {
namespace {

constexpr int kGapToDialog = 8;
// The least log worth placing beside or below the dialog: every column, the bytes
// and summary narrowed to a short frame's and a few words' worth (the tooltips and
// a wider window show the rest), fourteen rows down.
constexpr int kLeastBytesShown = 8;
constexpr int kLeastSummaryDigits = 14;
constexpr int kLeastResultDigits = 8;
constexpr int kMostPortDigits = 32;
constexpr int kLeastRows = 14;
// The longest frame the tool reads, as the bytes column shows it.
const QString kLongestFrameText = QStringLiteral("FF ").repeated(static_cast<int>(link::kFrameBufferSize)).trimmed();

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
  rows->setDefaultSectionSize(RowHeight());
  QHeaderView* columns = m_table->horizontalHeader();
  columns->setStretchLastSection(true);
  const int digit = DigitWidth();
  // The bytes column holds the longest frame whole; the tooltips hold long summaries.
  const int bytesWidth = m_table->fontMetrics().horizontalAdvance(kLongestFrameText) + 2 * digit;
  const int widths[] = {13 * digit, 8 * digit, 6 * digit, bytesWidth, 50 * digit};
  for (int column = 0; column < static_cast<int>(std::size(widths)); ++column)
    m_table->setColumnWidth(column, widths[column]);

  auto* copy = new QPushButton(QStringLiteral("Copy"), this);
  auto* clear = new QPushButton(QStringLiteral("Clear"), this);
  auto* save = new QPushButton(QStringLiteral("Save..."), this);
  auto* saveSequence = new QPushButton(QStringLiteral("Save as sequence..."), this);
  saveSequence->setToolTip(QStringLiteral("A test sequence that sends the selected exchanges (or all) again and "
                                          "expects the replies recorded"));
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(copy);
  buttons->addWidget(clear);
  buttons->addWidget(save);
  buttons->addWidget(saveSequence);
  buttons->addStretch();
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(m_table);
  layout->addLayout(buttons);

  connect(copy, &QPushButton::clicked, this, &CTrafficLogWindow::CopySelection);
  connect(clear, &QPushButton::clicked, &m_model, &TrafficLogModel::Clear);
  connect(save, &QPushButton::clicked, this, &CTrafficLogWindow::OnSave);
  connect(saveSequence, &QPushButton::clicked, this, &CTrafficLogWindow::OnSaveSequence);
  auto* copyKey = new QShortcut(QKeySequence::Copy, m_table);
  copyKey->setContext(Qt::WidgetShortcut);
  connect(copyKey, &QShortcut::activated, this, &CTrafficLogWindow::CopySelection);
  FollowNewRows();
  connect(&m_model, &QAbstractItemModel::rowsInserted, this,
          [this](const QModelIndex&, int first, int last) { WidenPortColumn(first, last); });
  m_wantedSize = QSize(std::accumulate(std::begin(widths), std::end(widths), 20 * digit), 24 * fontMetrics().height());
  resize(m_wantedSize);
}

// A network port's name ("rfc2217://127.0.0.1:4000") shows whole, up to a limit.
void CTrafficLogWindow::WidenPortColumn(int first, int last) {
  const QFontMetrics metrics = m_table->fontMetrics();
  int needed = m_table->columnWidth(TrafficLogModel::kPort);
  for (int row = first; row <= last; ++row)
    needed = std::max(needed, metrics.horizontalAdvance(m_model.index(row, TrafficLogModel::kPort).data().toString()) +
                                  2 * DigitWidth());
  needed = std::min(needed, kMostPortDigits * DigitWidth());
  if (needed <= m_table->columnWidth(TrafficLogModel::kPort)) return;
  m_table->setColumnWidth(TrafficLogModel::kPort, needed);
  if (isVisible()) FitColumns(m_table->viewport()->width());
}

int CTrafficLogWindow::LeastBytesWidth() const {
  return m_table->fontMetrics().horizontalAdvance(kLongestFrameText.left(3 * kLeastBytesShown)) + 2 * DigitWidth();
}

int CTrafficLogWindow::LeastTableWidth() const {
  return m_table->columnWidth(TrafficLogModel::kTime) + m_table->columnWidth(TrafficLogModel::kPort) +
         m_table->columnWidth(TrafficLogModel::kDirection) + LeastBytesWidth() + kLeastSummaryDigits * DigitWidth() +
         LeastResultWidth();
}

int CTrafficLogWindow::LeastResultWidth() const {
  return std::max(kLeastResultDigits * DigitWidth(), m_table->horizontalHeader()->sectionSizeHint(TrafficLogModel::kResult));
}

// What the columns get across a window as wide as this one is now.
int CTrafficLogWindow::TableWidth() const {
  const QMargins margins = layout()->contentsMargins();
  return width() - margins.left() - margins.right() - 2 * m_table->frameWidth() -
         style()->pixelMetric(QStyle::PM_ScrollBarExtent);
}

// Narrows the summary column, then the bytes column, no further than their least,
// until the result column starts inside tableWidth.
void CTrafficLogWindow::FitColumns(int tableWidth) {
  int total = LeastResultWidth();
  for (int column = 0; column < TrafficLogModel::kResult; ++column) total += m_table->columnWidth(column);
  for (const auto& [column, narrowest] : {std::pair{TrafficLogModel::kSummary, kLeastSummaryDigits * DigitWidth()},
                                          std::pair{TrafficLogModel::kBytes, LeastBytesWidth()}}) {
    const int cut = std::min(total - tableWidth, m_table->columnWidth(column) - narrowest);
    if (cut <= 0) continue;
    m_table->setColumnWidth(column, m_table->columnWidth(column) - cut);
    total -= cut;
  }
}

int CTrafficLogWindow::DigitWidth() const { return fontMetrics().horizontalAdvance(QLatin1Char('0')); }

int CTrafficLogWindow::RowHeight() const { return fontMetrics().height() + 4; }

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

std::vector<int> CTrafficLogWindow::ChosenRows() const {
  std::vector<int> rows;
  for (const QModelIndex& index : m_table->selectionModel()->selectedRows()) rows.push_back(index.row());
  if (rows.empty())
    for (int row = 0; row < m_model.rowCount(); ++row) rows.push_back(row);
  std::sort(rows.begin(), rows.end());
  return rows;
}

bool CTrafficLogWindow::SaveSequenceTo(const QString& path, QString& error) const {
  link::ExchangeCollector collector;
  std::vector<link::RecordedExchange> exchanges;
  try {
    for (const int row : ChosenRows()) collector.Add(m_model.Entry(row), row + 1);
    exchanges = collector.Finish();
  } catch (const link::InvalidLog& invalid) {
    error = QStringLiteral("Row %1: %2").arg(invalid.line).arg(QString::fromStdString(invalid.reason));
    return false;
  }
  if (exchanges.empty()) {
    error = QStringLiteral("No frame sent among the rows chosen");
    return false;
  }
  const std::string yaml = bench::SequenceFromExchanges(exchanges, {}).yaml;
  QSaveFile file(path);
  if (file.open(QIODevice::WriteOnly) && file.write(yaml.data(), static_cast<qint64>(yaml.size())) == static_cast<qint64>(yaml.size()) &&
      file.commit())
    return true;
  error = QStringLiteral("Cannot write %1: %2").arg(path, file.errorString());
  return false;
}

void CTrafficLogWindow::OnSaveSequence() {
  const QString path = QFileDialog::getSaveFileName(this, QStringLiteral("Save as sequence"),
                                                    QStringLiteral("sequence.yaml"),
                                                    QStringLiteral("Sequences (*.yaml *.yml);;All files (*)"));
  QString error;
  if (!path.isEmpty() && !SaveSequenceTo(path, error)) QMessageBox::warning(this, QStringLiteral("Traffic log"), error);
}

void CTrafficLogWindow::ShowBeside(QWidget& anchor) {
  if (!m_placed) {
    const QRect dialog = anchor.frameGeometry();
    // The log's title bar and borders are taken to be the dialog's.
    const QSize decoration = dialog.size() - anchor.size();
    if (QScreen* screen = anchor.screen()) {
      setScreen(screen);
      const QSize least = minimumSizeHint().expandedTo(
          QSize(LeastTableWidth() + (width() - TableWidth()), kLeastRows * RowHeight()));
      const LogPlacement place =
          PlaceLogWindow(screen->availableGeometry(), dialog, m_wantedSize + decoration, least + decoration);
      if (place.dialogTopLeft != dialog.topLeft()) anchor.move(place.dialogTopLeft);
      // A screen with no room beside or below the dialog: the log's least, over the dialog.
      resize((place.log.size() - decoration).expandedTo(least));
      move(place.log.topLeft());
    }
    pages::KeepOnScreen(*this);
    FitColumns(TableWidth());
    m_placed = true;
  }
  show();
  raise();
  activateWindow();
  m_table->scrollToBottom();
}

LogPlacement PlaceLogWindow(const QRect& available, const QRect& dialog, const QSize& wanted, const QSize& least) {
  const int height = std::min(wanted.height(), available.height());
  const int top = std::clamp(dialog.top(), available.top(), available.bottom() + 1 - height);
  const int roomRight = available.right() - dialog.right() - kGapToDialog;
  const int roomLeft = dialog.left() - kGapToDialog - available.left();
  const bool right = roomRight >= wanted.width() || (roomLeft < wanted.width() && roomRight >= roomLeft);
  const int room = right ? roomRight : roomLeft;
  if (room >= least.width()) {
    const int width = std::min(wanted.width(), room);
    const int left = right ? dialog.right() + 1 + kGapToDialog : dialog.left() - kGapToDialog - width;
    return {QRect(left, top, width, height), dialog.topLeft()};
  }
  // Below: the dialog rises, no higher than the top of the screen, until the least height fits.
  const int shortfall = least.height() - (available.bottom() - dialog.bottom() - kGapToDialog);
  const QPoint dialogTopLeft(dialog.left(), std::max(available.top(), dialog.top() - std::max(0, shortfall)));
  const int logTop = dialogTopLeft.y() + dialog.height() + kGapToDialog;
  const int width = std::min(wanted.width(), available.width());
  const int left = std::clamp(dialog.left(), available.left(), available.right() + 1 - width);
  // A screen too short for both keeps at least half the least height for the log.
  const int below = std::max(least.height() / 2, available.bottom() + 1 - logTop);
  return {QRect(left, logTop, width, std::min(wanted.height(), below)), dialogTopLeft};
}

}  // namespace tarnwick::app
