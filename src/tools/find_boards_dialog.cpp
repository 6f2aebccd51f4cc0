#include "tools/find_boards_dialog.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QShowEvent>
#include <QTableWidget>
#include <QVBoxLayout>

#include "link/baud_rates.h"
#include "link/hex_text.h"
#include "pages/screen_placement.h"
#include "tools/traffic_log_model.h"

namespace tarnwick::app {
namespace {

QString Utf8(const std::string& text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

constexpr int kProgressSteps = 1000;

// A typed end of the range: a device address a board can have, 01 to FE.
std::optional<int> RangeEnd(const QString& typed, const char* which, std::string& why) {
  const std::string text = typed.trimmed().toStdString();
  const auto address = link::ParseDeviceAddress(text);
  if (!address) why = std::string(which) + ": " + link::NotADeviceAddress(text);
  else if (*address == 0x00 || *address == link::kBroadcastAddress)
    why = std::string(which) + ": " + link::FormatHexByte(*address) + " is no board's address; 01 to FE";
  return why.empty() ? std::optional<int>(*address) : std::nullopt;
}

QTableWidgetItem* Cell(const std::string& text) {
  auto* item = new QTableWidgetItem(Utf8(text));
  item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
  return item;
}

QString Plural(std::size_t count, const char* one) {
  return QString::number(count) + " " + one + (count == 1 ? "" : "s");
}

}  // namespace

CFindBoardsDlg::CFindBoardsDlg(BenchHost& window, QWidget& parent) : QDialog(&parent), m_window(window) {
  setWindowTitle(tr("Find boards"));
  m_find = new QPushButton(tr("&Find"), this);
  m_find->setDefault(true);
  m_cancel = new QPushButton(tr("Cancel"), this);
  m_progress = new QProgressBar(this);
  m_progress->setRange(0, kProgressSteps);
  m_progress->setValue(0);
  m_status = new QLabel(this);
  m_status->setWordWrap(true);
  m_results = new QTableWidget(0, kColumnCount, this);
  m_results->setHorizontalHeaderLabels({tr("Address"), tr("Baud"), tr("Motor type"), tr("Conflict")});
  m_results->setSelectionBehavior(QAbstractItemView::SelectRows);
  m_results->setSelectionMode(QAbstractItemView::SingleSelection);
  m_results->verticalHeader()->hide();
  m_results->horizontalHeader()->setStretchLastSection(true);
  // A few rows: the columns fit their texts, and the conflict column takes what is left.
  for (const int column : {kAddress, kBaud, kMotorType})
    m_results->horizontalHeader()->setSectionResizeMode(column, QHeaderView::ResizeToContents);
  m_use = new QPushButton(tr("&Use"), this);
  auto* closeButton = new QPushButton(tr("Close"), this);
  // Enter finds, whichever button was pressed last.
  for (QPushButton* button : {m_cancel, m_use, closeButton}) button->setAutoDefault(false);

  auto* findRow = new QHBoxLayout;
  findRow->addWidget(m_find);
  findRow->addWidget(m_cancel);
  findRow->addWidget(m_progress, 1);
  auto* useRow = new QHBoxLayout;
  useRow->addStretch(1);
  useRow->addWidget(m_use);
  useRow->addWidget(closeButton);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(BuildOptions());
  layout->addLayout(findRow);
  layout->addWidget(m_status);
  layout->addWidget(m_results, 1);
  layout->addLayout(useRow);

  connect(m_find, &QPushButton::clicked, this, &CFindBoardsDlg::OnFind);
  connect(m_cancel, &QPushButton::clicked, this, &CFindBoardsDlg::OnCancel);
  connect(m_use, &QPushButton::clicked, this, &CFindBoardsDlg::OnUse);
  connect(closeButton, &QPushButton::clicked, this, &QDialog::reject);
  connect(m_results, &QTableWidget::cellDoubleClicked, this, &CFindBoardsDlg::OnUse);
  connect(m_results, &QTableWidget::itemSelectionChanged, this, [this] { ShowRunning(Scanning()); });
  connect(&job_, &BenchJob::Finished, this, &CFindBoardsDlg::EndScan);
  ShowRunning(false);
  resize(sizeHint().width(), 420);
}

CFindBoardsDlg::~CFindBoardsDlg() { job_.StopAndWait(); }

QWidget* CFindBoardsDlg::BuildOptions() {
  auto* box = new QGroupBox(tr("Look for"), this);
  auto* grid = new QGridLayout(box);
  const int rateColumns = static_cast<int>(link::kBaudRates.size() + 1) / 2;
  m_port = new QLabel(box);
  m_port->setTextInteractionFlags(Qt::TextSelectableByMouse);
  grid->addWidget(new QLabel(tr("Port:"), box), 0, 0);
  grid->addWidget(m_port, 0, 1, 1, rateColumns);
  grid->addWidget(new QLabel(tr("Rates:"), box), 1, 0);
  for (std::size_t i = 0; i < link::kBaudRates.size(); ++i) {
    auto* rate = new QCheckBox(QString::number(link::kBaudRates[i]), box);
    rate->setChecked(true);
    m_rates.push_back(rate);
    grid->addWidget(rate, 1 + static_cast<int>(i) / rateColumns, 1 + static_cast<int>(i) % rateColumns);
  }
  m_first = new QLineEdit(QString::fromStdString(link::FormatHexByte(link::kFirstBoardAddress)), box);
  m_last = new QLineEdit(QString::fromStdString(link::FormatHexByte(link::kLastBoardAddress)), box);
  auto* addresses = new QHBoxLayout;
  for (QLineEdit* edit : {m_first, m_last}) {
    edit->setMaxLength(4);  // 0x and two digits
    edit->setFixedWidth(edit->fontMetrics().horizontalAdvance(QStringLiteral("0xFFW")) + 12);
  }
  addresses->addWidget(m_first);
  addresses->addWidget(new QLabel(tr("to"), box));
  addresses->addWidget(m_last);
  addresses->addWidget(new QLabel(tr("(hex)"), box));
  addresses->addStretch(1);
  grid->addWidget(new QLabel(tr("Addresses:"), box), 3, 0);
  grid->addLayout(addresses, 3, 1, 1, rateColumns);
  return box;
}

QString CFindBoardsDlg::StatusText() const { return m_status->text(); }

QString CFindBoardsDlg::PortText() const { return m_port->text(); }

// The port the next scan takes: the window's. Results of another port go.
void CFindBoardsDlg::ShowPortToScan() {
  if (Scanning()) return;
  const std::string port = m_window.SelectedPortName();
  m_port->setText(port.empty() ? tr("none selected in the window") : Utf8(port));
  if (port == m_portName) return;
  m_portName.clear();
  m_results->setRowCount(0);
  m_progress->setValue(0);
  m_status->clear();
  m_status->setToolTip({});
  ShowRunning(false);
}

void CFindBoardsDlg::showEvent(QShowEvent* event) {
  ShowPortToScan();
  m_find->setDefault(true);
  QDialog::showEvent(event);
  if (!event->spontaneous()) pages::KeepOnScreen(*this);
}

// The window's port may have changed while this one stood open behind it.
void CFindBoardsDlg::changeEvent(QEvent* event) {
  if (event->type() == QEvent::ActivationChange && isActiveWindow()) ShowPortToScan();
  QDialog::changeEvent(event);
}

void CFindBoardsDlg::TickRates(const std::vector<int>& baudIndices) {
  for (std::size_t i = 0; i < m_rates.size(); ++i)
    m_rates[i]->setChecked(std::find(baudIndices.begin(), baudIndices.end(), static_cast<int>(i)) != baudIndices.end());
}

void CFindBoardsDlg::SetAddressRange(const QString& first, const QString& last) {
  m_first->setText(first);
  m_last->setText(last);
}

std::optional<bench::ScanRequest> CFindBoardsDlg::RequestFromControls() {
  std::string why;
  const auto first = RangeEnd(m_first->text(), "From", why);
  const auto last = first ? RangeEnd(m_last->text(), "To", why) : std::nullopt;
  if (first && last && *first > *last) why = "The addresses run backwards: give the lower one first";
  bench::ScanRequest request{m_window.CurrentLineSettings().portPath, {}, {first.value_or(0), last.value_or(0)}};
  for (std::size_t i = 0; i < m_rates.size(); ++i)
    if (m_rates[i]->isChecked()) request.baudIndices.push_back(static_cast<int>(i));
  if (why.empty() && request.baudIndices.empty()) why = "Tick at least one rate";
  if (why.empty() && request.port.empty()) why = "No port selected";
  if (why.empty()) return request;
  m_status->setText(Utf8(why));
  return std::nullopt;
}

void CFindBoardsDlg::OnFind() {
  if (Scanning()) return;
  auto request = RequestFromControls();
  if (!request) return;
  PortLoan loan = m_window.LendPort("Find");
  if (!loan) {
    m_status->setText(tr("Port busy: %1").arg(Utf8(loan.WhyRefused())));
    return;
  }
  m_portLoan = std::move(loan);
  m_portName = m_window.SelectedPortName();
  m_results->setRowCount(0);
  m_progress->setValue(0);
  m_status->setText(tr("Scanning %1...").arg(Utf8(m_portName)));
  StartScan(std::move(*request));
  ShowRunning(true);
}

void CFindBoardsDlg::StartScan(bench::ScanRequest request) {
  link::TrafficLog& windowLog = m_window.LogModel();
  job_.Start([this, &windowLog, request = std::move(request)](const std::atomic<bool>& stopRequested) {
    PostedTrafficLog log(job_, windowLog);
    bench::ScanCallbacks callbacks;
    callbacks.stopRequested = [&stopRequested] { return stopRequested.load(); };
    callbacks.progress = [this](const bench::ScanProgress& p) { job_.Post([this, p] { ShowProgress(p); }); };
    callbacks.found = [this](const bench::FoundBoard& board) { job_.Post([this, board] { AddRow(board); }); };
    bench::ScanResult outcome = bench::ScanLine(request, &log, callbacks);
    job_.Post([this, outcome = std::move(outcome)] { m_outcome = outcome; });
  });
}

void CFindBoardsDlg::ShowProgress(const bench::ScanProgress& progress) {
  m_progress->setValue(static_cast<int>(progress.fraction * kProgressSteps));
  m_status->setText(tr("Scanning %1 at %2 baud: %3").arg(Utf8(m_portName)).arg(progress.baud).arg(Utf8(progress.what)));
}

void CFindBoardsDlg::AddRow(const bench::FoundBoard& board) {
  const int row = m_results->rowCount();
  m_results->insertRow(row);
  m_results->setItem(row, kAddress, Cell(link::FormatHexByte(board.address)));
  m_results->setItem(row, kBaud, Cell(std::to_string(board.baud)));
  m_results->setItem(row, kMotorType, Cell(board.conflict || !board.motorType.empty() ? board.motorType : "(not read)"));
  m_results->setItem(row, kConflict, Cell(board.conflict ? "more than one board answers" : ""));
  if (row == 0) m_results->selectRow(0);
}

// Once the job's thread has ended: what it came to, and the port back to the window.
void CFindBoardsDlg::EndScan() {
  m_portLoan.GiveBack();
  ShowRunning(false);
  const std::size_t found = m_outcome.found.size();
  QString text = !m_outcome.error.empty() ? Utf8(m_outcome.error)
                 : m_outcome.stopped      ? tr("Stopped: %1 found so far").arg(Plural(found, "board"))
                                          : tr("Found %1").arg(Plural(found, "board"));
  QString heard;
  for (const bench::Unconfirmed& u : m_outcome.unconfirmed)
    heard += Utf8(link::FormatHexByte(u.address) + " at " + std::to_string(u.baud) + " baud: " + u.reason + "\n");
  if (!heard.isEmpty()) text += tr("; heard but not confirmed: %1 (see tooltip)").arg(m_outcome.unconfirmed.size());
  m_status->setText(text);
  m_status->setToolTip(heard.trimmed());
  if (!m_outcome.stopped && m_outcome.error.empty()) m_progress->setValue(kProgressSteps);
  m_outcome = {};
  emit ScanEnded();
}

void CFindBoardsDlg::OnCancel() {
  job_.RequestStop();
  m_status->setText(tr("Stopping..."));
}

void CFindBoardsDlg::StopScan() {
  if (!Scanning()) return;
  job_.StopAndWait();
  m_outcome.stopped = true;
  EndScan();
}

void CFindBoardsDlg::OnWindowClosing() {
  StopScan();
  hide();
}

void CFindBoardsDlg::OnUse() {
  const int row = m_results->currentRow();
  if (row < 0 || Scanning()) return;
  const auto baudIndex = link::BaudIndexOf(m_results->item(row, kBaud)->text().toInt());
  m_window.SelectPortNamed(m_portName);
  if (baudIndex) m_window.SelectBaudIndex(*baudIndex);
  m_window.SetAddressText(m_results->item(row, kAddress)->text().toStdString());
}

void CFindBoardsDlg::done(int result) {
  StopScan();
  QDialog::done(result);
}

void CFindBoardsDlg::ShowRunning(bool running) {
  m_find->setEnabled(!running);
  m_cancel->setEnabled(running);
  m_use->setEnabled(!running && m_results->currentRow() >= 0);
  for (QCheckBox* rate : m_rates) rate->setEnabled(!running);
  m_first->setEnabled(!running);
  m_last->setEnabled(!running);
}

}  // namespace tarnwick::app
