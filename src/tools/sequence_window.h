#pragma once
// Run sequence: a YAML sequence (the file tarnwick-cli run reads) listed step by
// step and run on the window's port, each step's verdict shown as it ends, with the
// same JUnit report as run --junit. The run goes on a worker of its own and holds
// the window's port until it ends, is stopped, or either window closes.

#include <QDialog>
#include <QString>
#include <memory>
#include <string>
#include <vector>

#include "bench/sequence_file.h"
#include "bench/sequence_run.h"
#include "link/traffic_log.h"
#include "tools/bench_host.h"
#include "tools/bench_job.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTreeWidget;

namespace tarnwick::app {

class CSequenceWindow : public QDialog {
  Q_OBJECT

 public:
  CSequenceWindow(BenchHost& owner, QWidget& parent);
  ~CSequenceWindow() override;

  // Reads the file and lists its steps; false, showing FILE:LINE:COLUMN: reason, when it cannot run.
  bool Open(const QString& path);
  // Reads the file again and runs it on the window's port (the file's own port
  // when the window has none); false, saying why, when nothing started.
  bool Run();
  // Ends the run after the exchange under way.
  void Stop() { job_.RequestStop(); }
  bool Running() const { return job_.Running(); }
  // The last run's report as run --junit writes it: "" when written, why not otherwise.
  std::string SaveJUnitReport(const std::string& path) const;

  const std::vector<bench::StepOutcome>& Outcomes() const { return outcomes_; }
  QString StatusText() const;
  QString LineText() const;
  QTreeWidget& StepList() const { return *steps_; }
  QCheckBox& KeepGoing() const { return *keepGoing_; }

 signals:
  // The run has ended and the port is the window's again.
  void RunFinished();

 public slots:
  void done(int result) override;  // closing stops the run first
  void OnWindowClosing();  // the port is closed before the window goes

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  bool ReadSteps(const QString& path);
  void ListSteps();
  void ShowStep(std::size_t index, const bench::StepOutcome* outcome);
  void ShowStatus(const QString& text, bool error);
  void ShowLine();
  void StartWorker();
  void EndRun();
  void UpdateButtons();
  void OnOpenClicked();
  void OnSaveClicked();

  BenchHost& owner_;
  QLineEdit* file_ = nullptr;
  QTreeWidget* steps_ = nullptr;
  QLabel* status_ = nullptr;
  QLabel* line_ = nullptr;  // the port and rates the steps use
  QCheckBox* keepGoing_ = nullptr;
  QPushButton *open_ = nullptr, *run_ = nullptr, *stop_ = nullptr, *save_ = nullptr;

  QString path_;
  std::vector<bench::Step> parsed_;
  std::vector<bench::StepOutcome> outcomes_;  // of the last run, while the list shows it
  PortLoan portLoan_;
  std::unique_ptr<link::TrafficLog> log_;  // the worker's entries, on their way to the window's log
  BenchJob job_;
};

}  // namespace tarnwick::app
