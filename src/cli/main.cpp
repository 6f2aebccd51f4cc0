// tarnwick-cli: the window's exchange from a shell, for scripts and CI.
#include <CLI/CLI.hpp>
#include <cctype>
#include <iostream>
#include <sstream>
#include <utility>
#include <vector>

#include "cli_host.h"
#include "link/baud_rates.h"
#include "link/commands.h"
#include "link/hex_text.h"
#include "link/port_list.h"
#include "link/serial_port.h"
#include "panels/live_test_logic.h"

namespace {

using namespace tarnwick;
using link::CommandCode;

constexpr int kExitInvalid = 2;
constexpr int kExitNoPort = 3;

using Choices = std::vector<std::pair<std::string, int>>;

struct LineOptions {
  std::string port;
  int baudIndex = link::kDefaultBaudIndex;
  std::string address = "FF";
  bool noRes = false;
  bool json = false;
};

Choices BaudChoices() {
  Choices choices;
  for (std::size_t i = 0; i < link::kBaudRates.size(); ++i)
    choices.emplace_back(std::to_string(link::kBaudRates[i]), static_cast<int>(i));
  return choices;
}

// A choice among names, in any case, stored as the value the name stands for.
template <typename Field>
void AddChoice(CLI::App* app, const char* flag, Field& field, const Choices& choices, const char* typeName,
               const std::string& help) {
  std::vector<std::string> names;
  std::string current;
  for (const auto& [name, value] : choices) {
    names.push_back(name);
    if (value == static_cast<int>(field)) current = name;
  }
  // Transforms run last-added first: the name is checked, then mapped to its value.
  app->add_option(flag, field, help)
      ->transform(CLI::Transformer(choices).description(""))
      ->transform(CLI::IsMember(names, CLI::ignore_case))
      ->type_name(typeName)
      ->default_str(current);
}

void AddLineOptions(CLI::App& app, LineOptions& o) {
  app.add_option("--port", o.port, "Port name from 'ports' (sim0, ttyUSB0) or a device path; default: the first listed");
  AddChoice(&app, "--baud", o.baudIndex, BaudChoices(), "INT", "Line speed");
  app.add_flag("--json", o.json, "Print one JSON object instead of lines");
}

void AddAddressOptions(CLI::App& app, LineOptions& o) {
  app.add_option("--addr", o.address, "Device address in hex, as typed in Addr: (empty or FF: broadcast)")
      ->capture_default_str();
  app.add_flag("--no-res", o.noRes, "Clear Res: ask for no reply (CMD00, CMD24 and CMD43 always read one)");
}

int Finish(const cli::Report& report, bool json) {
  if (json) {
    std::cout << cli::FormatJson(report);
  } else {
    std::cout << cli::FormatText(report);
    if (!report.error.empty()) std::cerr << "tarnwick-cli: " << report.error << "\n";
  }
  return report.exitStatus;
}

// The port to use, or an explanation of why there is none. A device path is
// taken as given; only a name, or no port at all, needs the list of ports.
std::string ChoosePort(const LineOptions& o, std::string& error) {
  if (o.port.find('/') != std::string::npos) return o.port;
  const auto ports = link::EnumeratePorts();
  if (!o.port.empty()) return link::ResolvePort(ports, o.port);
  if (ports.empty()) error = "no port selected: no serial port found (plug in an adapter, or start tarnwick-sim)";
  return ports.empty() ? std::string() : ports.front().path;
}

// ---- send ----

// What the command line adds to a command's title in its help.
std::string HelpTitle(const link::CommandInfo& command) {
  std::string title(command.title);
  switch (command.code) {
    case CommandCode::kGetAddress: return title + " (always reads the reply; Addr: follows it)";
    case CommandCode::kDcDriveModes: return title + " (drive modes)";
    default: return command.reply == link::ReplyRule::kAlways ? title + " (always reads the reply)" : title;
  }
}

std::string Lowercase(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return lower;
}

void AddText(CLI::App* sub, const char* flag, std::string& field, const std::string& label) {
  sub->add_option(flag, field, label)->capture_default_str();
}

void AddCheck(CLI::App* sub, const char* flag, bool& field, const std::string& label) {
  sub->add_flag(flag, field, "Check " + label);
}

// CMD11 and CMD12 read the step word from the same three controls.
template <typename StepFields>
void AddStepOptions(CLI::App* sub, StepFields& f) {
  AddText(sub, "--step-count", f.stepCount, "Step count: decimal, or hex after 0x");
  AddCheck(sub, "--reverse", f.reverse, "Reverse");
  AddCheck(sub, "--not-limit", f.notLimit, "Not-Limit (run without a count)");
}

void AddCmd12Options(CLI::App* sub, panels::Cmd12Fields& f) {
  AddStepOptions(sub, f);
  AddText(sub, "--frequency", f.frequency, "Frequency in Hz, 0 to 65535");
  AddText(sub, "--pulse-duty", f.pulseDuty, "Pulse Duty in %, 0 to 100");
}

void AddCmd21Options(CLI::App* sub, panels::Cmd21Fields& f) {
  AddText(sub, "--left-duty", f.leftDuty, "Left duty in %, 0 to 100");
  AddText(sub, "--right-duty", f.rightDuty, "Right duty in %, 0 to 100");
  AddCheck(sub, "--left-reverse", f.leftReverse, "Left Reverse");
  AddCheck(sub, "--right-reverse", f.rightReverse, "Right Reverse");
}

void AddCmd22Options(CLI::App* sub, panels::Cmd22Fields& f) {
  const Choices modes = {{"stop", link::kDriveStop},
                         {"forward", link::kDriveForward},
                         {"reversal", link::kDriveReversal},
                         {"shortbrake", link::kDriveShortBrake}};
  AddChoice(sub, "--left-mode", f.leftMode, modes, "TEXT", "Left drive mode: forward, reversal, stop or shortbrake");
  AddChoice(sub, "--right-mode", f.rightMode, modes, "TEXT", "Right drive mode: forward, reversal, stop or shortbrake");
}

void AddCmd23Options(CLI::App* sub, panels::Cmd23Fields& f) {
  AddText(sub, "--left-frequency", f.leftFrequency, "Left Frequency in Hz, 0 to 65535");
  AddText(sub, "--left-pulse-duty", f.leftPulseDuty, "Left Pulse Duty in %, 0 to 100");
  AddText(sub, "--right-frequency", f.rightFrequency, "Right Frequency in Hz, 0 to 65535");
  AddText(sub, "--right-pulse-duty", f.rightPulseDuty, "Right Pulse Duty in %, 0 to 100");
}

void AddCmd42Options(CLI::App* sub, panels::Cmd42Fields& f) {
  AddChoice(sub, "--motor-type", f.motorType, {{"stepper", link::kMotorStepper}, {"d-c", link::kMotorDc}}, "TEXT",
            "Motor type: stepper or d-c (Right fields apply to d-c only)");
  AddText(sub, "--left-frequency", f.leftFrequency, "Left Frequency in Hz, 0 to 65535 (the stepper's frequency)");
  AddText(sub, "--left-pulse-duty", f.leftPulseDuty, "Left Pulse Duty in %, 0 to 100 (the stepper's duty)");
  AddText(sub, "--right-frequency", f.rightFrequency, "Right Frequency in Hz, 0 to 65535");
  AddText(sub, "--right-pulse-duty", f.rightPulseDuty, "Right Pulse Duty in %, 0 to 100");
}

// The options of a command's panel fields; commands without data have none.
void AddFieldOptions(CLI::App* sub, CommandCode code, panels::CommandFieldSet& fields) {
  switch (code) {
    case CommandCode::kStepperByCount: return AddStepOptions(sub, fields.cmd11);
    case CommandCode::kStepperByParameters: return AddCmd12Options(sub, fields.cmd12);
    case CommandCode::kDcDuty: return AddCmd21Options(sub, fields.cmd21);
    case CommandCode::kDcDriveModes: return AddCmd22Options(sub, fields.cmd22);
    case CommandCode::kDcParameters: return AddCmd23Options(sub, fields.cmd23);
    case CommandCode::kChangeAddress:
      return AddText(sub, "--new-address", fields.cmd40.newAddress, "New Address in hex, 01 to FE");
    case CommandCode::kChangeBaudRate:
      return AddChoice(sub, "--baudrate", fields.cmd41.baudIndex, BaudChoices(), "TEXT",
                       "New line speed: 2400, 4800, 9600, 19200, 38400, 57600 or 115200");
    case CommandCode::kSetupMotor: return AddCmd42Options(sub, fields.cmd42);
    default: return;
  }
}

struct SendCommandLine {
  CLI::App* app = nullptr;
  LineOptions line;
  std::string raw;
  panels::CommandFieldSet fields;
  std::vector<std::pair<CLI::App*, CommandCode>> commands;
};

void AddSend(CLI::App& app, SendCommandLine& send) {
  send.app = app.add_subcommand("send", "Send one command and show the reply");
  send.app->require_subcommand(0, 1);
  AddLineOptions(*send.app, send.line);
  AddAddressOptions(*send.app, send.line);
  send.app->add_option("--raw", send.raw, "Command byte and data in hex (\"11 70 17 00 00\"); address, length and "
                                          "checksum are added; a reply is read when the command byte has bit 7 set");
  for (const link::CommandInfo& command : link::AllCommands()) {
    auto* sub = send.app->add_subcommand(Lowercase(command.name), HelpTitle(command))->ignore_case()->fallthrough();
    sub->footer("Line options (--port, --baud, --addr, --no-res, --json): see 'tarnwick-cli send --help'.\n"
                "An option left out keeps the panel's start value; an empty value is an empty field.");
    AddFieldOptions(sub, command.code, send.fields);
    send.commands.emplace_back(sub, command.code);
  }
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

int RefuseInvocation(const std::string& error) {
  std::cerr << "tarnwick-cli: " << error << "\n";
  return kExitInvalid;
}

// Runs one exchange over the line the options name and prints what it produced.
template <typename Run>
int Exchange(const SendCommandLine& send, Run run) {
  std::string portError;
  const link::LineSettings line{ChoosePort(send.line, portError), send.line.baudIndex, send.line.address,
                                !send.line.noRes};
  cli::CliHost host(send.fields);
  const link::ExchangeOutcome outcome = run(host, line);
  cli::Report& report = host.MutableReport();
  if (outcome.stage == link::ExchangeStage::NoPortSelected && report.error.empty())
    report.error = portError.empty() ? "no port selected" : portError;
  report.exitStatus = cli::ExitStatusOf(outcome);
  return Finish(report, send.line.json);
}

int RunSend(const SendCommandLine& send) {
  const auto chosen = send.app->get_subcommands();
  if (send.raw.empty() == chosen.empty()) return RefuseInvocation("give either a command (cmd00 ... cmd43) or --raw");
  if (chosen.empty()) {
    std::string error;
    const auto bytes = ParseRawBytes(send.raw, error);
    if (bytes.empty()) return RefuseInvocation(error);
    return Exchange(send, [&](cli::CliHost& host, const link::LineSettings& line) {
      return link::SendRawCommand(host, line, bytes);
    });
  }
  CommandCode command{};
  for (const auto& [sub, code] : send.commands)
    if (sub == chosen.front()) command = code;
  return Exchange(send, [&](cli::CliHost& host, const link::LineSettings& line) {
    return link::SendCommand(host, line, command);
  });
}

// ---- stepper-test, dc-test, stop: one write of a live test update, no address, no reply ----

int RunLiveSend(const LineOptions& o, std::span<const std::uint8_t> bytes, const std::string& refusal) {
  cli::Report report;
  if (bytes.empty()) {
    report.error = refusal;
    report.exitStatus = kExitInvalid;
    return Finish(report, o.json);
  }
  const std::string path = ChoosePort(o, report.error);
  const int baudRate = *link::BaudRateAt(o.baudIndex);
  link::OpenError openError;
  auto port = path.empty() ? nullptr : link::OpenPort(path, baudRate, &openError);
  if (!port) {
    if (!path.empty()) report.error = link::DescribeOpenError(path, openError);
    report.exitStatus = kExitNoPort;
    return Finish(report, o.json);
  }
  report.sendData = link::FormatHexDump(bytes);
  port->TransmitFrame(bytes, baudRate);
  return Finish(report, o.json);
}

template <typename Fields>
struct LiveTestCommandLine {
  CLI::App* app = nullptr;
  LineOptions line;
  Fields fields;
};
using StepperTestCommandLine = LiveTestCommandLine<panels::StepperTestFields>;
using DcTestCommandLine = LiveTestCommandLine<panels::DcTestFields>;

void AddStepperTest(CLI::App& app, StepperTestCommandLine& test) {
  test.app = app.add_subcommand(
      "stepper-test", "One Stepper Test update: the stop frame and an unlimited run at Freq and Duty, to every board");
  AddLineOptions(*test.app, test.line);
  AddText(test.app, "--freq", test.fields.frequency, "Freq in Hz, 1 to 10000");
  AddText(test.app, "--duty", test.fields.duty, "Duty in %, 0 to 100");
  AddCheck(test.app, "--reverse", test.fields.reverse, "Reverse");
}

void AddDcTest(CLI::App& app, DcTestCommandLine& test) {
  test.app = app.add_subcommand(
      "dc-test", "One D-C Test update: both motors' parameters, then the start frame, to every board");
  AddLineOptions(*test.app, test.line);
  panels::DcTestFields& f = test.fields;
  AddText(test.app, "--left-freq", f.leftFrequency, "Left Freq in Hz, 1 to 80000 (above 65535 sent as 65535)");
  AddText(test.app, "--left-duty", f.leftDuty, "Left Duty in %, 0 to 100");
  AddText(test.app, "--right-freq", f.rightFrequency, "Right Freq in Hz, 1 to 80000 (above 65535 sent as 65535)");
  AddText(test.app, "--right-duty", f.rightDuty, "Right Duty in %, 0 to 100");
  AddCheck(test.app, "--left-reverse", f.leftReverse, "Left Reverse");
  AddCheck(test.app, "--right-reverse", f.rightReverse, "Right Reverse");
}

int RunStepperTest(const StepperTestCommandLine& test) {
  const auto update = panels::BuildStepperTestSend(test.fields, false, true, {});
  return RunLiveSend(test.line, update.bytes, update.reason);
}

int RunDcTest(const DcTestCommandLine& test) {
  const auto update = panels::BuildDcTestSend(test.fields, false, true, {});
  return RunLiveSend(test.line, update.bytes, update.reason);
}

int RunPorts() {
  for (const auto& p : link::EnumeratePorts()) std::cout << p.name << '\t' << p.path << '\n';
  return 0;
}

void Describe(CLI::App& app) {
  app.description("Tarnwick command line: one exchange with a motor-driver board on an RS-485 line.\n"
                  "Exit status: 0 sent (and Success where a reply was read), 1 any other result,\n"
                  "2 invalid or missing parameter, 3 no port or the port cannot be opened.");
  app.require_subcommand(1);
  app.footer("Examples:\n"
             "  tarnwick-cli ports\n"
             "  tarnwick-cli send cmd00 --port sim0\n"
             "  tarnwick-cli send cmd12 --port ttyUSB0 --addr 01 --frequency 1000 --pulse-duty 50\n"
             "  tarnwick-cli send cmd12 --help       (the fields of one command)\n"
             "  tarnwick-cli dc-test --port sim0 --left-freq 20000 --right-reverse");
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app;
  Describe(app);
  auto* ports = app.add_subcommand("ports", "List the serial ports and simulated boards: name, a tab, path");
  SendCommandLine send;
  AddSend(app, send);
  StepperTestCommandLine stepperTest;
  AddStepperTest(app, stepperTest);
  DcTestCommandLine dcTest;
  AddDcTest(app, dcTest);
  auto* stop = app.add_subcommand("stop", "Send the stop frame (CMD3F to every board, no reply)");
  LineOptions stopLine;
  AddLineOptions(*stop, stopLine);

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

  if (ports->parsed()) return RunPorts();
  if (send.app->parsed()) return RunSend(send);
  if (stepperTest.app->parsed()) return RunStepperTest(stepperTest);
  if (dcTest.app->parsed()) return RunDcTest(dcTest);
  return RunLiveSend(stopLine, panels::StopFrame(), {});
}
