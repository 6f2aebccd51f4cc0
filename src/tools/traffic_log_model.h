#pragma once
// The window's traffic log: a table model over the last 100,000 entries, newest
// last. Entries arrive through link::TrafficLog (from the exchange and the live
// test pages) and join the table in batches: at once after a quiet spell, then at
// most every kFlushIntervalMs, so a stream of entries costs the view a few
// updates a second however fast it comes. Entries may be recorded on any thread
// (a bench tool's worker); the table changes on the model's own.

#include <QAbstractTableModel>
#include <QElapsedTimer>
#include <QTimer>
#include <cstddef>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "link/traffic_log.h"

namespace tarnwick::app {

class TrafficLogModel : public QAbstractTableModel, public link::TrafficLog {
  Q_OBJECT

 public:
  enum Column : int { kTime, kPort, kDirection, kBytes, kSummary, kResult, kColumnCount };
  static constexpr std::size_t kDefaultCapacity = 100'000;
  static constexpr int kFlushIntervalMs = 50;

  explicit TrafficLogModel(std::size_t capacity = kDefaultCapacity, QObject* parent = nullptr);

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

  const link::TrafficEntry& Entry(int row) const { return entries_.at(static_cast<std::size_t>(row)); }
  // Entries recorded but not yet in the table join it now.
  void Flush();
  void Clear();
  // The rows as text, a line each, fields separated by tabs (for the clipboard).
  QString RowsAsText(std::vector<int> rows) const;
  // CSV for a name ending in .csv, JSON lines otherwise. False when it cannot be written.
  bool SaveTo(const QString& path);

 signals:
  // A port could not be opened; the window shows that nowhere else.
  void OpenFailureRecorded();

 private:
  void Append(link::TrafficEntry entry) override;
  void StartFlushTimer();

  std::size_t capacity_;
  std::deque<link::TrafficEntry> entries_;
  std::mutex pendingMutex_;
  std::vector<link::TrafficEntry> pending_;
  bool flushAsked_ = false;  // a flush is due: the timer runs or is about to
  QTimer flushTimer_;
  QElapsedTimer sinceFlush_;
};

}  // namespace tarnwick::app
