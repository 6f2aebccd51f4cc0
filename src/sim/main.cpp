// tarnwick-sim: one simulated motor-driver board on a pseudo-terminal or a port.
#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <cstdio>
#include <iostream>
#include <optional>
#include <sstream>
#include <string>

#include "board_server.h"
#include "link/baud_rates.h"
#include "link/hex_text.h"
#include "link/posix_port_list.h"
#include "link/unique_fd.h"
#include "port_registry.h"
#include "support/parse_arguments.h"

namespace {

using namespace tarnwick;

std::string DescribeMotor(const sim::DcMotor& m) {
  static const char* kModes[] = {"stop", "forward", "reversal", "shortbrake"};  // by drive mode
  std::ostringstream o;
  o << "duty " << int(m.duty) << ", mode " << kModes[m.mode & 3] << ", pulse duty " << int(m.pulseDuty)
    << ", frequency " << m.frequency;
  return o.str();
}

std::string Describe(const sim::BoardState& s) {
  std::ostringstream out;
  out << "address " << link::FormatHexByte(s.address) << ", " << link::kBaudRates[static_cast<std::size_t>(s.baudIndex)]
      << " baud, motor type " << (s.motorType == link::kMotorStepper ? "stepper" : "d-c") << "\n"
      << "stepper: steps " << (s.stepWord & 0x7FFFFFFF) << (s.stepWord >> 31 ? " reverse" : " forward") << ", duty "
      << int(s.stepperDuty) << ", frequency " << s.stepperFrequency << "\n"
      << "left: " << DescribeMotor(s.left) << "\n"
      << "right: " << DescribeMotor(s.right) << "\n";
  return out.str();
}

// Commands typed on standard input while the board runs.
void HandleCommand(const std::string& line, sim::BoardServer& server) {
  std::istringstream words(line);
  std::string verb, argument;
  words >> verb >> argument;
  if (verb == "state") {
    std::cout << Describe(server.State()) << std::flush;
  } else if (verb == "fault") {
    if (const auto fault = sim::ParseFault(argument.empty() ? "none" : argument)) {
      server.SetFault(*fault);
      std::cout << "fault: " << (argument.empty() ? "none" : argument) << "\n" << std::flush;
    } else {
      std::cout << "unknown fault '" << argument << "'; one of " << sim::FaultNames() << "\n" << std::flush;
    }
  } else if (!verb.empty()) {
    std::cout << "commands: state | fault KIND | fault none   (Ctrl-D or Ctrl-C ends)\n" << std::flush;
  }
}

struct SimOptions {
  std::string port, addressText = "01", motorType = "stepper", faultText = "none";
  int baud = 9600, faultCount = -1;
  bool verbose = false, noRegister = false;
};

void AddOptions(CLI::App& app, SimOptions& o) {
  app.add_option("--port", o.port, "Serve a real serial port instead of a new pseudo-terminal");
  app.add_option("--address", o.addressText, "The board's bus address in hex, 01 to FE")->capture_default_str();
  app.add_option("--baud", o.baud, "The board's line speed")
      ->check(CLI::IsMember(std::vector<int>(link::kBaudRates.begin(), link::kBaudRates.end())))
      ->capture_default_str();
  app.add_option("--motor-type", o.motorType, "What the board is set up to drive")
      ->check(CLI::IsMember({"stepper", "d-c"}))
      ->capture_default_str();
  app.add_option("--fault", o.faultText, "A fault for its replies: " + sim::FaultNames())->capture_default_str();
  app.add_option("--fault-count", o.faultCount, "Apply the fault to this many replies only (default: all)");
  app.add_flag("-v,--verbose", o.verbose, "Print every frame heard and every reply sent");
  app.add_flag("--no-register", o.noRegister, "Do not list the port for the tool");
}

// The board the options describe; nullopt, with a message printed, for an address it cannot have.
std::optional<sim::BoardState> InitialState(const SimOptions& o) {
  const std::uint32_t address = link::ParseHexText(o.addressText);
  if (address == 0 || address >= link::kBroadcastAddress) {
    std::cerr << "tarnwick-sim: --address must be 01 to FE\n";
    return std::nullopt;
  }
  sim::BoardState initial;
  initial.address = static_cast<std::uint8_t>(address);
  initial.baudIndex = *link::BaudIndexOf(o.baud);
  if (o.motorType == "d-c") {
    initial.motorType = link::kMotorDc;
    initial.setup = {link::kMotorDc, 100, 100, 0xA8, 0x61, 0xA8, 0x61};  // both motors: duty 100, 25000 Hz
  }
  return initial;
}

// Signals arrive through a descriptor, so the board's thread never sees them.
link::UniqueFd StopSignalDescriptor() {
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  for (int s : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&stopSignals, s);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
  return link::UniqueFd(::signalfd(-1, &stopSignals, SFD_CLOEXEC));
}

// Serves until a stop signal, or until a person at the terminal presses Ctrl-D.
void ServeUntilStopped(sim::BoardServer& server, int signalFd) {
  bool stdinOpen = true;
  std::string pending;
  for (;;) {
    pollfd fds[2] = {{signalFd, POLLIN, 0}, {stdinOpen ? STDIN_FILENO : -1, POLLIN, 0}};
    if (::poll(fds, 2, -1) < 0) continue;
    if (fds[0].revents) return;
    if (!fds[1].revents) continue;
    char buffer[512];
    const ssize_t got = ::read(STDIN_FILENO, buffer, sizeof buffer);
    if (got <= 0) {
      // Standard input ended: keep serving until a signal when it never was a
      // terminal (a background job); end when a person pressed Ctrl-D.
      if (::isatty(STDIN_FILENO)) return;
      stdinOpen = false;
      continue;
    }
    pending.append(buffer, static_cast<std::size_t>(got));
    for (std::size_t nl; (nl = pending.find('\n')) != std::string::npos; pending.erase(0, nl + 1))
      HandleCommand(pending.substr(0, nl), server);
  }
}

void Run(const SimOptions& o, const sim::BoardState& initial, const sim::Fault& fault, int signalFd) {
  auto server = o.port.empty() ? sim::BoardServer::OnPseudoTerminal(initial)
                               : sim::BoardServer::OnSerialPort(o.port, initial);
  server->SetFault(fault);
  if (o.verbose) {
    server->ObserveTraffic([](const sim::Bytes& bytes, bool heard) {
      std::printf("%s %s\n", heard ? "heard:" : "reply:", link::FormatHexDump(bytes).c_str());
      std::fflush(stdout);
    });
  }
  std::optional<sim::PortRegistration> registration;
  if (!o.noRegister) registration.emplace(link::SimRegistryDir(), server->PortPath());
  std::cout << "Simulated board " << link::FormatHexByte(initial.address) << " at " << o.baud << " baud on "
            << server->PortPath();
  if (registration) std::cout << ", listed as " << registration->Name();
  std::cout << std::endl;
  ServeUntilStopped(*server, signalFd);
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"A simulated motor-driver board on a pseudo-terminal, for trying and testing the tool without "
               "hardware.\nIt prints its port and lists it for the tool as simN. Type 'state' or "
               "'fault KIND' while it runs."};
  tarnwick::NameProgram(app, "tarnwick-sim");
  app.footer("Exit status: 0 ended by Ctrl-D, Ctrl-C or a signal; 1 the pseudo-terminal or the port\n"
             "could not be opened; 2 an unknown option or a bad value.");
  SimOptions options;
  AddOptions(app, options);
  if (const auto status = tarnwick::ParseArguments(app, argc, argv)) return *status;

  const std::optional<sim::BoardState> initial = InitialState(options);
  if (!initial) return tarnwick::kExitBadArguments;
  auto fault = sim::ParseFault(options.faultText);
  if (!fault) {
    std::cerr << "tarnwick-sim: unknown fault '" << options.faultText << "'; one of " << sim::FaultNames() << "\n";
    return tarnwick::kExitBadArguments;
  }
  fault->count = options.faultCount;

  const link::UniqueFd signalFd = StopSignalDescriptor();
  try {
    Run(options, *initial, *fault, signalFd.Get());
  } catch (const std::exception& e) {
    std::cerr << "tarnwick-sim: " << e.what() << "\n";
    return 1;
  }
  return 0;
}
