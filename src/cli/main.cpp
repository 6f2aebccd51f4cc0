// tarnwick-cli: the window's exchange from a shell, for scripts and CI.
#include <CLI/CLI.hpp>
#include <algorithm>
#include <cstdio>
#include <iostream>
#include <map>

#include "cli_host.h"
#include "link/baud_rates.h"
#include "link/hex_text.h"
#include "link/port_list.h"
#include "link/serial_port.h"
#include "panels/live_test_logic.h"

namespace {

using namespace tarnwick;

constexpr int kExitInvalid = 2;
constexpr int kExitNoPort = 3;

struct CommonOptions {
  std::string port;
  int baud = 9600;
  std::string address = "FF";
  bool noRes = false;
  bool json = false;
};

void AddLineOptions(CLI::App& app, CommonOptions& o) {
  app.add_option("--port", o.port, "Port name from 'ports' (sim0, ttyUSB0) or a device path; default: the first listed");
  app.add_option("--baud", o.baud, "Line speed")
      ->check(CLI::IsMember(std::vector<int>(link::kBaudRates.begin(), link::kBaudRates.end())))
      ->capture_default_str();
  app.add_flag("--json", o.json, "Print one JSON object instead of lines");
}

void AddAddressOptions(CLI::App& app, CommonOptions& o) {
  app.add_option("--addr", o.address, "Device address in hex, as typed in Addr: (empty or FF: broadcast)")
      ->capture_default_str();
  app.add_flag("--no-res", o.noRes, "Clear Res: ask for no reply (CMD00, CMD24 and CMD43 always read one)");
}

int Finish(tarnwick::cli::Report& report, bool json) {
  if (json) {
    std::cout << tarnwick::cli::FormatJson(report);
  } else {
    std::cout << tarnwick::cli::FormatText(report);
    if (!report.error.empty()) std::cerr << "tarnwick-cli: " << report.error << "\n";
  }
  return report.exitStatus;
}

// The port to use, or an explanation of why there is none.
std::string ChoosePort(const CommonOptions& o, std::string& error) {
  const auto ports = link::EnumeratePorts();
  if (!o.port.empty()) return link::ResolvePort(ports, o.port);
  if (ports.empty()) error = "no port selected: no serial port found (plug in an adapter, or start tarnwick-sim)";
  return ports.empty() ? std::string() : ports.front().path;
}

int RunSend(int tab, const CommonOptions& o, const panels::CommandFieldSet& fields, const std::vector<std::uint8_t>* raw) {
  cli::Report failed;
  cli::LineSettings line;
  line.portPath = ChoosePort(o, failed.error);
  line.baudIndex = *link::BaudIndexOf(o.baud);
  line.addressText = o.address;
  line.replyWanted = !o.noRes;
  cli::CliHost host(line, tab, fields);
  const link::ExchangeOutcome outcome = raw ? link::SendRawCommand(host, *raw) : link::SendCommand(host);
  cli::Report& report = host.MutableReport();
  if (outcome.stage == link::ExchangeStage::NoPortSelected && report.error.empty())
    report.error = failed.error.empty() ? "no port selected" : failed.error;
  report.exitStatus = cli::ExitStatusOf(outcome);
  return Finish(report, o.json);
}

// One write of a live test update: no address, no reply.
int RunLiveSend(const CommonOptions& o, std::span<const std::uint8_t> bytes, const std::string& refusal) {
  cli::Report report;
  if (bytes.empty()) {
    report.error = refusal;
    report.exitStatus = kExitInvalid;
    return Finish(report, o.json);
  }
  const std::string path = ChoosePort(o, report.error);
  link::OpenError openError;
  auto port = path.empty() ? nullptr : link::OpenPort(path, o.baud, &openError);
  if (!port) {
    if (!path.empty()) report.error = link::DescribeOpenError(path, openError);
    report.exitStatus = kExitNoPort;
    return Finish(report, o.json);
  }
  report.sendData = link::FormatHexDump(bytes);
  port->TransmitFrame(bytes, o.baud);
  return Finish(report, o.json);
}

std::vector<std::uint8_t> ParseRawBytes(const std::string& text, std::string& error) {
  std::vector<std::uint8_t> bytes;
  std::istringstream words(text);
  for (std::string word; words >> word;) {
    if (word.size() > 2 || word.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) {
      error = "--raw takes hex bytes separated by spaces, such as \"11 70 17 00 00\"; '" + word + "' is not one";
      return {};
    }
    bytes.push_back(static_cast<std::uint8_t>(link::ParseHexText(word)));
  }
  if (bytes.empty()) error = "--raw needs at least the command byte";
  if (bytes.size() > link::kMaxCommandLength) error = "--raw takes at most 16 bytes (command byte and data)";
  return error.empty() ? bytes : std::vector<std::uint8_t>{};
}

struct SendCommandSpec {
  const char* name;
  int tab;
  const char* title;
};

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"Tarnwick command line: one exchange with a motor-driver board on an RS-485 line.\n"
               "Exit status: 0 sent (and Success where a reply was read), 1 any other result,\n"
               "2 invalid or missing parameter, 3 no port or the port cannot be opened."};
  app.require_subcommand(1);
  app.footer("Examples:\n"
             "  tarnwick-cli ports\n"
             "  tarnwick-cli send cmd00 --port sim0\n"
             "  tarnwick-cli send cmd12 --port ttyUSB0 --addr 01 --frequency 1000 --pulse-duty 50\n"
             "  tarnwick-cli send cmd12 --help       (the fields of one command)\n"
             "  tarnwick-cli dc-test --port sim0 --left-freq 20000 --right-reverse");
  CommonOptions common;
  panels::CommandFieldSet fields;

  auto* ports = app.add_subcommand("ports", "List the serial ports and simulated boards: name, a tab, path");

  auto* send = app.add_subcommand("send", "Send one command and show the reply");
  send->require_subcommand(0, 1);
  AddLineOptions(*send, common);
  AddAddressOptions(*send, common);
  std::string raw;
  send->add_option("--raw", raw, "Command byte and data in hex (\"11 70 17 00 00\"); address, length and checksum "
                                 "are added; a reply is read when the command byte has bit 7 set");

  const SendCommandSpec specs[] = {
      {"cmd00", link::kTabCmd00, "Get device Address (always reads the reply; Addr: follows it)"},
      {"cmd11", link::kTabCmd11, "Stepper Motor start by count"},
      {"cmd12", link::kTabCmd12, "Start Stepper Motor by parameters"},
      {"cmd13", link::kTabCmd13, "Read Step motor status"},
      {"cmd21", link::kTabCmd21, "D-C Motor start according special PWM value"},
      {"cmd22", link::kTabCmd22, "D-C Motor fast-starging (drive modes)"},
      {"cmd23", link::kTabCmd23, "Give DC-motor special runing parameters for next-starting"},
      {"cmd24", link::kTabCmd24, "Get DC-motor status (always reads the reply)"},
      {"cmd38", link::kTabCmd38, "Reset all parameters to default(D-C or Stepper)"},
      {"cmd3f", link::kTabCmd3F, "Stop motor(D-C or Stepper)"},
      {"cmd40", link::kTabCmd40, "Change Address of device"},
      {"cmd41", link::kTabCmd41, "Change RS485 Baudrate"},
      {"cmd42", link::kTabCmd42, "Setup Motor type and default running parameters"},
      {"cmd43", link::kTabCmd43, "Read Setup Data From Device (always reads the reply)"},
  };
  std::map<CLI::App*, int> tabOf;
  std::map<std::string, CLI::App*> commandNamed;
  for (const auto& spec : specs) {
    auto* sub = send->add_subcommand(spec.name, spec.title)->ignore_case()->fallthrough();
    sub->footer("Line options (--port, --baud, --addr, --no-res, --json): see 'tarnwick-cli send --help'.\n"
                "An option left out keeps the panel's start value; an empty value is an empty field.");
    tabOf[sub] = spec.tab;
    commandNamed[spec.name] = sub;
  }
  const auto text = [](CLI::App* sub, const char* flag, std::string& field, const char* label) {
    sub->add_option(flag, field, std::string(label))->capture_default_str();
  };
  const auto check = [](CLI::App* sub, const char* flag, bool& field, const char* label) {
    sub->add_flag(flag, field, std::string("Check ") + label);
  };

  // CMD11 and CMD12 read the step word from the same three controls.
  const auto stepOptions = [&](CLI::App* sub, auto& f) {
    text(sub, "--step-count", f.stepCount, "Step count: decimal, or hex after 0x");
    check(sub, "--reverse", f.reverse, "Reverse");
    check(sub, "--not-limit", f.notLimit, "Not-Limit (run without a count)");
  };
  stepOptions(commandNamed["cmd11"], fields.cmd11);
  auto* c12 = commandNamed["cmd12"];
  stepOptions(c12, fields.cmd12);
  text(c12, "--frequency", fields.cmd12.frequency, "Frequency in Hz, 0 to 65535");
  text(c12, "--pulse-duty", fields.cmd12.pulseDuty, "Pulse Duty in %, 0 to 100");

  auto* c21 = commandNamed["cmd21"];
  text(c21, "--left-duty", fields.cmd21.leftDuty, "Left duty in %, 0 to 100");
  text(c21, "--right-duty", fields.cmd21.rightDuty, "Right duty in %, 0 to 100");
  check(c21, "--left-reverse", fields.cmd21.leftReverse, "Left Reverse");
  check(c21, "--right-reverse", fields.cmd21.rightReverse, "Right Reverse");

  // Named choices: the text is checked by name here and mapped to its value after parsing.
  std::string leftMode = "forward", rightMode = "forward", baudrate = "9600", motorTypeName = "stepper";
  const auto choice = [](CLI::App* sub, const char* flag, std::string& value, std::vector<std::string> names,
                         const std::string& help) {
    sub->add_option(flag, value, help)->check(CLI::IsMember(names, CLI::ignore_case))->capture_default_str();
  };
  const std::vector<std::string> modeNames = {"stop", "forward", "reversal", "shortbrake"};
  choice(commandNamed["cmd22"], "--left-mode", leftMode, modeNames, "Left drive mode: forward, reversal, stop or shortbrake");
  choice(commandNamed["cmd22"], "--right-mode", rightMode, modeNames, "Right drive mode: forward, reversal, stop or shortbrake");

  auto* c23 = commandNamed["cmd23"];
  text(c23, "--left-frequency", fields.cmd23.leftFrequency, "Left Frequency in Hz, 0 to 65535");
  text(c23, "--left-pulse-duty", fields.cmd23.leftPulseDuty, "Left Pulse Duty in %, 0 to 100");
  text(c23, "--right-frequency", fields.cmd23.rightFrequency, "Right Frequency in Hz, 0 to 65535");
  text(c23, "--right-pulse-duty", fields.cmd23.rightPulseDuty, "Right Pulse Duty in %, 0 to 100");

  text(commandNamed["cmd40"], "--new-address", fields.cmd40.newAddress, "New Address in hex, 01 to FE");

  std::vector<std::string> rateNames;
  for (int rate : link::kBaudRates) rateNames.push_back(std::to_string(rate));
  choice(commandNamed["cmd41"], "--baudrate", baudrate, rateNames,
         "New line speed: 2400, 4800, 9600, 19200, 38400, 57600 or 115200");

  auto* c42 = commandNamed["cmd42"];
  choice(c42, "--motor-type", motorTypeName, {"stepper", "d-c"}, "Motor type: stepper or d-c (Right fields apply to d-c only)");
  text(c42, "--left-frequency", fields.cmd42.leftFrequency, "Left Frequency in Hz, 0 to 65535 (the stepper's frequency)");
  text(c42, "--left-pulse-duty", fields.cmd42.leftPulseDuty, "Left Pulse Duty in %, 0 to 100 (the stepper's duty)");
  text(c42, "--right-frequency", fields.cmd42.rightFrequency, "Right Frequency in Hz, 0 to 65535");
  text(c42, "--right-pulse-duty", fields.cmd42.rightPulseDuty, "Right Pulse Duty in %, 0 to 100");

  panels::StepperTestFields stepper;
  auto* stepperTest = app.add_subcommand(
      "stepper-test", "One Stepper Test update: the stop frame and an unlimited run at Freq and Duty, to every board");
  AddLineOptions(*stepperTest, common);
  stepperTest->add_option("--freq", stepper.frequency, "Freq in Hz, 1 to 10000")->capture_default_str();
  stepperTest->add_option("--duty", stepper.duty, "Duty in %, 0 to 100")->capture_default_str();
  stepperTest->add_flag("--reverse", stepper.reverse, "Check Reverse");

  panels::DcTestFields dc;
  auto* dcTest = app.add_subcommand(
      "dc-test", "One D-C Test update: both motors' parameters, then the start frame, to every board");
  AddLineOptions(*dcTest, common);
  dcTest->add_option("--left-freq", dc.leftFrequency, "Left Freq in Hz, 1 to 80000 (above 65535 sent as 65535)")
      ->capture_default_str();
  dcTest->add_option("--left-duty", dc.leftDuty, "Left Duty in %, 0 to 100")->capture_default_str();
  dcTest->add_option("--right-freq", dc.rightFrequency, "Right Freq in Hz, 1 to 80000 (above 65535 sent as 65535)")
      ->capture_default_str();
  dcTest->add_option("--right-duty", dc.rightDuty, "Right Duty in %, 0 to 100")->capture_default_str();
  dcTest->add_flag("--left-reverse", dc.leftReverse, "Check Left Reverse");
  dcTest->add_flag("--right-reverse", dc.rightReverse, "Check Right Reverse");

  auto* stop = app.add_subcommand("stop", "Send the stop frame (CMD3F to every board, no reply)");
  AddLineOptions(*stop, common);

  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForAllHelp& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    app.exit(e);
    return kExitInvalid;
  }

  if (ports->parsed()) {
    for (const auto& p : link::EnumeratePorts()) std::cout << p.name << '\t' << p.path << '\n';
    return 0;
  }
  if (send->parsed()) {
    const auto modeOf = [&](const std::string& name) {
      return static_cast<std::uint8_t>(std::find(modeNames.begin(), modeNames.end(), CLI::detail::to_lower(name)) - modeNames.begin());
    };
    fields.cmd22.leftMode = modeOf(leftMode);
    fields.cmd22.rightMode = modeOf(rightMode);
    fields.cmd41.baudIndex = *link::BaudIndexOf(std::stoi(baudrate));
    fields.cmd42.motorType = CLI::detail::to_lower(motorTypeName) == "d-c" ? panels::kMotorDc : panels::kMotorStepper;
    const auto chosen = send->get_subcommands();
    if (!raw.empty() || chosen.empty()) {
      if (chosen.size() == 1 || raw.empty()) {
        std::cerr << "tarnwick-cli: give either a command (cmd00 ... cmd43) or --raw\n";
        return kExitInvalid;
      }
      std::string error;
      const auto bytes = ParseRawBytes(raw, error);
      if (bytes.empty()) {
        std::cerr << "tarnwick-cli: " << error << "\n";
        return kExitInvalid;
      }
      return RunSend(link::kTabCmd00, common, fields, &bytes);
    }
    return RunSend(tabOf.at(chosen.front()), common, fields, nullptr);
  }
  if (stepperTest->parsed()) {
    const auto update = panels::BuildStepperTestSend(stepper, false, true, {});
    return RunLiveSend(common, update.bytes, update.reason);
  }
  if (dcTest->parsed()) {
    const auto update = panels::BuildDcTestSend(dc, false, true, {});
    return RunLiveSend(common, update.bytes, update.reason);
  }
  return RunLiveSend(common, panels::kStopFrame, {});
}
