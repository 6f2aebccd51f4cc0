#include "traffic_log.h"

#include <algorithm>
#include <filesystem>

#include "framing.h"
#include "hex_text.h"

namespace tarnwick::link {

std::string_view DirectionText(TrafficDirection direction) {
  switch (direction) {
    case TrafficDirection::kTx: return "tx";
    case TrafficDirection::kRx: return "rx";
    case TrafficDirection::kEvent: return "event";
  }
  return "event";
}

bool IsOpenFailure(const TrafficEntry& entry) {
  return entry.direction == TrafficDirection::kEvent && entry.result == log_result::kPortNotOpened;
}

void TrafficLog::Record(TrafficEntry entry) {
  const std::lock_guard lock(mutex_);
  Keep(std::move(entry));
}

void TrafficLog::Keep(TrafficEntry entry) {
  Stamp(entry);
  Append(std::move(entry));
}

void TrafficLog::Stamp(TrafficEntry& entry, LogTime kept) {
  const auto now = std::chrono::time_point_cast<std::chrono::milliseconds>(LogClock::now());
  const LogTime floor = std::max(last_, kept);
  last_ = now > floor ? now : floor + std::chrono::milliseconds(1);
  entry.time = last_;
}

std::string PortNameOf(std::string_view path) {
  constexpr std::string_view kDevices = "/dev/";
  if (path.starts_with(kDevices) && path.size() > kDevices.size()) return std::string(path.substr(kDevices.size()));
  const std::string name = std::filesystem::path(path).filename().string();
  return name.empty() ? std::string(path) : name;
}

namespace {
CommandNamer theNamer = nullptr;
}  // namespace

void NameCommandsWith(CommandNamer namer) { theNamer = namer; }

std::string DescribeSentFrames(std::span<const std::uint8_t> bytes) {
  std::string text;
  while (!bytes.empty()) {
    if (!text.empty()) text += ", ";
    const std::size_t size = Framing::AnnouncedSize(bytes).value_or(0);
    if (size <= Framing::kOverhead || bytes.size() < size) {
      text += "unframed bytes";
      break;
    }
    const std::uint8_t commandByte = bytes[kCommandOffset];
    const std::uint8_t code = commandByte & static_cast<std::uint8_t>(~kReplyFlag);
    const std::string name = theNamer ? theNamer(code) : std::string();
    text += name.empty() ? "command " + FormatHexByte(commandByte) : name;
    text += " to " + FormatHexByte(bytes[kAddressOffset]);
    bytes = bytes.subspan(size);
  }
  return text;
}

void TrafficReporter::Sent(std::span<const std::uint8_t> bytes, std::string summary) {
  Record(TrafficDirection::kTx, bytes, std::move(summary), {});
}

void TrafficReporter::Received(std::span<const std::uint8_t> bytes, std::string summary) {
  Record(TrafficDirection::kRx, bytes, std::move(summary), {});
}

void TrafficReporter::Event(std::string summary, std::string_view result) {
  Record(TrafficDirection::kEvent, {}, std::move(summary), result);
}

void TrafficReporter::Record(TrafficDirection direction, std::span<const std::uint8_t> bytes, std::string summary,
                             std::string_view result) {
  if (!log_) return;
  log_->Record({{}, port_, direction, Bytes(bytes.begin(), bytes.end()), std::move(summary), std::string(result)});
}

}  // namespace tarnwick::link
