#pragma once
// A line that never touches a device: fuzz targets link stand_in_port.cpp in place
// of the platform's port, and set what the next exchange meets here.

#include <cstdint>
#include <vector>

namespace tarnwick::fuzzing {

struct StandInLine {
  std::vector<std::uint8_t> reply;  // what every read returns (at most the buffer's size of it)
  bool sendFails = false;           // every transmit reports a failed write
};

// The line every port this target opens reads and writes.
StandInLine& TheStandInLine();

}  // namespace tarnwick::fuzzing
