#include "cli/scan.h"

#include <algorithm>
#include <iostream>
#include <optional>

#include "cli/console.h"
#include "link/frame.h"
#include "link/hex_text.h"
#include "link/json_text.h"

namespace tarnwick::cli {
namespace {

using link::CommandCode;

// What came back from one question.
enum class Heard { Nothing, Clean, Garbled };

struct Answer {
  Heard heard = Heard::Nothing;
  std::uint8_t from = 0;  // the answering address, for a clean reply
};

struct FoundBoard {
  std::uint8_t address = 0;
  int baud = 0;
  std::string motorType;  // empty when it could not be read
  bool conflict = false;  // several boards answer at this address
};

struct AddressRange {
  int first = 0x01, last = 0xFE;
  bool Holds(int address) const { return address >= first && address <= last; }
};

// "01-FE", "2A" or "10-1f": addresses that a board can have, 01 to FE.
std::optional<AddressRange> ParseRange(const std::string& text, std::string& error) {
  const auto dash = text.find('-');
  const std::string firstText = text.substr(0, dash);
  const std::string lastText = dash == std::string::npos ? firstText : text.substr(dash + 1);
  const auto first = CheckNumber("--addr", firstText, kNewAddressRule, error);
  const auto last = first ? CheckNumber("--addr", lastText, kNewAddressRule, error) : std::nullopt;
  if (!first || !last) return std::nullopt;
  if (*first > *last) {
    error = "--addr: '" + text + "' runs backwards; give FIRST-LAST such as 01-FE";
    return std::nullopt;
  }
  return AddressRange{static_cast<int>(*first), static_cast<int>(*last)};
}

// The positions in the baud table of the rates given, all seven when none was.
std::optional<std::vector<int>> ParseRates(const std::vector<std::string>& given, std::string& error) {
  std::vector<int> indices;
  for (const std::string& rate : given) {
    const auto index = CheckChoice("--baud", rate, BaudChoices(), error);
    if (!index) return std::nullopt;
    indices.push_back(*index);
  }
  if (given.empty())
    for (std::size_t i = 0; i < link::kBaudRates.size(); ++i) indices.push_back(static_cast<int>(i));
  std::sort(indices.begin(), indices.end());
  indices.erase(std::unique(indices.begin(), indices.end()), indices.end());
  return indices;
}

class Scanner {
 public:
  Scanner(const ScanCommandLine& options, std::string port, const TrafficLogOption& log)
      : options_(options), port_(std::move(port)), log_(log), showProgress_(StandardErrorIsTerminal()) {}

  // Ctrl+C, or a log that lost an entry, ends the scan after the exchange under way.
  bool Stopping() const { return Interrupted() || !log_.Lost().empty(); }

  // False when the port could not be used; Error() then says why.
  bool ScanRate(int baudIndex, const AddressRange& range) {
    Progress(baudIndex, "asking every board");
    const auto everyone = Ask(baudIndex, link::kBroadcastAddress, link::kReadTotalMs);
    if (!everyone) return false;
    if (everyone->heard == Heard::Nothing && !options_.full) return true;
    if (everyone->heard == Heard::Clean && !options_.full) {
      if (range.Holds(everyone->from)) Record(baudIndex, everyone->from, false);
      return true;
    }
    for (int address = range.first; address <= range.last && !Stopping(); ++address) {
      const auto byte = static_cast<std::uint8_t>(address);
      Progress(baudIndex, "address " + link::FormatHexByte(byte));
      const auto probe = Ask(baudIndex, byte, options_.timeoutMs);
      if (!probe) return false;
      if (probe->heard != Heard::Nothing) Record(baudIndex, byte, probe->heard == Heard::Garbled);
    }
    return true;
  }

  void EndProgress() const {
    if (showProgress_) std::cerr << "\r\033[K" << std::flush;
  }

  const std::vector<FoundBoard>& Found() const { return found_; }
  const std::string& Error() const { return error_; }

 private:
  link::LineSettings Line(int baudIndex, std::uint8_t address, int firstByteMs) const {
    link::LineSettings line{port_, baudIndex, link::FormatHexByte(address), true, {}};
    line.read = {link::ReadEnd::Frame, firstByteMs};
    return line;
  }

  // CMD00, which every board answers, even to the broadcast address; nullopt
  // when the port could not be used. Any verified reply is a board, a device
  // error included; bytes that do not verify are several boards at once.
  std::optional<Answer> Ask(int baudIndex, std::uint8_t address, int firstByteMs) {
    const TimedExchange done = RunTimedExchange(Line(baudIndex, address, firstByteMs), CommandCode::kGetAddress, {}, log_.get());
    if (done.outcome.stage != link::ExchangeStage::ReplyEvaluated) {
      error_ = done.report.error.empty() ? "cannot use the port " + port_ : done.report.error;
      return std::nullopt;
    }
    const link::Bytes received = done.report.received.value_or(link::Bytes{});
    if (received.empty()) return Answer{};
    if (!link::VerifyReply(received)) return Answer{Heard::Garbled};
    return Answer{Heard::Clean, received[link::kAddressOffset]};
  }

  void Record(int baudIndex, std::uint8_t address, bool conflict) {
    FoundBoard board{address, *link::BaudRateAt(baudIndex), {}, conflict};
    if (!conflict) {
      const TimedExchange setup =
          RunTimedExchange(Line(baudIndex, address, link::kReadTotalMs), CommandCode::kReadSetup, {}, log_.get());
      for (const ReportField& field : setup.report.fields)
        if (field.key == "motor_type") board.motorType = field.text;
    }
    found_.push_back(board);
  }

  void Progress(int baudIndex, const std::string& what) const {
    if (showProgress_)
      std::cerr << "\r\033[Kscanning " << *link::BaudRateAt(baudIndex) << " baud: " << what << std::flush;
  }

  const ScanCommandLine& options_;
  std::string port_;
  const TrafficLogOption& log_;
  bool showProgress_;
  std::vector<FoundBoard> found_;
  std::string error_;
};

std::string FormatTable(const std::vector<FoundBoard>& boards) {
  std::string text = "Address  Baud    Motor type\n";
  for (const FoundBoard& b : boards) {
    std::string rate = std::to_string(b.baud);
    rate.resize(8, ' ');
    const std::string type = b.conflict ? "(address conflict: more than one board answers)"
                                        : (b.motorType.empty() ? "(not read)" : b.motorType);
    text += link::FormatHexByte(b.address) + "       " + rate + type + "\n";
  }
  return text;
}

std::string FormatJson(const std::vector<FoundBoard>& boards) {
  nlohmann::ordered_json list = nlohmann::ordered_json::array();
  for (const FoundBoard& b : boards) {
    nlohmann::ordered_json entry;
    entry["address"] = b.address;
    entry["baud"] = b.baud;
    entry["motor_type"] = b.motorType.empty() ? nlohmann::ordered_json() : nlohmann::ordered_json(b.motorType);
    entry["conflict"] = b.conflict;
    list.push_back(entry);
  }
  return link::JsonText(list, 2) + "\n";
}

}  // namespace

void AddScan(CLI::App& app, ScanCommandLine& scan, CheckedOptions& checked) {
  scan.app = app.add_subcommand("scan", "Find every board on the line: address, baud rate and motor type");
  scan.app->fallthrough();
  scan.app->add_option("--port", scan.port, "Port name from 'ports' or a device path; default: the first simulated "
                                            "board running (a serial port is used only when named)");
  scan.app->add_option("--baud", scan.rates, "Rates to try, separated by commas (default: all seven)")
      ->delimiter(',')
      ->type_name("LIST");
  scan.app->add_option("--addr", scan.addresses, "Addresses to probe, hex: 01-FE, 10-1F or one address")
      ->type_name("RANGE")
      ->capture_default_str();
  checked.Number(scan.app, "--timeout", scan.timeoutMs, "How long a probe waits for its reply to begin, in ms",
                 {NumberKind::kDecimal, 1, static_cast<std::uint32_t>(link::kReadTotalMs)});
  scan.app->add_flag("--full", scan.full, "Probe every address at every rate, not only where a broadcast was "
                                          "answered by more than one board");
  scan.app->footer(Examples({"scan --port sim0", "scan --baud 9600,115200 --addr 01-1F --json"}) +
                   "\n\nA table (or with --json a list) of the boards found; progress on standard error at a "
                   "terminal.\nExit status: 0 a board was found, 1 none, 2 invalid options, 3 the port cannot be "
                   "used.");
}

int RunScan(const ScanCommandLine& scan, const OutputMode& mode) {
  std::string error;
  const auto range = ParseRange(scan.addresses, error);
  const auto rates = range ? ParseRates(scan.rates, error) : std::nullopt;
  if (!rates) return RefuseInvocation(error, mode);
  const TrafficLogOption log = OpenTrafficLog(mode);
  if (!log.error.empty()) return RefuseInvocation(log.error, mode);
  const auto port = ChoosePort(LineOptions{.port = scan.port}, error);
  if (!port) return RefuseInvocation(error, mode);
  CatchInterrupt();
  Scanner scanner(scan, port->path, log);
  for (const int baudIndex : *rates) {
    if (scanner.Stopping()) break;
    if (scanner.ScanRate(baudIndex, *range)) continue;
    scanner.EndProgress();
    log.Close();
    return ReportFailure(scanner.Error(), kExitNoPort, mode);
  }
  scanner.EndProgress();
  if (const std::string lost = log.Close(); !lost.empty()) {
    if (!mode.json) std::cout << FormatTable(scanner.Found());
    return ReportFailure(lost, 1, mode);
  }
  if (Interrupted() && !mode.json) std::cerr << kProgram << ": interrupted; the boards found so far\n";
  std::cout << (mode.json ? FormatJson(scanner.Found()) : FormatTable(scanner.Found()));
  return scanner.Found().empty() ? 1 : 0;
}

}  // namespace tarnwick::cli
