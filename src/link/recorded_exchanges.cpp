#include "recorded_exchanges.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <utility>

#include "framing.h"
#include "hex_text.h"
#include "traffic_log_text.h"
#include "transaction.h"

namespace tarnwick::link {
namespace {

using Json = nlohmann::json;

std::string Hex16(std::uint16_t value) {
  return "0x" + FormatHexByte(static_cast<std::uint8_t>(value >> 8)) + FormatHexByte(static_cast<std::uint8_t>(value));
}

std::string ChecksumFailure(std::string_view what, std::span<const std::uint8_t> frame) {
  std::string why = std::string(what) + " (" + FormatHexDump(frame) + ") fails its checksum";
  if (frame.size() < 2) return why;
  const std::uint16_t computed = FramingInUse().CheckOf(frame.first(frame.size() - 2));
  return why + ": computed " + Hex16(computed) + ", recorded " + Hex16(Framing::Carried(frame));
}

void CheckSentFrames(const TrafficEntry& entry, int line) {
  const auto frames = SplitFrames(entry.bytes);
  if (!frames) throw InvalidLog{line, "the bytes sent (" + FormatHexDump(entry.bytes) + ") are no whole frames"};
  for (const auto frame : *frames)
    if (!FramingInUse().Verify(frame)) throw InvalidLog{line, ChecksumFailure("the frame sent", frame)};
}

// Why a line that ParseTrafficJson refused is no entry.
std::string WhyNotAnEntry(const std::string& line) {
  const Json json = Json::parse(line, nullptr, false);
  if (json.is_discarded()) return "not JSON";
  if (!json.is_object()) return "not a JSON object";
  // Only the time and the direction cannot be left out.
  for (const std::string key : {"time", "dir", "port", "hex", "summary", "result"}) {
    const auto it = json.find(key);
    if (it == json.end() && (key == "time" || key == "dir")) return "no \"" + key + "\"";
    if (it != json.end() && !it->is_string()) return "\"" + key + "\" is not a string";
  }
  if (!ParseLogTime(json["time"].get<std::string>()))
    return "\"time\" is not a log time such as 2026-12-06T14:03:07.123+01:00";
  if (!ParseHexBytes(json.value("hex", ""))) return "\"hex\" is not hex bytes such as \"01 01 80 82 00\"";
  return "\"dir\" is not tx, rx or event";
}

}  // namespace

std::string PlacedReason(const std::string& path, const InvalidLog& invalid) {
  return path + (invalid.line > 0 ? ":" + std::to_string(invalid.line) : "") + ": " + invalid.reason;
}

std::optional<std::vector<std::span<const std::uint8_t>>> SplitFrames(std::span<const std::uint8_t> bytes) {
  std::vector<std::span<const std::uint8_t>> frames;
  while (!bytes.empty()) {
    const std::optional<std::size_t> size = Framing::AnnouncedSize(bytes);
    if (!size || bytes.size() < *size) return std::nullopt;
    frames.push_back(bytes.first(*size));
    bytes = bytes.subspan(*size);
  }
  if (frames.empty()) return std::nullopt;
  return frames;
}

void ExchangeCollector::Add(const TrafficEntry& entry, int line) {
  const auto open = std::find_if(open_.begin(), open_.end(), [&](const RecordedExchange& e) { return e.port == entry.port; });
  const auto index = static_cast<std::size_t>(open - open_.begin());
  if (entry.direction == TrafficDirection::kTx) {
    CheckSentFrames(entry, line);
    if (open != open_.end()) Close(index);
    open_.push_back({line, entry.port, entry.time, entry.time, entry.bytes, std::nullopt, std::nullopt, 0, entry.summary});
    return;
  }
  if (open == open_.end()) return;  // a port that did not open, a line's settings: no exchange
  if (entry.direction == TrafficDirection::kRx) {
    open->reply = entry.bytes;
    open->replyLine = line;
    open->ended = entry.time;
    return;
  }
  // An exchange's event repeats what was sent, perhaps with why it went no further.
  if (entry.summary.compare(0, open->sentSummary.size(), open->sentSummary) != 0) return;
  open->result = entry.result;
  open->ended = entry.time;
  Close(index);
}

void ExchangeCollector::Close(std::size_t open) {
  RecordedExchange& exchange = open_[open];
  if (exchange.reply && exchange.result == result::kSuccess && !FramingInUse().Verify(*exchange.reply))
    throw InvalidLog{exchange.replyLine, ChecksumFailure("the reply", *exchange.reply) + ", yet its exchange succeeded"};
  done_.push_back(std::move(exchange));
  open_.erase(open_.begin() + static_cast<std::ptrdiff_t>(open));
}

std::vector<RecordedExchange> ExchangeCollector::Finish() {
  while (!open_.empty()) Close(0);
  std::stable_sort(done_.begin(), done_.end(),
                   [](const RecordedExchange& a, const RecordedExchange& b) { return a.line < b.line; });
  return std::exchange(done_, {});
}

std::vector<RecordedExchange> ReadRecordedExchanges(const std::string& path) {
  std::error_code ignored;
  if (std::filesystem::is_directory(path, ignored)) throw InvalidLog{0, "cannot read the log: it is a directory"};
  errno = 0;
  std::ifstream in(path, std::ios::binary);
  if (!in) throw InvalidLog{0, std::string("cannot read the log: ") + std::strerror(errno)};
  ExchangeCollector collector;
  std::string text;
  int line = 0;
  while (std::getline(in, text)) {
    ++line;
    if (!text.empty() && text.back() == '\r') text.pop_back();
    if (text.empty()) continue;
    const auto entry = ParseTrafficJson(text);
    if (entry) {
      collector.Add(*entry, line);
      continue;
    }
    if (line == 1 && text == kTrafficCsvHeader)
      throw InvalidLog{line, "a CSV log; replay reads the JSON lines that --log writes (or the window saves as .jsonl)"};
    if (in.eof()) throw InvalidLog{line, "the last line is cut short: it ends inside an entry"};
    throw InvalidLog{line, (line == 1 ? "not a traffic log: " : "not a log entry: ") + WhyNotAnEntry(text)};
  }
  if (in.bad()) throw InvalidLog{0, "cannot read the log"};
  auto exchanges = collector.Finish();
  if (exchanges.empty()) throw InvalidLog{0, "the log holds no frame sent"};
  return exchanges;
}

}  // namespace tarnwick::link
