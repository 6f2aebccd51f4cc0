#pragma once
// The traffic log: every frame written to the line, every reply read from it, every
// port that could not be opened and every exchange's result, one entry each. The
// exchange and the live test pages report to a TrafficLog they are given; the
// window keeps the entries in a table, the command line appends them to a file.

#include <chrono>
#include <cstdint>
#include <mutex>
#include <span>
#include <string>
#include <string_view>

#include "frame.h"

namespace tarnwick::link {

using LogClock = std::chrono::system_clock;
using LogTime = std::chrono::time_point<LogClock, std::chrono::milliseconds>;

enum class TrafficDirection : std::uint8_t { kTx, kRx, kEvent };

std::string_view DirectionText(TrafficDirection direction);  // "tx", "rx", "event"

struct TrafficEntry {
  LogTime time{};
  std::string port;  // the port's name as listed ("sim0", "ttyUSB0")
  TrafficDirection direction = TrafficDirection::kEvent;
  Bytes bytes;          // what went out or came in; empty for events
  std::string summary;  // "CMD13 to 01", "CMD13 from 01: Reverse unchecked, ..."
  std::string result;   // events only: the exchange's result text, or why it stopped
  friend bool operator==(const TrafficEntry&, const TrafficEntry&) = default;
};

// The log's own results for exchanges that stopped before anything was sent.
namespace log_result {
inline constexpr std::string_view kNoPort = "No port selected";
inline constexpr std::string_view kPortNotOpened = "Port not opened";
}  // namespace log_result

// True for the entry of a port that could not be opened: the window shows that
// nowhere but in the log, so its Log button marks it until the log is seen.
bool IsOpenFailure(const TrafficEntry& entry);

// A sink for entries. Record stamps each entry with the local clock in whole
// milliseconds, strictly later than the one before: when the clock repeats a
// millisecond (or steps back), the entry takes the next one.
class TrafficLog {
 public:
  virtual ~TrafficLog() = default;
  void Record(TrafficEntry entry);

 protected:
  // Under the log's lock: stamps the entry and appends it. A sink that shares its
  // entries with other writers (a file) stamps after theirs.
  virtual void Keep(TrafficEntry entry);
  // Stamps entry strictly later than the log's last entry and than kept.
  void Stamp(TrafficEntry& entry, LogTime kept = {});
  // Called under the log's lock, in the order of the stamps.
  virtual void Append(TrafficEntry entry) = 0;

 private:
  std::mutex mutex_;
  LogTime last_{};
};

// The name an entry gives the port at path: below /dev/ its path from there
// ("ttyUSB0", "pts/3"), elsewhere its last component (a simulated board's "sim0").
std::string PortNameOf(std::string_view path);

// "CMD13 to 01": each whole frame in bytes, by command name and address, joined
// with ", " (a live test update carries two frames in one write).
std::string DescribeSentFrames(std::span<const std::uint8_t> bytes);
// How DescribeSentFrames names a command code ("CMD13"); an empty name says the
// code names no command. The board in use installs its names.
using CommandNamer = std::string (*)(std::uint8_t code);
void NameCommandsWith(CommandNamer namer);

// What an exchange reports to its log, with the port it works on. A null log
// records nothing.
class TrafficReporter {
 public:
  TrafficReporter(TrafficLog* log, std::string_view portPath) : log_(log), port_(PortNameOf(portPath)) {}

  void Sent(std::span<const std::uint8_t> bytes, std::string summary);
  void Received(std::span<const std::uint8_t> bytes, std::string summary);
  void Event(std::string summary, std::string_view result);

 private:
  void Record(TrafficDirection direction, std::span<const std::uint8_t> bytes, std::string summary,
              std::string_view result);
  TrafficLog* log_;
  std::string port_;
};

}  // namespace tarnwick::link
