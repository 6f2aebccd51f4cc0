#include "tools/watch_window.h"

#include <QCloseEvent>
#include <QShowEvent>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>
#include <QVBoxLayout>
#include <qcustomplot.h>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <optional>
#include <limits>

#include "pages/screen_placement.h"
#include "tools/traffic_log_model.h"

namespace tarnwick::app {
namespace {


QString Utf8(const std::string& text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

// What a plot can draw: a number, not a check, a named value or padding.
bool Plottable(const board::Field& field) {
  return !field.isStatus && !field.IsCheck() && field.values == nullptr && field.type != board::WireType::Pad;
}

std::vector<const board::Field*> PlottableFields(const board::Command& command) {
  std::vector<const board::Field*> fields;
  for (const board::Field* field : command.ResponseForm())
    if (Plottable(*field)) fields.push_back(field);
  return fields;
}

// Until the next exchange is due, or the stop is asked for.
const QColor kGraphColours[] = {QColor(0x1f, 0x77, 0xb4), QColor(0x2c, 0xa0, 0x2c), QColor(0xff, 0x7f, 0x0e),
                                QColor(0x94, 0x67, 0xbd), QColor(0x8c, 0x56, 0x4b), QColor(0x17, 0xbe, 0xcf)};

// Keeps the newest kMaxSamples of a graph's points.
void DropOldest(QCPGraphDataContainer& data) {
  if (data.size() > CWatchWindow::kMaxSamples)
    data.removeBefore((data.constBegin() + (data.size() - CWatchWindow::kMaxSamples))->key);
}

// Reply fields are integers: ticks on whole numbers, written out in full with
// their thousands grouped (1.5·10⁹ cannot tell a count's steps apart).
void ShowWholeNumbers(QCPAxis& axis) {
  auto ticker = QSharedPointer<QCPAxisTickerFixed>::create();
  ticker->setTickStep(1);
  ticker->setScaleStrategy(QCPAxisTickerFixed::ssMultiples);
  axis.setTicker(ticker);
  axis.setNumberFormat(QStringLiteral("f"));
  axis.setNumberPrecision(0);
}

QCPRange Union(const std::optional<QCPRange>& a, const QCPRange& b) {
  return a ? QCPRange(std::min(a->lower, b.lower), std::max(a->upper, b.upper)) : b;
}

}  // namespace

CWatchWindow::CWatchWindow(BenchHost& dialog, QWidget& parent)
    : QWidget(&parent, Qt::Window), dialog_(dialog), failures_(new Points) {
  BuildControls();
  SetUpPlot();
  OnCommandChosen();
  connect(&job_, &BenchJob::Finished, this, &CWatchWindow::OnFinished);
  auto* redraw = new QTimer(this);
  connect(redraw, &QTimer::timeout, this, &CWatchWindow::Redraw);
  redraw->start(kRedrawIntervalMs);
  resize(820, 520);
}

CWatchWindow::~CWatchWindow() { job_.StopAndWait(); }

void CWatchWindow::BuildControls() {
  command_ = new QComboBox;
  command_->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
  command_->setMinimumContentsLength(16);
  for (const board::Command& command : board::Current().commands)
    if (!PlottableFields(command).empty())
      command_->addItem(Utf8(command.name + "  " + command.title), Utf8(command.name));
  SelectCommand(QStringLiteral("CMD13"));
  interval_ = new QSpinBox;
  interval_->setRange(0, 3'600'000);
  interval_->setSuffix(tr(" ms"));
  interval_->setValue(kDefaultIntervalMs);
  interval_->setToolTip(tr("From the start of one exchange to the next"));
  startStop_ = new QPushButton(tr("Start"));
  pause_ = new QPushButton(tr("Pause"));
  pause_->setToolTip(tr("Holds the plot still; the exchanges go on"));
  autoScale_ = new QPushButton(tr("Auto-scale"));
  autoScale_->setToolTip(tr("Fits the plot to the data again and follows it (also: double click the plot)"));
  layout_ = new QComboBox;
  layout_->addItem(tr("One axis"), static_cast<int>(PlotLayout::SharedAxis));
  layout_->addItem(tr("One per field"), static_cast<int>(PlotLayout::AxisPerField));
  layout_->setToolTip(tr("Fields of very different sizes each need a plot of their own to be read"));

  // Three short rows rather than one long one: the window fits a small screen at a large scale.
  auto* polling = new QHBoxLayout;
  polling->addWidget(new QLabel(tr("Command")));
  polling->addWidget(command_, 1);
  polling->addWidget(new QLabel(tr("Interval")));
  polling->addWidget(interval_);
  polling->addWidget(startStop_);
  auto* plotting = new QHBoxLayout;
  plotting->addWidget(pause_);
  plotting->addWidget(autoScale_);
  plotting->addStretch(1);
  plotting->addWidget(new QLabel(tr("Plot")));
  plotting->addWidget(layout_);
  plotting->addWidget(BuildSaveButton());
  fieldBoxes_ = new QHBoxLayout;
  fieldBoxes_->addStretch(1);
  plot_ = new QCustomPlot;
  status_ = new QLabel;
  status_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  status_->setWordWrap(true);  // a long summary takes lines, not width
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(polling);
  layout->addLayout(plotting);
  layout->addLayout(fieldBoxes_);
  layout->addWidget(plot_, 1);
  layout->addWidget(status_);

  connect(command_, &QComboBox::currentIndexChanged, this, &CWatchWindow::OnCommandChosen);
  connect(interval_, &QSpinBox::valueChanged, this, [this](int ms) { intervalMs_ = ms; });
  connect(startStop_, &QPushButton::clicked, this, &CWatchWindow::OnStartStop);
  connect(pause_, &QPushButton::clicked, this, [this] { SetPaused(!paused_); });
  connect(autoScale_, &QPushButton::clicked, this, &CWatchWindow::AutoScale);
  connect(layout_, &QComboBox::currentIndexChanged, this, [this] { RebuildPlot(); });
  UpdateButtons();
}

// Save: the plot as a picture or a document, or the samples as CSV.
QWidget* CWatchWindow::BuildSaveButton() {
  auto* save = new QPushButton(tr("Save"));
  auto* menu = new QMenu(save);
  const auto savePlot = [this](const QString& name, const QString& filter) {
    const QString path = QFileDialog::getSaveFileName(this, tr("Save plot"), name, filter);
    if (!path.isEmpty() && !SavePlot(path))
      QMessageBox::warning(this, tr("Save plot"), tr("Could not write %1").arg(path));
  };
  connect(menu->addAction(tr("Plot as PNG...")), &QAction::triggered, this,
          [savePlot] { savePlot(QStringLiteral("watch.png"), tr("PNG images (*.png)")); });
  connect(menu->addAction(tr("Plot as PDF...")), &QAction::triggered, this,
          [savePlot] { savePlot(QStringLiteral("watch.pdf"), tr("PDF documents (*.pdf)")); });
  connect(menu->addAction(tr("Samples as CSV...")), &QAction::triggered, this, [this] {
    const QString path = QFileDialog::getSaveFileName(this, tr("Export samples"), QStringLiteral("watch.csv"),
                                                      tr("CSV files (*.csv)"));
    if (!path.isEmpty() && !SaveCsv(path))
      QMessageBox::warning(this, tr("Export samples"), tr("Could not write %1").arg(path));
  });
  save->setMenu(menu);
  return save;
}

void CWatchWindow::SetUpPlot() {
  plot_->setInteractions(QCP::iRangeDrag | QCP::iRangeZoom);
  QLocale grouped(QLocale::C);
  grouped.setNumberOptions(QLocale::DefaultNumberOptions);
  plot_->setLocale(grouped);
  plot_->axisRect()->insetLayout()->setInsetAlignment(0, Qt::AlignTop | Qt::AlignLeft);
  // Dragging or zooming holds the view where the user put it.
  connect(plot_, &QCustomPlot::mouseWheel, this, [this] { following_ = false; });
  connect(plot_, &QCustomPlot::mouseMove, this, [this](QMouseEvent* event) {
    if (event->buttons() != Qt::NoButton) following_ = false;
  });
  connect(plot_, &QCustomPlot::mouseDoubleClick, this, &CWatchWindow::AutoScale);
}

// The graphs again, on one axis rect or on one per field shown (stacked, their
// time axes moving together); the points stay.
void CWatchWindow::RebuildPlot() {
  plot_->clearGraphs();
  QCPLayoutGrid& grid = *plot_->plotLayout();
  while (grid.elementCount() > 1) grid.remove(grid.elementAt(grid.elementCount() - 1));
  grid.simplify();
  std::vector<PlottedField*> shown;
  for (PlottedField& field : fields_) {
    field.graph = nullptr;
    if (field.shown->isChecked()) shown.push_back(&field);
  }
  const bool stacked =
      static_cast<PlotLayout>(layout_->currentData().toInt()) == PlotLayout::AxisPerField && shown.size() > 1;
  auto* group = plot_->findChild<QCPMarginGroup*>();
  if (!group) group = new QCPMarginGroup(plot_);
  QCPAxisRect* rect = plot_->axisRect();
  for (std::size_t i = 0; i < shown.size(); ++i) {
    if (stacked && i > 0) {
      rect = new QCPAxisRect(plot_);
      grid.addElement(static_cast<int>(i), 0, rect);
      connect(rect->axis(QCPAxis::atBottom), qOverload<const QCPRange&>(&QCPAxis::rangeChanged), plot_->xAxis,
              qOverload<const QCPRange&>(&QCPAxis::setRange));
      connect(plot_->xAxis, qOverload<const QCPRange&>(&QCPAxis::rangeChanged), rect->axis(QCPAxis::atBottom),
              qOverload<const QCPRange&>(&QCPAxis::setRange));
    }
    rect->setMarginGroup(QCP::msLeft | QCP::msRight, group);
    PlottedField& field = *shown[i];
    field.graph = plot_->addGraph(rect->axis(QCPAxis::atBottom), rect->axis(QCPAxis::atLeft));
    field.graph->setData(field.points);
    field.graph->setName(field.label);
    const auto index = static_cast<std::size_t>(&field - fields_.data());
    field.graph->setPen(QPen(kGraphColours[index % std::size(kGraphColours)], 1));
    ShowWholeNumbers(*rect->axis(QCPAxis::atLeft));
    rect->axis(QCPAxis::atLeft)->setLabel(stacked ? field.label : QString());
    rect->axis(QCPAxis::atBottom)->setTickLabels(!stacked || i + 1 == shown.size());
  }
  // A failed exchange is a red tick at the foot of the lowest plot, on an axis of
  // its own that zooming leaves alone.
  rect->axis(QCPAxis::atBottom)->setLabel(tr("s since start"));
  if (stacked) plot_->xAxis->setLabel(QString());
  rect->axis(QCPAxis::atRight)->setRange(0, 1);
  failureGraph_ = plot_->addGraph(rect->axis(QCPAxis::atBottom), rect->axis(QCPAxis::atRight));
  failureGraph_->setData(failures_);
  failureGraph_->setName(tr("failed exchange"));
  failureGraph_->setLineStyle(QCPGraph::lsNone);
  QPainterPath tick;  // upwards from the foot
  tick.moveTo(0, 0);
  tick.lineTo(0, -6);
  failureGraph_->setScatterStyle(QCPScatterStyle(tick, QPen(Qt::red, 2), Qt::NoBrush, 12));
  plot_->legend->setVisible(!stacked);
  following_ = changed_ = true;
  Redraw();
}

const board::Command* CWatchWindow::ChosenCommand() const {
  return board::Current().FindNamed(command_->currentData().toString().toStdString());
}

bool CWatchWindow::SelectCommand(const QString& name) {
  const int index = command_->findData(name, Qt::UserRole, Qt::MatchFixedString);
  if (index >= 0) command_->setCurrentIndex(index);
  return index >= 0;
}

void CWatchWindow::SetIntervalMs(int ms) { interval_->setValue(ms); }

// A check box and a graph for each numeric field of the command's reply.
void CWatchWindow::OnCommandChosen() {
  if (!plot_) return;
  for (PlottedField& field : fields_) delete field.shown;
  fields_.clear();
  unplotted_.clear();
  csvRows_.clear();  // the export's columns are the new command's
  UpdateTitle();
  const board::Command* command = ChosenCommand();
  if (!command) return;
  csvKeys_ = board::ReplyFieldKeys(*command);
  for (const board::Field* field : PlottableFields(*command)) {
    auto* shown = new QCheckBox(Utf8(field->label));
    shown->setChecked(true);
    connect(shown, &QCheckBox::toggled, this, &CWatchWindow::RebuildPlot);
    fieldBoxes_->insertWidget(static_cast<int>(fields_.size()), shown);
    fields_.push_back({field->Key(), Utf8(field->label), QSharedPointer<Points>::create(), nullptr, shown});
  }
  RebuildPlot();
}

QCPGraph* CWatchWindow::GraphOf(const std::string& key) const {
  for (const PlottedField& field : fields_)
    if (field.key == key) return field.graph;
  return nullptr;
}

void CWatchWindow::ShowField(const std::string& key, bool shown) {
  for (PlottedField& field : fields_)
    if (field.key == key) field.shown->setChecked(shown);
}

void CWatchWindow::SetPlotLayout(PlotLayout layout) {
  layout_->setCurrentIndex(layout_->findData(static_cast<int>(layout)));
}

void CWatchWindow::OnStartStop() {
  if (Running()) {
    job_.RequestStop();
  } else {
    Start();
  }
}

bool CWatchWindow::Start() {
  const board::Command* command = ChosenCommand();
  if (Running() || !command) return false;
  PortLoan loan = dialog_.LendPort("Watch");
  if (!loan) {
    status_->setText(Utf8("Cannot start: " + loan.WhyRefused()));
    return false;
  }
  portLoan_ = std::move(loan);
  for (PlottedField& field : fields_) field.points->clear();
  failures_->clear();
  csvRows_.clear();
  unplotted_.clear();
  summary_ = {};
  stopReason_.clear();
  following_ = changed_ = true;
  UpdateTitle();
  Plan plan{command, dialog_.CurrentLineSettings(), {}, csvKeys_, &dialog_.LogModel()};
  plan.line.read.end = link::ReadEnd::Frame;  // as `tarnwick-cli watch`: the reply ends with its frame
  for (const PlottedField& field : fields_) plan.keys.push_back(field.key);
  job_.Start([this, plan = std::move(plan)](const std::atomic<bool>& stop) { Watch(stop, plan); });
  UpdateButtons();
  return true;
}

void CWatchWindow::Stop() { job_.StopAndWait(); }

// On the worker: each exchange's sample posted to the window.
void CWatchWindow::Watch(const std::atomic<bool>& stop, const Plan& plan) {
  const auto step = [this, &plan](bench::TimedExchange done, double since) {
    Sample sample{since, !done.Succeeded(), {}};
    for (const std::string& key : plan.keys) {
      double value = std::numeric_limits<double>::quiet_NaN();
      for (const board::DecodedField& field : done.record.fields) {
        if (field.key != key) continue;
        if (const auto* number = std::get_if<std::int64_t>(&field.value)) value = static_cast<double>(*number);
        if (const auto* physical = std::get_if<double>(&field.value)) value = *physical;
      }
      sample.values.push_back(value);
    }
    std::string row = bench::WatchCsvRow(bench::WallClockText(std::chrono::system_clock::now()), done, plan.csvKeys);
    const bool ends = bench::EndsTheWatch(done.Outcome().stage);
    job_.Post([this, sample = std::move(sample), done = std::move(done), row = std::move(row)]() mutable {
      Take(std::move(sample), std::move(done), std::move(row));
    });
    return !ends;
  };
  const bench::WatchPacing pacing{[this] { return intervalMs_.load(); }, [&stop] { return stop.load(); }};
  bench::RunWatchLoop(plan.line, *plan.command, {}, plan.log, pacing, step);
}

void CWatchWindow::Take(Sample sample, bench::TimedExchange done, std::string csvRow) {
  if (bench::EndsTheWatch(done.Outcome().stage)) {
    stopReason_ = done.error.empty() ? "no port selected" : done.ErrorText();
    return;
  }
  summary_.Add(done);
  csvRows_.push_back(std::move(csvRow));
  if (csvRows_.size() > kMaxSamples) csvRows_.pop_front();
  if (sample.values.size() == fields_.size()) unplotted_.push_back(std::move(sample));  // else: another command's
  if (unplotted_.size() > kMaxSamples) unplotted_.pop_front();
  changed_ = true;
}

void CWatchWindow::OnFinished() {
  portLoan_.GiveBack();
  UpdateButtons();
  changed_ = true;
  Redraw();
}

// The samples taken since the last redraw join the graphs, the oldest beyond
// kMaxSamples drop off, and the plot is drawn once.
void CWatchWindow::Redraw() {
  if (!changed_) return;
  status_->setText(StatusText());
  if (paused_) return;
  changed_ = false;
  for (std::size_t i = 0; i < fields_.size(); ++i) {
    QVector<QCPGraphData> points;
    for (const Sample& sample : unplotted_) points.push_back({sample.seconds, sample.values[i]});
    fields_[i].points->add(points, true);
    DropOldest(*fields_[i].points);
  }
  for (const Sample& sample : unplotted_)
    if (sample.failed) failures_->add({sample.seconds, 0});
  DropOldest(*failures_);
  unplotted_.clear();
  if (following_) FitAxes();
  plot_->replot(QCustomPlot::rpQueuedReplot);
}

// Every plot's time axis over the samples of the fields shown and the failures;
// each value axis over its own graphs.
void CWatchWindow::FitAxes() {
  std::optional<QCPRange> keys;
  for (const PlottedField& field : fields_) {
    bool found = false;
    const QCPRange range = field.graph ? field.points->keyRange(found) : QCPRange();
    if (found) keys = Union(keys, range);
  }
  bool found = false;
  if (const QCPRange range = failures_->keyRange(found); found) keys = Union(keys, range);
  for (QCPAxisRect* rect : plot_->axisRects()) {
    if (keys) rect->axis(QCPAxis::atBottom)->setRange(*keys);
    QCPAxis* values = rect->axis(QCPAxis::atLeft);
    values->setRange(FittedValueRange(values->graphs()));
  }
}

// From the visible data alone, every time, so nothing compounds from one redraw to
// the next: the data's span with a margin, or a span around a constant trace.
QCPRange CWatchWindow::FittedValueRange(const QList<QCPGraph*>& graphs) {
  std::optional<QCPRange> data;
  for (const QCPGraph* graph : graphs) {
    bool found = false;
    const QCPRange range = graph->visible() ? graph->getValueRange(found) : QCPRange();
    if (found) data = Union(data, range);
  }
  if (!data) return {0, 1};
  const double span = data->size();
  const double margin = span > 0 ? span * kValueMargin : std::max(std::abs(data->lower) * kValueMargin, 1.0);
  return {data->lower - margin, data->upper + margin};
}

void CWatchWindow::AutoScale() {
  following_ = changed_ = true;
  Redraw();
}

void CWatchWindow::SetPaused(bool paused) {
  paused_ = paused;
  changed_ = true;
  UpdateButtons();
  Redraw();
}

QString CWatchWindow::StatusText() const {
  std::string text = summary_.CountsText() + ";  " + summary_.RoundTripsText();
  if (!stopReason_.empty()) text += ";  stopped: " + stopReason_;
  else if (paused_) text += ";  plot paused";
  return Utf8(text);
}

bool CWatchWindow::SavePlot(const QString& path) {
  plot_->replot(QCustomPlot::rpImmediateRefresh);
  return path.endsWith(QStringLiteral(".pdf"), Qt::CaseInsensitive) ? plot_->savePdf(path) : plot_->savePng(path);
}

// What is watched: the command on the window's port, rate and address, as Start takes them.
void CWatchWindow::UpdateTitle() {
  const link::LineSettings line = dialog_.CurrentLineSettings();
  const QString port = dialog_.SelectedPortName().empty() ? tr("no port") : Utf8(dialog_.SelectedPortName());
  setWindowTitle(tr("Watch %1 on %2 at %3 baud, address %4")
                     .arg(command_->currentData().toString(), port)
                     .arg(dialog_.GetSelectedBaudRate())
                     .arg(Utf8(line.addressText)));
}

bool CWatchWindow::SaveCsv(const QString& path) const {
  std::ofstream out(std::filesystem::path(path.toStdU16String()), std::ios::binary | std::ios::trunc);
  out << bench::WatchCsvHeader(csvKeys_) << '\n';
  for (const std::string& row : csvRows_) out << row << '\n';
  out.close();
  return !out.fail();
}

void CWatchWindow::UpdateButtons() {
  startStop_->setText(Running() ? tr("Stop") : tr("Start"));
  pause_->setText(paused_ ? tr("Resume") : tr("Pause"));
  command_->setEnabled(!Running());
}

void CWatchWindow::showEvent(QShowEvent* event) {
  if (!Running()) UpdateTitle();
  if (!event->spontaneous()) pages::KeepOnScreen(*this);
  QWidget::showEvent(event);
}

void CWatchWindow::closeEvent(QCloseEvent* event) {
  Stop();
  QWidget::closeEvent(event);
}

}  // namespace tarnwick::app
