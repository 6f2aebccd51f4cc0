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
#include <vector>

#include "board/board_file.h"
#include "board/board.h"
#include "board/exchange.h"
#include "board_server.h"
#include "link/baud_rates.h"
#include "link/frame.h"
#include "link/hex_text.h"
#include "link/line_control.h"
#include "link/recorded_exchanges.h"
#include "link/traffic_log.h"
#include "link/posix_port_list.h"
#include "link/serial_port.h"
#include "link/unique_fd.h"
#include "port_registry.h"
#include "replay_board.h"
#include "support/parse_arguments.h"

namespace {

using namespace tarnwick;

// The first line as before; then every stored field value, by name.
std::string Describe(const sim::BoardState& s) {
  std::ostringstream out;
  out << "address " << link::FormatHexByte(s.address) << ", " << link::kBaudRates[static_cast<std::size_t>(s.baudIndex)]
      << " baud, motor type " << sim::MotorTypeName(static_cast<link::MotorType>(s.motorType)) << "\n";
  if (s.values.empty()) return out.str();
  const char* separator = "values: ";
  for (const auto& [name, stored] : s.values) {
    out << separator << name << " " << stored.value;
    separator = ", ";
  }
  out << "\n";
  return out.str();
}

std::string DescribeBoards(const sim::BoardServer& server) {
  if (server.BoardCount() == 1) return Describe(server.State());
  std::string text;
  for (std::size_t i = 0; i < server.BoardCount(); ++i) text += "board " + std::to_string(i + 1) + ": " + Describe(server.State(i));
  return text;
}

// "KIND" for every board, or "ADDR:KIND" for the boards at that address. False,
// changing nothing, for a fault or an address no board has.
bool ApplyFault(sim::BoardServer& server, const std::string& text, int count = -1) {
  std::string kind = text;
  std::optional<std::uint8_t> address;
  if (const auto colon = text.find(':'); colon != std::string::npos) {
    address = link::ParseDeviceAddress(text.substr(0, colon));
    if (!address) return false;
    kind = text.substr(colon + 1);
  }
  auto fault = sim::ParseFault(kind);
  if (!fault) return false;
  fault->count = count;
  if (!address) {
    server.SetFaultOnEvery(*fault);
    return true;
  }
  bool found = false;
  for (std::size_t i = 0; i < server.BoardCount(); ++i) {
    if (server.State(i).address != *address) continue;
    server.SetFault(i, *fault);
    found = true;
  }
  return found;
}

// Commands typed on standard input while the board runs.
void HandleCommand(const std::string& line, sim::BoardServer& server) {
  std::istringstream words(line);
  std::string verb, argument;
  words >> verb >> argument;
  if (verb == "state") {
    std::cout << DescribeBoards(server) << std::flush;
  } else if (verb == "fault") {
    if (ApplyFault(server, argument.empty() ? "none" : argument)) {
      std::cout << "fault: " << (argument.empty() ? "none" : argument) << "\n" << std::flush;
    } else {
      std::cout << "unknown fault '" << argument << "'; [ADDR:] and one of " << sim::FaultNames() << "\n"
                << std::flush;
    }
  } else if (!verb.empty()) {
    std::cout << "commands: state | fault [ADDR:]KIND | fault none   (Ctrl-D or Ctrl-C ends)\n" << std::flush;
  }
}

// "stepper, d-c" as the built-in board description names the motor types.
std::vector<std::string> MotorTypeNameList() {
  std::vector<std::string> names;
  for (const auto& [name, type] : sim::MotorTypeNames()) names.push_back(name);
  return names;
}

std::string MotorTypeNameList(const std::string& separator) {
  std::string text;
  for (const std::string& name : MotorTypeNameList()) text += (text.empty() ? "" : separator) + name;
  return text;
}

struct SimOptions {
  std::string port, addressText = "01", motorType = "stepper", boards, boardFile, replay;
  std::vector<std::string> faults;
  int baud = 9600, faultCount = -1;
  bool verbose = false, noRegister = false;
  std::string rs485 = "off";
  link::DirectionSettings direction;
};

void AddOptions(CLI::App& app, SimOptions& o) {
  app.add_option("--port", o.port, "Serve a real serial port instead of a new pseudo-terminal");
  auto* address =
      app.add_option("--address", o.addressText, "The board's bus address in hex, " +
                                                     link::FormatHexByte(link::kFirstBoardAddress) + " to " +
                                                     link::FormatHexByte(link::kLastBoardAddress))
          ->capture_default_str();
  auto* baud = app.add_option("--baud", o.baud, "The board's line speed")
                   ->check(CLI::IsMember(std::vector<int>(link::kBaudRates.begin(), link::kBaudRates.end())))
                   ->capture_default_str();
  auto* motor = app.add_option("--motor-type", o.motorType, "What the board is set up to drive")
                    ->transform(CLI::IsMember(MotorTypeNameList(), CLI::ignore_case))
                    ->capture_default_str();
  app.add_option("--boards", o.boards,
                 "Several boards on one line, ADDR[@RATE][:TYPE] separated by commas, TYPE one of " + MotorTypeNameList("|") +
                     ", such as 01@9600:stepper,05@19200:d-c,2A@115200 (rate 9600 and stepper unless given)")
      ->excludes(address, baud, motor, app.get_option("--port"));
  app.add_option("--board", o.boardFile, "Answer the commands of this board description instead of the built-in one");
  app.add_option("--replay", o.replay,
                 "Answer each request a traffic log (--log) holds with the reply recorded for it, at every rate; "
                 "device error 1 for any other request to an address that answered in the log")
      ->type_name("LOG")
      ->excludes(address, motor, app.get_option("--boards"));
  app.add_option("--fault", o.faults,
                 "A fault for the replies, of every board or, as ADDR:KIND, of the boards at ADDR; repeatable: " +
                     sim::FaultNames());
  app.add_option("--fault-count", o.faultCount, "Apply the faults to this many replies only (default: all)");
  app.add_flag("-v,--verbose", o.verbose, "Print every frame heard and every reply sent");
  app.add_flag("--no-register", o.noRegister, "Do not list the port for the tool");
  auto* port = app.get_option("--port");
  app.add_option("--rs485", o.rs485, "With --port: who turns the RS-485 line round, off, kernel (the driver's "
                                     "RS-485 mode) or rts (raised around each reply)")
      ->check(CLI::IsMember(link::DirectionControlNames()))
      ->needs(port);
  app.add_option("--rs485-delay-before", o.direction.delayBeforeMs, "With --rs485 kernel: ms RTS is raised before sending")
      ->check(CLI::Range(0, link::kMaxDirectionDelayMs))
      ->needs(port);
  app.add_option("--rs485-delay-after", o.direction.delayAfterMs, "With --rs485 kernel: ms RTS stays raised after sending")
      ->check(CLI::Range(0, link::kMaxDirectionDelayMs))
      ->needs(port);
}

// The boards the options describe; nullopt, with a message printed, for a board that cannot be.
std::optional<std::vector<sim::BoardState>> InitialBoards(const SimOptions& o) {
  std::string why;
  if (!o.boards.empty()) {
    auto boards = sim::ParseBoards(o.boards, why);
    if (!boards) std::cerr << "tarnwick-sim: --boards " << why << "\n";
    return boards;
  }
  const std::optional<std::uint8_t> address = sim::ParseBoardAddress(o.addressText, why);
  if (!address) {
    std::cerr << "tarnwick-sim: --address: " << why << "\n";
    return std::nullopt;
  }
  const auto motor = sim::MotorTypeNamed(o.motorType).value_or(link::kMotorStepper);
  return std::vector{sim::MakeBoardState(*address, *link::BaudIndexOf(o.baud), motor)};
}

// Installs the --board description; false, with each problem printed, for a refused file.
bool UseBoardFile(const std::string& path) {
  if (path.empty()) return true;
  board::LoadResult loaded = board::LoadBoardFile(path);
  if (!loaded.board) {
    for (const std::string& problem : loaded.problems) std::cerr << problem << "\n";
    return false;
  }
  board::Use(std::move(*loaded.board));
  return true;
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

std::string Announce(const sim::BoardServer& server) {
  const auto board = [&](std::size_t i) {
    const sim::BoardState& s = server.State(i);
    return link::FormatHexByte(s.address) + " at " + std::to_string(link::kBaudRates[static_cast<std::size_t>(s.baudIndex)]) +
           " baud";
  };
  if (server.BoardCount() == 1) return "Simulated board " + board(0);
  std::string text = "Simulated boards ";
  for (std::size_t i = 0; i < server.BoardCount(); ++i) text += (i ? ", " : "") + board(i);
  return text;
}

// Applies the faults in order; false, with a message printed, for one that is not a fault.
bool ApplyFaults(sim::BoardServer& server, const SimOptions& o) {
  for (const std::string& fault : o.faults) {
    if (ApplyFault(server, fault, o.faultCount)) continue;
    std::cerr << "tarnwick-sim: --fault '" << fault << "': [ADDR:] and one of " << sim::FaultNames()
              << " (ADDR: a board's address)\n";
    return false;
  }
  return true;
}

void PrintBytes(const sim::Bytes& bytes, bool heard) {
  std::printf("%s %s\n", heard ? "heard:" : "reply:", link::FormatHexDump(bytes).c_str());
  std::fflush(stdout);
}

// A recording's frames are told by the board description in use too.
void PrintDecoded(const sim::Bytes& bytes, bool heard) {
  const std::string meaning = heard ? link::DescribeSentFrames(bytes) : board::DescribeReplyFrame(bytes);
  std::printf("%s %s  (%s)\n", heard ? "heard:" : "reply:", link::FormatHexDump(bytes).c_str(), meaning.c_str());
  std::fflush(stdout);
}

// "Replaying LOG: 12 requests to 01, 05"
std::string AnnounceReplay(const std::string& path, const sim::ReplayBoard& recording) {
  std::string text = "Replaying " + path + ": " + std::to_string(recording.RequestCount()) + " requests";
  const char* separator = " to ";
  for (const std::uint8_t address : recording.Addresses()) {
    text += separator + link::FormatHexByte(address);
    separator = ", ";
  }
  return text;
}

int Run(const SimOptions& o, std::vector<sim::BoardState> boards, std::optional<sim::ReplayBoard> recording,
        int signalFd) {
  const bool replaying = recording.has_value();
  const std::string announced = replaying ? AnnounceReplay(o.replay, *recording) : "";
  auto server = o.port.empty() ? sim::BoardServer::OnPseudoTerminal(std::move(boards))
                               : sim::BoardServer::OnSerialPort(o.port, boards.front(), o.direction);
  if (!ApplyFaults(*server, o)) return tarnwick::kExitBadArguments;
  if (replaying) server->AnswerFrom(std::move(*recording));
  if (o.verbose) server->ObserveTraffic(replaying ? PrintDecoded : PrintBytes);
  std::optional<sim::PortRegistration> registration;
  if (!o.noRegister) registration.emplace(link::SimRegistryDir(), server->PortPath());
  std::cout << (announced.empty() ? Announce(*server) : announced) << " on " << server->PortPath();
  if (registration) std::cout << ", listed as " << registration->Name();
  std::cout << std::endl;
  if (server->LineControlled().control == link::DirectionControl::Kernel)
    std::cout << "Line: " << link::DescribeLine(server->LineControlled()) << std::endl;
  ServeUntilStopped(*server, signalFd);
  return 0;
}

// The exit status for a --port that must not be served, with why printed: this
// program's own terminal is a bad value, anything else that is no terminal could not
// be opened. Nothing when it may be opened.
std::optional<int> RefusedPort(const std::string& port) {
  if (port.empty()) return std::nullopt;
  const link::OpenError refused = link::CheckPortTarget(port);
  if (refused.kind == link::OpenFailure::None) return std::nullopt;
  std::cerr << "tarnwick-sim: " << link::DescribeOpenError(port, refused) << "\n";
  return refused.kind == link::OpenFailure::OwnTerminal ? tarnwick::kExitBadArguments : 1;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"A simulated motor-driver board on a pseudo-terminal, for trying and testing the tool without "
               "hardware.\nIt prints its port and lists it for the tool as simN. Type 'state' or "
               "'fault KIND' while it runs."};
  tarnwick::NameProgram(app, "tarnwick-sim");
  app.footer("Exit status: 0 ended by Ctrl-D, Ctrl-C or a signal; 1 the pseudo-terminal or the port\n"
             "could not be opened or is no serial port; 2 an unknown option, a bad value or a refused board file.");
  SimOptions options;
  AddOptions(app, options);
  if (const auto status = tarnwick::ParseArguments(app, argc, argv)) return *status;

  options.direction.control = link::DirectionControlNamed(options.rs485).value_or(link::DirectionControl::Off);
  if (!UseBoardFile(options.boardFile)) return tarnwick::kExitBadArguments;
  auto boards = InitialBoards(options);
  if (!boards) return tarnwick::kExitBadArguments;
  if (const auto refused = RefusedPort(options.port)) return *refused;
  std::optional<sim::ReplayBoard> recording;
  if (!options.replay.empty()) {
    try {
      recording.emplace(link::ReadRecordedExchanges(options.replay));
    } catch (const link::InvalidLog& invalid) {
      std::cerr << "tarnwick-sim: " << link::PlacedReason(options.replay, invalid) << "\n";
      return tarnwick::kExitBadArguments;
    }
  }

  const link::UniqueFd signalFd = StopSignalDescriptor();
  try {
    return Run(options, std::move(*boards), std::move(recording), signalFd.Get());
  } catch (const std::exception& e) {
    std::cerr << "tarnwick-sim: " << e.what() << "\n";
    return 1;
  }
}
