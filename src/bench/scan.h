#pragma once
// The search for every board on a line: each rate asked is broadcast to, and where
// the answer does not name one board, every address of the range is probed. Both
// 'tarnwick-cli scan' and the window's Find boards run it; it reports its progress
// and each board found as it goes, and stops between probes when asked.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "link/frame.h"
#include "link/traffic_log.h"

namespace tarnwick::bench {

struct FoundBoard {
  std::uint8_t address = 0;
  int baud = 0;
  std::string motorType;  // empty when it could not be read
  bool conflict = false;  // several boards answer at this address
};

// An address that something came from or garbled at, without a proof of a board.
struct Unconfirmed {
  std::uint8_t address = 0;
  int baud = 0;
  std::string reason;
};

struct AddressRange {
  int first = link::kFirstBoardAddress, last = link::kLastBoardAddress;
  bool Holds(int address) const { return address >= first && address <= last; }
};

struct ScanRequest {
  std::string port;              // the port's path
  std::vector<int> baudIndices;  // positions in the baud table, in the order to try them
  AddressRange range;
  int timeoutMs = 50;  // how long each rate's broadcast, and a probe at most, waits for its reply to begin
  bool full = false;   // probe every address at every rate
};

struct ScanProgress {
  int baud = 0;
  std::string what;      // "asking every board", "address 2A", "address 2A again"
  double fraction = 0;   // of the pass over the rates, 0 to 1
};

// Each is optional. stopRequested is asked before every probe; the others are
// called on the scanning thread.
struct ScanCallbacks {
  std::function<bool()> stopRequested;
  std::function<void(const ScanProgress&)> progress;
  std::function<void(const FoundBoard&)> found;
};

struct ScanResult {
  std::vector<FoundBoard> found;
  std::vector<Unconfirmed> unconfirmed;
  std::string error;     // why the port could not be used; "" when it could
  bool stopped = false;  // stopRequested ended it early
};

// Every probe and reply goes to log (none when null).
ScanResult ScanLine(const ScanRequest& request, link::TrafficLog* log, const ScanCallbacks& callbacks);

}  // namespace tarnwick::bench
