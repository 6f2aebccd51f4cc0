#pragma once
// Find boards: the scan 'tarnwick-cli scan' runs, on the window's selected port, at
// the rates ticked and over the addresses given, off the window's thread. The
// boards found fill a table; Use (or a double-click) sets the window's port, rate
// and address to the chosen board. The port is borrowed from the window while the
// scan runs, and every probe goes to the window's traffic log. Opened again after
// the window's port has changed, it names the new port and shows no old results.

#include <QDialog>
#include <optional>
#include <string>
#include <vector>

#include "bench/scan.h"
#include "tools/bench_host.h"
#include "tools/bench_job.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QTableWidget;

namespace tarnwick::app {

class CFindBoardsDlg : public QDialog {
  Q_OBJECT

 public:
  enum Column : int { kAddress, kBaud, kMotorType, kConflict, kColumnCount };

  CFindBoardsDlg(BenchHost& window, QWidget& parent);
  ~CFindBoardsDlg() override;

  bool Scanning() const { return job_.Running(); }
  QTableWidget& Results() const { return *m_results; }
  QString StatusText() const;
  QString PortText() const;
  // Ticks the rates given (positions in the baud table) and no others.
  void TickRates(const std::vector<int>& baudIndices);
  void SetAddressRange(const QString& first, const QString& last);

 signals:
  // The scan ended, was cancelled or was stopped; the port is the window's again.
  void ScanEnded();

 public slots:
  void OnFind();
  void OnCancel();
  void OnUse();  // the chosen row's port, rate and address into the window
  void done(int result) override;
  void OnWindowClosing();  // stops the scan and hides

 protected:
  void showEvent(QShowEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  void ShowPortToScan();
  QWidget* BuildOptions();
  std::optional<bench::ScanRequest> RequestFromControls();
  void StartScan(bench::ScanRequest request);
  void ShowProgress(const bench::ScanProgress& progress);
  void AddRow(const bench::FoundBoard& board);
  void EndScan();
  void StopScan();
  void ShowRunning(bool running);

  BenchHost& m_window;
  QLabel* m_port = nullptr;
  std::vector<QCheckBox*> m_rates;  // one per baud table entry
  QLineEdit* m_first = nullptr;
  QLineEdit* m_last = nullptr;
  QPushButton* m_find = nullptr;
  QPushButton* m_cancel = nullptr;
  QProgressBar* m_progress = nullptr;
  QLabel* m_status = nullptr;
  QTableWidget* m_results = nullptr;
  QPushButton* m_use = nullptr;

  std::string m_portName;  // the port scanned, as the window lists it
  PortLoan m_portLoan;
  bench::ScanResult m_outcome;
  BenchJob job_;  // last: stopped and joined first
};

}  // namespace tarnwick::app
