#include "cli/scan_command.h"

#include <algorithm>
#include <iostream>
#include <optional>

#include "bench/scan.h"
#include "cli/console.h"
#include "link/hex_text.h"
#include "link/json_text.h"

namespace tarnwick::cli {
namespace {

using bench::AddressRange;
using bench::FoundBoard;
using bench::kNewAddressRule;
using bench::ScanCallbacks;
using bench::ScanProgress;
using bench::ScanResult;
using bench::Unconfirmed;

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

// "Heard but not confirmed: 13 at 9600 baud: its reply arrived late, ...", one line each.
std::string FormatUnconfirmedLines(const std::vector<Unconfirmed>& heard) {
  std::string text;
  for (const Unconfirmed& u : heard)
    text += "Heard but not confirmed: " + link::FormatHexByte(u.address) + " at " + std::to_string(u.baud) +
            " baud: " + u.reason + "\n";
  return text;
}

// {"unconfirmed": [...]}, for standard error: the list on standard output stays
// the proven boards alone, so scripts that read it as the boards are not misled.
std::string FormatUnconfirmedJson(const std::vector<Unconfirmed>& heard) {
  nlohmann::ordered_json list = nlohmann::ordered_json::array();
  for (const Unconfirmed& u : heard) {
    nlohmann::ordered_json entry;
    entry["address"] = u.address;
    entry["baud"] = u.baud;
    entry["reason"] = u.reason;
    list.push_back(entry);
  }
  nlohmann::ordered_json json;
  json["unconfirmed"] = list;
  return link::JsonText(json, 2) + "\n";
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
  scan.app->add_option("--port", scan.port, "Port name from 'ports', a device path or a network port (rfc2217://HOST:PORT); default: the first simulated "
                                            "board running (a serial port is used only when named)");
  scan.app->add_option("--baud", scan.rates, "Rates to try, separated by commas (default: all seven)")
      ->delimiter(',')
      ->type_name("LIST");
  scan.app->add_option("--addr", scan.addresses, "Addresses to probe, hex: 01-FE, 10-1F or one address")
      ->type_name("RANGE")
      ->capture_default_str();
  checked.Number(scan.app, "--timeout", scan.timeoutMs, "How long each rate's broadcast, and a probe at most, waits for its reply to begin, in ms",
                 {NumberKind::kDecimal, 1, static_cast<std::uint32_t>(link::kReadTotalMs)});
  scan.app->add_flag("--full", scan.full, "Probe every address at every rate, not only where a broadcast was "
                                          "answered by more than one board");
  scan.app->footer(Examples({"scan --port sim0", "scan --baud 9600,115200 --addr 01-1F --json"}) +
                   "\n\nA table (or with --json a list) of the boards found, then what was heard but not "
                   "confirmed (with --json on standard error); progress on standard error at a terminal.\nExit "
                   "status: 0 a board was found, 1 none, 2 invalid options or no port given, 3 the port cannot be used.");
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
  const bool showProgress = StandardErrorIsTerminal();
  ScanCallbacks callbacks;
  // Ctrl+C, or a log that lost an entry, ends the scan after the exchange under way.
  callbacks.stopRequested = [&log] { return Interrupted() || !log.Lost().empty(); };
  if (showProgress)
    callbacks.progress = [](const ScanProgress& p) {
      std::cerr << "\r\033[Kscanning " << p.baud << " baud: " << p.what << std::flush;
    };
  const ScanResult scanned =
      ScanLine({port->path, *rates, *range, scan.timeoutMs, scan.full}, log.get(), callbacks);
  if (showProgress) std::cerr << "\r\033[K" << std::flush;
  if (!scanned.error.empty()) {
    log.Close();
    return ReportFailure(scanned.error, kExitPortFailed, mode);
  }
  const auto& heard = scanned.unconfirmed;
  if (const std::string lost = log.Close(); !lost.empty()) {
    if (!mode.json) std::cout << FormatTable(scanned.found) << FormatUnconfirmedLines(heard);
    return ReportFailure(lost, 1, mode);
  }
  if (Interrupted() && !mode.json) std::cerr << kProgram << ": interrupted; the boards found so far\n";
  if (mode.json) {
    std::cout << FormatJson(scanned.found) << std::flush;
    if (!heard.empty()) std::cerr << FormatUnconfirmedJson(heard);
  } else {
    std::cout << FormatTable(scanned.found) << FormatUnconfirmedLines(heard);
  }
  return scanned.found.empty() ? 1 : 0;
}

}  // namespace tarnwick::cli
