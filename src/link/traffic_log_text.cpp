#include "traffic_log_text.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <ctime>
#include <mutex>
#include <ostream>
#include <system_error>

#include "hex_text.h"
#include "json_text.h"

namespace tarnwick::link {
namespace {

using namespace std::chrono;
using Json = nlohmann::json;

std::tm LocalCalendar(std::time_t seconds) {
  // std::localtime shares one buffer between callers.
  static std::mutex mutex;
  const std::lock_guard lock(mutex);
  const std::tm* local = std::localtime(&seconds);
  return local ? *local : std::tm{};
}

sys_seconds CalendarAsUtc(int year, int month, int day, int hour, int minute, int second) {
  const sys_days date{std::chrono::year{year} / std::chrono::month{static_cast<unsigned>(month)} /
                      std::chrono::day{static_cast<unsigned>(day)}};
  return date + hours{hour} + minutes{minute} + std::chrono::seconds{second};
}

// Reads a fixed number of decimal digits at text[at].
std::optional<int> Digits(std::string_view text, std::size_t at, std::size_t count) {
  if (at + count > text.size()) return std::nullopt;
  int value = 0;
  const char* first = text.data() + at;
  const auto [end, error] = std::from_chars(first, first + count, value);
  if (error != std::errc() || end != first + count) return std::nullopt;
  return value;
}

std::optional<TrafficDirection> DirectionOf(std::string_view text) {
  for (const auto direction : {TrafficDirection::kTx, TrafficDirection::kRx, TrafficDirection::kEvent})
    if (DirectionText(direction) == text) return direction;
  return std::nullopt;
}

std::string CsvField(std::string_view text) {
  if (text.find_first_of(",\"\r\n") == std::string_view::npos) return std::string(text);
  std::string quoted = "\"";
  for (const char c : text) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  return quoted + '"';
}

// The entry's time on the last whole line of text, if there is one.
std::optional<LogTime> LastTimeIn(std::string text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  const std::size_t start = text.rfind('\n');
  const auto entry = ParseTrafficJson(start == std::string::npos ? text : text.substr(start + 1));
  return entry ? std::optional(entry->time) : std::nullopt;
}

}  // namespace

std::string FormatLogTime(LogTime time) {
  const auto whole = floor<seconds>(time);
  const std::tm local = LocalCalendar(LogClock::to_time_t(whole));
  const sys_seconds localAsUtc = CalendarAsUtc(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                                               local.tm_min, local.tm_sec);
  const long offset = static_cast<long>(duration_cast<minutes>(localAsUtc - whole).count());
  const long absOffset = offset < 0 ? -offset : offset;
  const auto millis = static_cast<int>((time - whole).count());
  char text[64];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03d%c%02ld:%02ld", local.tm_year + 1900,
                local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec, millis,
                offset < 0 ? '-' : '+', absOffset / 60, absOffset % 60);
  return text;
}

std::optional<LogTime> ParseLogTime(std::string_view text) {
  // 2026-12-06T14:03:07.123+01:00
  if (text.size() != 29 || text[4] != '-' || text[7] != '-' || text[10] != 'T' || text[13] != ':' ||
      text[16] != ':' || text[19] != '.' || (text[23] != '+' && text[23] != '-') || text[26] != ':')
    return std::nullopt;
  const auto year = Digits(text, 0, 4), month = Digits(text, 5, 2), day = Digits(text, 8, 2);
  const auto hour = Digits(text, 11, 2), minute = Digits(text, 14, 2), second = Digits(text, 17, 2);
  const auto millis = Digits(text, 20, 3), offsetHours = Digits(text, 24, 2), offsetMinutes = Digits(text, 27, 2);
  if (!year || !month || !day || !hour || !minute || !second || !millis || !offsetHours || !offsetMinutes)
    return std::nullopt;
  const std::chrono::year_month_day date{std::chrono::year{*year}, std::chrono::month{static_cast<unsigned>(*month)},
                                         std::chrono::day{static_cast<unsigned>(*day)}};
  if (!date.ok() || *hour > 23 || *minute > 59 || *second > 60 || *offsetMinutes > 59) return std::nullopt;
  const minutes offset{(text[23] == '-' ? -1 : 1) * (*offsetHours * 60 + *offsetMinutes)};
  const sys_seconds local = CalendarAsUtc(*year, *month, *day, *hour, *minute, *second);
  return LogTime(duration_cast<milliseconds>((local - offset).time_since_epoch()) + milliseconds(*millis));
}

std::string FormatTrafficJson(const TrafficEntry& entry) {
  // Written by hand for the spacing of the documented form; values escaped by the library.
  std::string line = "{";
  const auto add = [&](std::string_view key, std::string_view value) {
    if (line.size() > 1) line += ", ";
    line += JsonText(std::string(key)) + ": " + JsonText(std::string(value));
  };
  add("time", FormatLogTime(entry.time));
  add("port", entry.port);
  add("dir", DirectionText(entry.direction));
  add("hex", FormatHexDump(entry.bytes));
  add("summary", entry.summary);
  if (entry.direction == TrafficDirection::kEvent) add("result", entry.result);
  return line + "}";
}

std::optional<TrafficEntry> ParseTrafficJson(std::string_view line) {
  const Json json = Json::parse(line, nullptr, false);
  if (!json.is_object()) return std::nullopt;
  const auto text = [&](const char* key) -> std::optional<std::string> {
    const auto it = json.find(key);
    if (it == json.end()) return std::string();
    return it->is_string() ? std::optional(it->get<std::string>()) : std::nullopt;
  };
  const auto time = ParseLogTime(text("time").value_or(""));
  const auto direction = DirectionOf(text("dir").value_or(""));
  const auto port = text("port"), hex = text("hex"), summary = text("summary"), result = text("result");
  if (!time || !direction || !port || !hex || !summary || !result) return std::nullopt;
  auto bytes = ParseHexBytes(*hex);
  if (!bytes) return std::nullopt;
  return TrafficEntry{*time, *port, *direction, std::move(*bytes), *summary, *result};
}

std::string FormatTrafficCsv(const TrafficEntry& entry) {
  return CsvField(FormatLogTime(entry.time)) + ',' + CsvField(entry.port) + ',' +
         std::string(DirectionText(entry.direction)) + ',' + FormatHexDump(entry.bytes) + ',' +
         CsvField(entry.summary) + ',' + CsvField(entry.result);
}

TrafficFileFormat TrafficFormatForFileName(std::string_view fileName) {
  constexpr std::string_view kCsv = ".csv";
  if (fileName.size() < kCsv.size()) return TrafficFileFormat::kJsonLines;
  const std::string_view ending = fileName.substr(fileName.size() - kCsv.size());
  const bool csv = std::equal(ending.begin(), ending.end(), kCsv.begin(),
                              [](char a, char b) { return std::tolower(static_cast<unsigned char>(a)) == b; });
  return csv ? TrafficFileFormat::kCsv : TrafficFileFormat::kJsonLines;
}

void WriteTrafficHeader(std::ostream& out, TrafficFileFormat format) {
  if (format == TrafficFileFormat::kCsv) out << kTrafficCsvHeader << "\r\n";
}

void WriteTrafficLine(std::ostream& out, const TrafficEntry& entry, TrafficFileFormat format) {
  if (format == TrafficFileFormat::kCsv) {
    out << FormatTrafficCsv(entry) << "\r\n";
  } else {
    out << FormatTrafficJson(entry) << '\n';
  }
}

TrafficLogFile::TrafficLogFile(const std::string& path) { file_ = RecordFile::Open(path, "the log", error_); }

bool TrafficLogFile::Close() {
  if (file_ && !file_->Close() && error_.empty()) error_ = file_->Error();
  file_.reset();
  return error_.empty();
}

// Under the file's lock: what others appended since this log's last line, and an
// unfinished last line ended so that the next entry starts a line of its own.
std::optional<LogTime> TrafficLogFile::LastTimeKept() {
  if (file_->Size() == endOfOwnLine_) return std::nullopt;
  const std::string tail = file_->Tail(4096);
  if (!tail.empty() && tail.back() != '\n' && !file_->Append("\n")) return std::nullopt;
  return LastTimeIn(tail);
}

void TrafficLogFile::Keep(TrafficEntry entry) {
  if (!file_ || Failed()) return;
  if (!file_->Lock()) {
    error_ = file_->Error();
    return;
  }
  Stamp(entry, LastTimeKept().value_or(LogTime{}));
  Append(std::move(entry));
  file_->Unlock();
}

void TrafficLogFile::Append(TrafficEntry entry) {
  const std::uint64_t start = file_->Size();
  if (file_->Error().empty() && file_->Append(FormatTrafficJson(entry) + '\n')) {
    endOfOwnLine_ = file_->Size();
    return;
  }
  file_->TruncateTo(start);  // no part of a line stays for the next entry to run into
  error_ = file_->Error();
}

}  // namespace tarnwick::link
