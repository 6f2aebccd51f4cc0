#include "tools/traffic_log_model.h"

#include <algorithm>
#include <filesystem>
#include <fstream>

#include <QThread>

#include "link/hex_text.h"
#include "link/traffic_log_text.h"

namespace tarnwick::app {
namespace {

QString Utf8(const std::string& text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

QString CellText(const link::TrafficEntry& entry, int column, bool fullTime) {
  switch (column) {
    case TrafficLogModel::kTime: {
      const std::string time = link::FormatLogTime(entry.time);
      // The table shows the time of day; the date and zone are in the tooltip and the saved file.
      return Utf8(fullTime ? time : time.substr(11, 12));
    }
    case TrafficLogModel::kPort: return Utf8(entry.port);
    case TrafficLogModel::kDirection: return Utf8(std::string(link::DirectionText(entry.direction)));
    case TrafficLogModel::kBytes: return Utf8(link::FormatHexDump(entry.bytes));
    case TrafficLogModel::kSummary: return Utf8(entry.summary);
    case TrafficLogModel::kResult: return Utf8(entry.result);
    default: return {};
  }
}

}  // namespace

TrafficLogModel::TrafficLogModel(std::size_t capacity, QObject* parent)
    : QAbstractTableModel(parent), capacity_(std::max<std::size_t>(capacity, 1)) {
  flushTimer_.setSingleShot(true);
  connect(&flushTimer_, &QTimer::timeout, this, &TrafficLogModel::Flush);
}

int TrafficLogModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(entries_.size());
}

int TrafficLogModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : kColumnCount; }

QVariant TrafficLogModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= rowCount()) return {};
  const link::TrafficEntry& entry = Entry(index.row());
  if (role == Qt::DisplayRole) return CellText(entry, index.column(), false);
  // The whole text, should a column be narrower than its cell's.
  if (role == Qt::ToolTipRole) return CellText(entry, index.column(), true);
  return {};
}

QVariant TrafficLogModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
  static const char* const kTitles[kColumnCount] = {"Time", "Port", "Dir", "Bytes", "Summary", "Result"};
  return section >= 0 && section < kColumnCount ? QString::fromLatin1(kTitles[section]) : QVariant();
}

void TrafficLogModel::Append(link::TrafficEntry entry) {
  std::lock_guard lock(pendingMutex_);
  pending_.push_back(std::move(entry));
  if (flushAsked_) return;
  flushAsked_ = true;
  // A timer starts only on its own thread.
  if (QThread::currentThread() == thread()) StartFlushTimer();
  else QMetaObject::invokeMethod(this, &TrafficLogModel::StartFlushTimer, Qt::QueuedConnection);
}

void TrafficLogModel::StartFlushTimer() {
  const qint64 since = sinceFlush_.isValid() ? sinceFlush_.elapsed() : kFlushIntervalMs;
  flushTimer_.start(static_cast<int>(std::max<qint64>(0, kFlushIntervalMs - since)));
}

void TrafficLogModel::Flush() {
  flushTimer_.stop();
  std::vector<link::TrafficEntry> batch;
  {
    std::lock_guard lock(pendingMutex_);
    flushAsked_ = false;
    batch.swap(pending_);
  }
  if (batch.empty()) return;
  sinceFlush_.start();
  const bool failure = std::any_of(batch.begin(), batch.end(), link::IsOpenFailure);
  // A batch larger than the log keeps only its newest entries.
  const std::size_t kept = std::min(batch.size(), capacity_);
  const std::size_t overflow = entries_.size() + kept > capacity_ ? entries_.size() + kept - capacity_ : 0;
  if (overflow > 0) {
    beginRemoveRows({}, 0, static_cast<int>(overflow) - 1);
    entries_.erase(entries_.begin(), entries_.begin() + static_cast<std::ptrdiff_t>(overflow));
    endRemoveRows();
  }
  const int first = static_cast<int>(entries_.size());
  beginInsertRows({}, first, first + static_cast<int>(kept) - 1);
  entries_.insert(entries_.end(), std::make_move_iterator(batch.end() - static_cast<std::ptrdiff_t>(kept)),
                  std::make_move_iterator(batch.end()));
  endInsertRows();
  if (failure) emit OpenFailureRecorded();
}

void TrafficLogModel::Clear() {
  Flush();
  beginResetModel();
  entries_.clear();
  endResetModel();
}

QString TrafficLogModel::RowsAsText(std::vector<int> rows) const {
  std::sort(rows.begin(), rows.end());
  rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
  QString text;
  for (const int row : rows) {
    if (row < 0 || row >= rowCount()) continue;
    for (int column = 0; column < kColumnCount; ++column) {
      if (column > 0) text += QLatin1Char('\t');
      text += CellText(Entry(row), column, true);
    }
    text += QLatin1Char('\n');
  }
  return text;
}

bool TrafficLogModel::SaveTo(const QString& path) {
  Flush();
  const std::string fileName = path.toStdString();
  const link::TrafficFileFormat format = link::TrafficFormatForFileName(fileName);
  std::ofstream out(std::filesystem::path(path.toStdU16String()), std::ios::binary | std::ios::trunc);
  if (!out) return false;
  link::WriteTrafficHeader(out, format);
  for (const link::TrafficEntry& entry : entries_) link::WriteTrafficLine(out, entry, format);
  out.close();  // a full disk may show only here
  return !out.fail();
}

}  // namespace tarnwick::app
