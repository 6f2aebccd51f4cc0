#include "tools/sequence_window.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QShowEvent>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <set>

#include "link/baud_rates.h"
#include "link/record_file.h"
#include "pages/screen_placement.h"
#include "tools/traffic_log_model.h"

namespace tarnwick::app {
namespace {

enum Column : int { kNumber, kLine, kStep, kResult, kOutcome, kColumnCount };

QString Utf8(const std::string& text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

QColor VerdictColor(const bench::StepOutcome* outcome) {
  if (!outcome) return QColor(0x1f, 0x5f, 0xbf);  // running
  switch (outcome->verdict) {
    case bench::StepOutcome::Passed: return QColor(0x1a, 0x7f, 0x37);
    case bench::StepOutcome::Failed: return QColor(0xc6, 0x28, 0x28);
    default: return QColor(0x80, 0x80, 0x80);
  }
}

QIcon Dot(const QColor& color) {
  QPixmap pixmap(12, 12);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(Qt::NoPen);
  painter.setBrush(color);
  painter.drawEllipse(1, 1, 10, 10);
  return QIcon(pixmap);
}

// The counts of each verdict, and what the first failed step's hint says.
QString Summary(const std::vector<bench::StepOutcome>& outcomes) {
  QString hint;
  for (std::size_t i = 0; i < outcomes.size() && hint.isEmpty(); ++i)
    if (!outcomes[i].hint.empty()) hint = QObject::tr("\nStep %1: %2").arg(i + 1).arg(Utf8(outcomes[i].hint));
  const auto count = [&](bench::StepOutcome::Verdict verdict) {
    return std::count_if(outcomes.begin(), outcomes.end(), [&](const auto& o) { return o.verdict == verdict; });
  };
  return QObject::tr("%1 passed, %2 failed, %3 skipped")
      .arg(count(bench::StepOutcome::Passed))
      .arg(count(bench::StepOutcome::Failed))
      .arg(count(bench::StepOutcome::Skipped)) +
         hint;
}

}  // namespace

CSequenceWindow::CSequenceWindow(BenchHost& owner, QWidget& parent) : QDialog(&parent), owner_(owner) {
  setWindowTitle(tr("Run sequence"));
  file_ = new QLineEdit(this);
  file_->setReadOnly(true);
  file_->setPlaceholderText(tr("No sequence opened"));
  open_ = new QPushButton(tr("&Open..."), this);
  steps_ = new QTreeWidget(this);
  steps_->setColumnCount(kColumnCount);
  steps_->setHeaderLabels({tr("#"), tr("Line"), tr("Step"), tr("Result"), tr("Outcome")});
  steps_->setRootIsDecorated(false);
  steps_->setUniformRowHeights(true);
  steps_->header()->setStretchLastSection(true);
  status_ = new QLabel(this);
  status_->setWordWrap(true);
  status_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  line_ = new QLabel(this);
  line_->setWordWrap(true);
  keepGoing_ = new QCheckBox(tr("&Keep going after a failed step"), this);
  run_ = new QPushButton(tr("&Run"), this);
  stop_ = new QPushButton(tr("S&top"), this);
  save_ = new QPushButton(tr("Save &JUnit report..."), this);
  auto* close = new QPushButton(tr("Close"), this);

  auto* fileRow = new QHBoxLayout;
  fileRow->addWidget(new QLabel(tr("Sequence:"), this));
  fileRow->addWidget(file_, 1);
  fileRow->addWidget(open_);
  auto* buttonRow = new QHBoxLayout;
  buttonRow->addWidget(keepGoing_);
  buttonRow->addStretch(1);
  for (QPushButton* button : {run_, stop_, save_, close}) buttonRow->addWidget(button);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(fileRow);
  layout->addWidget(line_);
  layout->addWidget(steps_, 1);
  layout->addWidget(status_);
  layout->addLayout(buttonRow);
  resize(720, 360);

  connect(open_, &QPushButton::clicked, this, &CSequenceWindow::OnOpenClicked);
  connect(run_, &QPushButton::clicked, this, &CSequenceWindow::Run);
  connect(stop_, &QPushButton::clicked, this, &CSequenceWindow::Stop);
  connect(save_, &QPushButton::clicked, this, &CSequenceWindow::OnSaveClicked);
  connect(close, &QPushButton::clicked, this, &QDialog::reject);
  connect(&job_, &BenchJob::Finished, this, &CSequenceWindow::EndRun);
  UpdateButtons();
}

CSequenceWindow::~CSequenceWindow() { job_.StopAndWait(); }

void CSequenceWindow::showEvent(QShowEvent* event) {
  ShowLine();
  QDialog::showEvent(event);
  if (!event->spontaneous()) pages::KeepOnScreen(*this);
}

// The window's port when it has one (else the file's), at the rates the file's steps give.
void CSequenceWindow::ShowLine() {
  const std::string windowPort = owner_.SelectedPortName();
  QString port = windowPort.empty() ? tr("the file's port") : tr("%1 (the window's port)").arg(Utf8(windowPort));
  std::set<int> rates;
  for (const bench::Step& step : parsed_) {
    if (!step.command) continue;
    rates.insert(link::BaudRateAt(step.settings.baudIndex).value_or(0));
    if (windowPort.empty()) port = Utf8(step.settings.portPath);
  }
  QStringList rateTexts;
  for (const int rate : rates) rateTexts << QString::number(rate);
  line_->setText(rateTexts.isEmpty() ? tr("Runs on %1").arg(port)
                                     : tr("Runs on %1 at %2 baud").arg(port, rateTexts.join(QStringLiteral(", "))));
}

void CSequenceWindow::OnWindowClosing() {
  job_.StopAndWait();
  EndRun();
}

void CSequenceWindow::done(int result) {
  job_.StopAndWait();
  EndRun();
  QDialog::done(result);
}

bool CSequenceWindow::Open(const QString& path) {
  if (job_.Running()) return false;
  path_ = path;
  file_->setText(path);
  outcomes_.clear();
  const bool valid = ReadSteps(path);
  if (valid) ShowStatus(tr("%n step(s)", nullptr, static_cast<int>(parsed_.size())), false);
  ShowLine();
  UpdateButtons();
  return valid;
}

bool CSequenceWindow::ReadSteps(const QString& path) {
  try {
    parsed_ = bench::ParseSequence(path.toStdString(), owner_.CurrentLineSettings().portPath);
  } catch (const bench::InvalidSequence& invalid) {
    parsed_.clear();
    ListSteps();
    ShowStatus(Utf8(bench::PlacedReason(path.toStdString(), invalid)), true);
    return false;
  }
  ListSteps();
  return true;
}

void CSequenceWindow::ListSteps() {
  steps_->clear();
  for (std::size_t i = 0; i < parsed_.size(); ++i) {
    const bench::Step& step = parsed_[i];
    auto* row = new QTreeWidgetItem(steps_);
    row->setText(kNumber, QString::number(i + 1));
    row->setText(kLine, QString::number(step.line));
    row->setText(kStep, Utf8(step.title) + (step.repeat > 1 ? QStringLiteral(" x%1").arg(step.repeat) : QString()));
  }
  for (int column = 0; column < kOutcome; ++column) steps_->resizeColumnToContents(column);
  steps_->setColumnWidth(kStep, std::max(steps_->columnWidth(kStep), 120));
  steps_->setColumnWidth(kResult, 140);
}

// outcome: null while the step runs.
void CSequenceWindow::ShowStep(std::size_t index, const bench::StepOutcome* outcome) {
  QTreeWidgetItem* row = steps_->topLevelItem(static_cast<int>(index));
  if (!row) return;
  const QColor color = VerdictColor(outcome);
  QString text = tr("running");
  if (outcome) {
    row->setText(kResult, Utf8(outcome->result));
    text = Utf8(bench::VerdictText(outcome->verdict));
    if (!outcome->differs.empty()) text += ": " + Utf8(outcome->differs);
  }
  row->setText(kOutcome, text);
  row->setIcon(kOutcome, Dot(color));
  row->setForeground(kOutcome, color);
  const QString hint = outcome && !outcome->hint.empty() ? "\n" + tr("Hint: %1").arg(Utf8(outcome->hint)) : QString();
  row->setToolTip(kOutcome, text + hint);
  steps_->scrollToItem(row);
}

void CSequenceWindow::ShowStatus(const QString& text, bool error) {
  status_->setText(text);
  status_->setStyleSheet(error ? QStringLiteral("color: #c62828") : QString());
}

QString CSequenceWindow::StatusText() const { return status_->text(); }

bool CSequenceWindow::Run() {
  if (job_.Running() || path_.isEmpty()) return false;
  outcomes_.clear();
  if (!ReadSteps(path_)) {
    UpdateButtons();
    return false;
  }
  PortLoan loan = owner_.LendPort("Sequence");
  if (!loan) {
    ShowStatus(Utf8(loan.WhyRefused()), true);
    return false;
  }
  portLoan_ = std::move(loan);
  ShowStatus(tr("Running..."), false);
  StartWorker();
  UpdateButtons();
  return true;
}

void CSequenceWindow::StartWorker() {
  log_ = std::make_unique<PostedTrafficLog>(job_, owner_.LogModel());
  bench::SequenceRunOptions options;
  options.keepGoing = keepGoing_->isChecked();
  options.log = log_.get();
  options.stepStarting = [this](std::size_t i) { job_.Post([this, i] { ShowStep(i, nullptr); }); };
  options.stepDone = [this](std::size_t i, const bench::StepOutcome& o) { job_.Post([this, i, o] { ShowStep(i, &o); }); };
  job_.Start([this, steps = parsed_, options](const std::atomic<bool>& stopRequested) mutable {
    options.whyStopping = [&stopRequested] { return stopRequested ? std::string("stopped") : std::string(); };
    const bench::SequenceResult result = bench::RunSteps(steps, options);
    job_.Post([this, result] {
      outcomes_ = result.outcomes;
      ShowStatus(Summary(outcomes_) + (result.stopped.empty() ? QString() : tr("; stopped")), result.failed);
      UpdateButtons();
    });
  });
}

// The worker has ended (or was stopped and waited for): the port goes back.
void CSequenceWindow::EndRun() {
  if (!portLoan_) return;
  portLoan_.GiveBack();
  UpdateButtons();
  emit RunFinished();
}

void CSequenceWindow::UpdateButtons() {
  const bool running = job_.Running();
  open_->setEnabled(!running);
  keepGoing_->setEnabled(!running);
  run_->setEnabled(!running && !path_.isEmpty());
  stop_->setEnabled(running);
  save_->setEnabled(!running && !outcomes_.empty());
}

std::string CSequenceWindow::SaveJUnitReport(const std::string& path) const {
  if (outcomes_.empty()) return "no run to report";
  std::string error;
  std::optional<link::RecordFile> file = link::RecordFile::Open(path, "the report", error);
  if (!file) return error;
  const std::string xml = bench::JUnitReport(bench::SuiteName(path_.toStdString()), parsed_, outcomes_);
  return file->Replace(xml) && file->Close() ? "" : file->Error();
}

void CSequenceWindow::OnOpenClicked() {
  const QString path = QFileDialog::getOpenFileName(this, tr("Open sequence"), path_,
                                                    tr("Sequences (*.yaml *.yml);;All files (*)"));
  if (!path.isEmpty()) Open(path);
}

void CSequenceWindow::OnSaveClicked() {
  const QString path = QFileDialog::getSaveFileName(this, tr("Save JUnit report"), tr("report.xml"),
                                                    tr("JUnit XML (*.xml);;All files (*)"));
  if (path.isEmpty()) return;
  const std::string error = SaveJUnitReport(path.toStdString());
  ShowStatus(error.empty() ? tr("Report saved: %1").arg(path) : Utf8(error), !error.empty());
}

}  // namespace tarnwick::app
