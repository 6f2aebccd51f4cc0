#pragma once
// The traffic log as text: local times with milliseconds and their offset, one
// JSON object per line, CSV rows, and the command line's file that entries are
// appended to.

#include <cstdint>
#include <iosfwd>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "record_file.h"
#include "traffic_log.h"

namespace tarnwick::link {

// "2026-12-06T14:03:07.123+01:00", in the machine's time zone.
std::string FormatLogTime(LogTime time);
// The inverse, for any offset; nothing for text of another shape.
std::optional<LogTime> ParseLogTime(std::string_view text);

// {"time": ..., "port": ..., "dir": ..., "hex": ..., "summary": ...} and, for events,
// "result"; no line break.
std::string FormatTrafficJson(const TrafficEntry& entry);
// Nothing for a line that is not such an object.
std::optional<TrafficEntry> ParseTrafficJson(std::string_view line);

inline constexpr std::string_view kTrafficCsvHeader = "time,port,dir,hex,summary,result";
std::string FormatTrafficCsv(const TrafficEntry& entry);

enum class TrafficFileFormat { kJsonLines, kCsv };
// CSV for a name ending in .csv (any case), JSON lines otherwise.
TrafficFileFormat TrafficFormatForFileName(std::string_view fileName);
// A saved log: the CSV's header line (nothing for JSON lines), then a line an entry.
void WriteTrafficHeader(std::ostream& out, TrafficFileFormat format);
void WriteTrafficLine(std::ostream& out, const TrafficEntry& entry, TrafficFileFormat format);

// Appends each entry to a JSON-lines file as it is recorded, one write a line.
// Programs appending to one file at once take turns under the file's lock, and
// each stamps its entry after the file's last one, so times keep increasing; a
// last line left unfinished (a full disk, a crash) is ended before the next entry.
class TrafficLogFile final : public TrafficLog {
 public:
  // Check IsOpen; Error then says why not.
  explicit TrafficLogFile(const std::string& path);
  bool IsOpen() const { return file_.has_value(); }
  // Once an entry could not be written (or the file closed), why; entries after
  // it are not written.
  bool Failed() const { return !error_.empty(); }
  const std::string& Error() const { return error_; }
  // False, with Error, when an entry was lost or the file did not close cleanly.
  bool Close();

 private:
  void Keep(TrafficEntry entry) override;
  void Append(TrafficEntry entry) override;
  std::optional<LogTime> LastTimeKept();

  std::optional<RecordFile> file_;
  std::optional<std::uint64_t> endOfOwnLine_;  // the file's size after this log's last line
  std::string error_;
};

}  // namespace tarnwick::link
