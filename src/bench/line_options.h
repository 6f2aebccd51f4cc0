#pragma once
// The line as a command line or a sequence's step gives it (a port's name, the
// rate's position, the address text, the direction control), the port it names,
// and the line settings an exchange takes.

#include <optional>
#include <string>

#include "link/baud_rates.h"
#include "link/line_control.h"
#include "link/port_list.h"
#include "link/transaction.h"

namespace tarnwick::bench {

struct LineOptions {
  std::string port;
  int baudIndex = link::kDefaultBaudIndex;
  std::string address = "FF";
  bool noRes = false;
  link::ReadEnd readEnd = link::ReadEnd::Gap;
  link::DirectionSettings direction{};
  link::EchoHandling echo = link::EchoHandling::Off;
  bool baudGiven = false;  // the rate was given, not left at its start value
};

// The port o.port names, else the first simulated board running: a real serial
// port is used only when named. Nothing, with why in error, otherwise. A device
// path is taken as given; only a name, or no port at all, needs the list. The
// terminal this program runs in is refused as a value (link::CheckPortTarget), and
// so is a network port's name that cannot be one.
std::optional<link::PortEntry> FindLinePort(const LineOptions& o, std::string& error);

// The line the options describe, on the port chosen for them.
link::LineSettings LineSettingsOf(const LineOptions& o, std::string port);

}  // namespace tarnwick::bench
