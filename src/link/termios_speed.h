#pragma once
// The termios speed of each rate of the baud table, for the POSIX serial port and
// the simulated board's terminal.

#include <termios.h>

#include <array>

#include "baud_rates.h"

namespace tarnwick::link {

inline constexpr std::array<speed_t, kBaudRates.size()> kTermiosSpeeds = {B2400,  B4800,  B9600,  B19200,
                                                                          B38400, B57600, B115200};

// B0 for a rate the table does not hold.
inline speed_t TermiosSpeedOf(int baudRate) {
  const auto index = BaudIndexOf(baudRate);
  return index ? kTermiosSpeeds[static_cast<std::size_t>(*index)] : B0;
}

}  // namespace tarnwick::link
