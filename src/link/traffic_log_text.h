#pragma once
// The traffic log as text: local times with milliseconds and their offset, one
// JSON object per line, CSV rows, and the command line's file that entries are
// appended to.

#include <fstream>
#include <iosfwd>
#include <optional>
#include <span>
#include <string>
#include <string_view>

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

// Appends each entry to a JSON-lines file as it is recorded, flushed at once. A
// file that already ends in an entry is continued: the times go on increasing.
class TrafficLogFile final : public TrafficLog {
 public:
  // Check IsOpen; Error then says why not.
  explicit TrafficLogFile(const std::string& path);
  bool IsOpen() const { return out_.is_open() && out_.good(); }
  const std::string& Error() const { return error_; }

 private:
  void Append(TrafficEntry entry) override;
  std::ofstream out_;
  std::string error_;
};

}  // namespace tarnwick::link
