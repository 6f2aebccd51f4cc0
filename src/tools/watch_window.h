#pragma once
// Watch: one status command again and again on the window's port, rate and
// address, each numeric reply field plotted against the seconds since the start,
// with the running summary `tarnwick-cli watch` prints and its CSV. The exchanges
// run on a BenchJob; the plot takes the samples that came in at most ~30 times a
// second, and keeps the last kMaxSamples of each field. The fields share one value
// axis, or each has a plot of its own, stacked over the one time axis (a step count
// in the millions and a duty in percent cannot share an axis and both be read).

#include <QSharedPointer>
#include <QWidget>
#include <atomic>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "bench/watch.h"
#include "board/board.h"
#include "link/traffic_log.h"
#include "link/transaction.h"
#include "tools/bench_host.h"
#include "tools/bench_job.h"

class QCheckBox;
class QComboBox;
class QCPGraph;
class QCPGraphData;
template <class DataType>
class QCPDataContainer;
class QCPRange;
class QCustomPlot;
class QHBoxLayout;
class QLabel;
class QPushButton;
class QSpinBox;

namespace tarnwick::app {

class CWatchWindow : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kMaxSamples = 100'000;
  static constexpr int kRedrawIntervalMs = 33;
  static constexpr int kDefaultIntervalMs = 100;
  static constexpr double kValueMargin = 0.05;  // of the data's span, above and below
  enum class PlotLayout { SharedAxis, AxisPerField };

  // A window of its own, a child of dialog, whose port it borrows while it runs.
  CWatchWindow(BenchHost& dialog, QWidget& parent);
  ~CWatchWindow() override;

  // Starts watching the chosen command; false, with why in the status line, when
  // the port cannot be borrowed.
  bool Start();
  void Stop();  // and waits for the exchange under way
  void OnWindowClosing() { Stop(); }
  bool Running() const { return job_.Running(); }
  void SetPaused(bool paused);
  void AutoScale();
  // The samples kept, as `tarnwick-cli watch --csv` prints them. False when the file cannot be written.
  bool SaveCsv(const QString& path) const;
  // The plot as drawn, as a PDF for a path ending in .pdf, else as a PNG. False when not written.
  bool SavePlot(const QString& path);

  void SetPlotLayout(PlotLayout layout);
  void ShowField(const std::string& key, bool shown);

  bool SelectCommand(const QString& name);
  void SetIntervalMs(int ms);
  const bench::WatchSummary& Summary() const { return summary_; }
  QString StatusText() const;
  QCustomPlot& Plot() const { return *plot_; }
  // The graph of a reply field by its key; null when the command has none such or it is hidden.
  QCPGraph* GraphOf(const std::string& key) const;
  QCPGraph& FailureMarks() const { return *failureGraph_; }

 protected:
  void closeEvent(QCloseEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  using Points = QCPDataContainer<QCPGraphData>;
  struct Sample {
    double seconds = 0;
    bool failed = false;
    std::vector<double> values;  // per plotted field; NaN where the reply had none
  };
  // What the worker needs, fixed at the start.
  struct Plan {
    const board::Command* command = nullptr;
    link::LineSettings line;
    std::vector<std::string> keys;  // plotted, in fields_' order
    std::vector<std::string> csvKeys;
    link::TrafficLog* log = nullptr;
  };
  struct PlottedField {
    std::string key;
    QString label;
    QSharedPointer<Points> points;  // kept while the graph is rebuilt
    QCPGraph* graph = nullptr;      // null while hidden
    QCheckBox* shown = nullptr;
  };

  void BuildControls();
  QWidget* BuildSaveButton();
  void SetUpPlot();
  void RebuildPlot();
  void FitAxes();
  void UpdateTitle();
  void OnCommandChosen();
  void OnStartStop();
  void Watch(const std::atomic<bool>& stop, const Plan& plan);
  void Take(Sample sample, bench::TimedExchange done, std::string csvRow);
  void OnFinished();
  void Redraw();
  static QCPRange FittedValueRange(const QList<QCPGraph*>& graphs);
  void UpdateButtons();
  const board::Command* ChosenCommand() const;

  BenchHost& dialog_;
  QComboBox* command_ = nullptr;
  QSpinBox* interval_ = nullptr;
  QPushButton* startStop_ = nullptr;
  QPushButton* pause_ = nullptr;
  QPushButton* autoScale_ = nullptr;
  QComboBox* layout_ = nullptr;
  QHBoxLayout* fieldBoxes_ = nullptr;
  QCustomPlot* plot_ = nullptr;
  QCPGraph* failureGraph_ = nullptr;
  QSharedPointer<Points> failures_;
  QLabel* status_ = nullptr;

  std::vector<PlottedField> fields_;
  std::vector<std::string> csvKeys_;
  std::deque<std::string> csvRows_;  // the last kMaxSamples
  std::deque<Sample> unplotted_;     // taken, not yet in the graphs
  bench::WatchSummary summary_;
  std::string stopReason_;
  bool paused_ = false, following_ = true, changed_ = false;
  std::atomic<int> intervalMs_{kDefaultIntervalMs};
  PortLoan portLoan_;
  BenchJob job_;  // last: stopped before the rest goes
};

}  // namespace tarnwick::app
