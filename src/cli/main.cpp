// tarnwick-cli: the window's exchange from a shell, for scripts and CI.
#include <CLI/CLI.hpp>
#include <deque>
#include <functional>
#include <iostream>
#include <memory>
#include <nlohmann/json.hpp>
#include <sstream>
#include <utility>
#include <vector>

#include "cli/bash_completion.h"
#include "cli/option_values.h"
#include "cli_host.h"
#include "link/baud_rates.h"
#include "link/commands.h"
#include "link/hex_text.h"
#include "link/port_list.h"
#include "link/serial_port.h"
#include "link/traffic_log_text.h"
#include "link/transaction.h"
#include "panels/live_test_logic.h"
#include "support/parse_arguments.h"

namespace {

using namespace tarnwick;
using cli::Choices;
using cli::NumberRule;
using link::CommandCode;

constexpr int kExitInvalid = 2;
constexpr const char* kProgram = "tarnwick-cli";

// How the run prints, decided before the options are parsed so that a refused
// command line already answers in the form asked for.
struct OutputMode {
  bool json = false;
  bool asTyped = false;
  std::string logPath;  // --log: where every frame, reply and result is appended
};

struct LineOptions {
  std::string port;
  int baudIndex = link::kDefaultBaudIndex;
  std::string address = "FF";
  bool noRes = false;
};

// Options whose values are checked after parsing, in one pass, before anything is
// opened: a field option's text against its number rule (unless --as-typed hands
// it to the panel as typed), a choice's name against its list.
class CheckedOptions {
 public:
  static const char* TypeName(const NumberRule& rule) {
    switch (rule.kind) {
      case cli::NumberKind::kHex: return "HEX";
      case cli::NumberKind::kStepCount: return "COUNT";
      case cli::NumberKind::kDecimal: break;
    }
    return "INT";
  }

  void Field(CLI::App* app, const char* flag, std::string& field, const std::string& help, NumberRule rule) {
    CLI::Option* option = app->add_option(flag, field, help)->type_name(TypeName(rule))->capture_default_str();
    entries_.push_back({option, true, [flag, &field, rule](std::string& error) {
                          const auto value = cli::CheckNumber(flag, field, rule, error);
                          if (value) field = cli::FieldTextOf(*value, rule);
                          return value.has_value();
                        }});
  }

  template <typename Value>
  void Choice(CLI::App* app, const char* flag, Value& field, const Choices& choices, const std::string& help) {
    std::string& text = texts_.emplace_back();
    std::string names, current;
    for (const auto& [name, value] : choices) {
      names += (names.empty() ? "" : ",") + name;
      if (value == static_cast<int>(field)) current = name;
    }
    CLI::Option* option = app->add_option(flag, text, help)->type_name("TEXT:{" + names + "}")->default_str(current);
    entries_.push_back({option, false, [flag, &text, &field, choices](std::string& error) {
                          const auto value = cli::CheckChoice(flag, text, choices, error);
                          if (value) field = static_cast<Value>(*value);
                          return value.has_value();
                        }});
  }

  // The first refusal among the options given, or "".
  std::string Check(bool asTyped) const {
    std::string error;
    for (const Entry& entry : entries_)
      if (entry.option->count() > 0 && !(asTyped && entry.isFieldText) && !entry.apply(error)) return error;
    return {};
  }

 private:
  struct Entry {
    CLI::Option* option;
    bool isFieldText;
    std::function<bool(std::string&)> apply;
  };
  std::deque<std::string> texts_;  // a choice's text as given; deque: the options keep its address
  std::vector<Entry> entries_;
};

Choices BaudChoices() {
  Choices choices;
  for (std::size_t i = 0; i < link::kBaudRates.size(); ++i)
    choices.emplace_back(std::to_string(link::kBaudRates[i]), static_cast<int>(i));
  return choices;
}

void AddLineOptions(CLI::App& app, LineOptions& o, CheckedOptions& checked) {
  app.add_option("--port", o.port, "Port name from 'ports' (sim0, ttyUSB0) or a device path; default: the first simulated board "
                  "running (a serial port is used only when named)");
  checked.Choice(&app, "--baud", o.baudIndex, BaudChoices(), "Line speed");
}

void AddAddressOptions(CLI::App& app, LineOptions& o, CheckedOptions& checked) {
  checked.Field(&app, "--addr", o.address, "Device address: one or two hex digits, 0x allowed (FF: broadcast)",
                cli::kAddressRule);
  app.add_flag("--no-res", o.noRes, "Clear Res: ask for no reply (CMD00, CMD24 and CMD43 always read one)");
}

void AddAsTyped(CLI::App& app, OutputMode& mode) {
  app.add_flag("--as-typed", mode.asTyped,
               "Take every field's text as the window's field would ('12abc' is 12, an empty text is empty)");
}

// What the text form adds to the report: the error, with its detail, on standard error.
int Finish(const cli::Report& report, const OutputMode& mode) {
  if (mode.json) {
    std::cout << cli::FormatJson(report);
  } else {
    std::cout << cli::FormatText(report);
    if (!report.error.empty()) std::cerr << kProgram << ": " << cli::FormatError(report) << "\n";
  }
  return report.exitStatus;
}

// A command line that cannot run: exit status 2, in the form asked for.
int RefuseInvocation(const std::string& error, const OutputMode& mode) {
  if (mode.json) {
    nlohmann::ordered_json json;
    json["error"] = error;
    json["exit_status"] = kExitInvalid;
    std::cout << cli::JsonText(json);
  } else {
    std::cerr << kProgram << ": " << error << "\n";
  }
  return kExitInvalid;
}

// Why no port was chosen, with the ports there are to choose from.
std::string NoPortGiven(const std::vector<link::PortEntry>& ports) {
  if (ports.empty())
    return "no port given and no simulated board running; no serial port found either (plug in an adapter and "
           "name it with --port, or start tarnwick-sim)";
  std::string names;
  for (const link::PortEntry& p : ports) names += (names.empty() ? "" : ", ") + p.name + " (" + p.path + ")";
  return "no port given and no simulated board running; name one with --port: " + names;
}

// The port that --port names, else the first simulated board running: a real
// serial port is used only when named. Nothing, with why in error, otherwise. A
// device path is taken as given; only a name, or no port at all, needs the list.
std::optional<link::PortEntry> ChoosePort(const LineOptions& o, std::string& error) {
  if (o.port.find('/') != std::string::npos) return link::FindPort({}, o.port);
  const auto ports = link::EnumeratePorts();
  if (!o.port.empty()) return link::FindPort(ports, o.port);
  for (const link::PortEntry& p : ports)
    if (link::IsSimulatedBoard(p)) return p;
  error = NoPortGiven(ports);
  return std::nullopt;
}

// The traffic log --log asks for: null without it. A log that cannot be written
// refuses the run before the line is touched.
struct TrafficLogOption {
  std::unique_ptr<link::TrafficLogFile> file;
  std::string error;
  link::TrafficLog* get() const { return file.get(); }
};

TrafficLogOption OpenTrafficLog(const OutputMode& mode) {
  if (mode.logPath.empty()) return {};
  auto file = std::make_unique<link::TrafficLogFile>(mode.logPath);
  if (!file->IsOpen()) return {nullptr, file->Error()};
  return {std::move(file), {}};
}

// A run without a port sends nothing: exit status 2, as a refused command line.
int RefuseWithoutPort(const std::string& error, const OutputMode& mode, link::TrafficLog* log) {
  link::TrafficReporter(log, "").Event("no port selected", link::log_result::kNoPort);
  cli::Report report;
  report.error = error;
  report.exitStatus = kExitInvalid;
  return Finish(report, mode);
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

// One example per command, shown in its help and in the manual.
std::string ExampleOf(CommandCode code) {
  switch (code) {
    case CommandCode::kGetAddress: return "send cmd00 --port sim0";
    case CommandCode::kStepperByCount: return "send cmd11 --port sim0 --addr 01 --step-count 0x1F40 --reverse";
    case CommandCode::kStepperByParameters:
      return "send cmd12 --port ttyUSB0 --addr 01 --frequency 1000 --pulse-duty 50";
    case CommandCode::kStepperStatus: return "send cmd13 --port sim0 --addr 01 --json | jq .fields.step_count";
    case CommandCode::kDcDuty: return "send cmd21 --port sim0 --addr 01 --left-duty 50 --right-duty 50 --right-reverse";
    case CommandCode::kDcDriveModes: return "send cmd22 --port sim0 --addr 01 --left-mode forward --right-mode shortbrake";
    case CommandCode::kDcParameters: return "send cmd23 --port sim0 --addr 01 --left-frequency 20000 --right-pulse-duty 80";
    case CommandCode::kDcStatus: return "send cmd24 --port sim0 --addr 01";
    case CommandCode::kResetDefaults: return "send cmd38 --port sim0 --addr 01";
    case CommandCode::kStopMotor: return "send cmd3f --port sim0 --addr 01";
    case CommandCode::kChangeAddress: return "send cmd40 --port sim0 --addr 01 --new-address 05";
    case CommandCode::kChangeBaudRate: return "send cmd41 --port sim0 --addr 01 --baudrate 19200";
    case CommandCode::kSetupMotor: return "send cmd42 --port sim0 --addr 01 --motor-type d-c --right-frequency 30000";
    case CommandCode::kReadSetup: return "send cmd43 --port sim0 --addr 01 --json";
  }
  return {};
}

std::string Examples(std::initializer_list<std::string> lines) {
  std::string text = "Examples:";
  for (const std::string& line : lines) text += std::string("\n  ") + kProgram + " " + line;
  return text;
}

void AddCheck(CLI::App* sub, const char* flag, bool& field, const std::string& label) {
  sub->add_flag(flag, field, "Check " + label);
}

// CMD11 and CMD12 read the step word from the same three controls.
template <typename StepFields>
void AddStepOptions(CLI::App* sub, StepFields& f, CheckedOptions& checked) {
  checked.Field(sub, "--step-count", f.stepCount, "Step count: decimal, or hex after 0x", cli::kStepCountRule);
  AddCheck(sub, "--reverse", f.reverse, "Reverse");
  AddCheck(sub, "--not-limit", f.notLimit, "Not-Limit (run without a count)");
}

void AddCmd12Options(CLI::App* sub, panels::Cmd12Fields& f, CheckedOptions& checked) {
  AddStepOptions(sub, f, checked);
  checked.Field(sub, "--frequency", f.frequency, "Frequency in Hz, 0 to 65535", cli::kFrequencyRule);
  checked.Field(sub, "--pulse-duty", f.pulseDuty, "Pulse Duty in %, 0 to 100", cli::kPercentRule);
}

void AddCmd21Options(CLI::App* sub, panels::Cmd21Fields& f, CheckedOptions& checked) {
  checked.Field(sub, "--left-duty", f.leftDuty, "Left duty in %, 0 to 100", cli::kPercentRule);
  checked.Field(sub, "--right-duty", f.rightDuty, "Right duty in %, 0 to 100", cli::kPercentRule);
  AddCheck(sub, "--left-reverse", f.leftReverse, "Left Reverse");
  AddCheck(sub, "--right-reverse", f.rightReverse, "Right Reverse");
}

void AddCmd22Options(CLI::App* sub, panels::Cmd22Fields& f, CheckedOptions& checked) {
  const Choices modes = {{"stop", link::kDriveStop},
                         {"forward", link::kDriveForward},
                         {"reversal", link::kDriveReversal},
                         {"shortbrake", link::kDriveShortBrake}};
  checked.Choice(sub, "--left-mode", f.leftMode, modes, "Left drive mode: forward, reversal, stop or shortbrake");
  checked.Choice(sub, "--right-mode", f.rightMode, modes, "Right drive mode: forward, reversal, stop or shortbrake");
}

// CMD23 and CMD42 read the same four fields.
template <typename ParameterFields>
void AddParameterOptions(CLI::App* sub, ParameterFields& f, CheckedOptions& checked, const std::string& leftNote) {
  checked.Field(sub, "--left-frequency", f.leftFrequency, "Left Frequency in Hz, 0 to 65535" + leftNote,
                cli::kFrequencyRule);
  checked.Field(sub, "--left-pulse-duty", f.leftPulseDuty, "Left Pulse Duty in %, 0 to 100" + leftNote,
                cli::kPercentRule);
  checked.Field(sub, "--right-frequency", f.rightFrequency, "Right Frequency in Hz, 0 to 65535", cli::kFrequencyRule);
  checked.Field(sub, "--right-pulse-duty", f.rightPulseDuty, "Right Pulse Duty in %, 0 to 100", cli::kPercentRule);
}

void AddCmd42Options(CLI::App* sub, panels::Cmd42Fields& f, CheckedOptions& checked) {
  checked.Choice(sub, "--motor-type", f.motorType, {{"stepper", link::kMotorStepper}, {"d-c", link::kMotorDc}},
                 "Motor type: stepper or d-c (Right fields apply to d-c only)");
  AddParameterOptions(sub, f, checked, " (the stepper's)");
}

// The options of a command's panel fields; commands without data have none.
void AddFieldOptions(CLI::App* sub, CommandCode code, panels::CommandFieldSet& fields, CheckedOptions& checked) {
  switch (code) {
    case CommandCode::kStepperByCount: return AddStepOptions(sub, fields.cmd11, checked);
    case CommandCode::kStepperByParameters: return AddCmd12Options(sub, fields.cmd12, checked);
    case CommandCode::kDcDuty: return AddCmd21Options(sub, fields.cmd21, checked);
    case CommandCode::kDcDriveModes: return AddCmd22Options(sub, fields.cmd22, checked);
    case CommandCode::kDcParameters: return AddParameterOptions(sub, fields.cmd23, checked, "");
    case CommandCode::kChangeAddress:
      return checked.Field(sub, "--new-address", fields.cmd40.newAddress, "New Address in hex, 01 to FE",
                           cli::kNewAddressRule);
    case CommandCode::kChangeBaudRate:
      return checked.Choice(sub, "--baudrate", fields.cmd41.baudIndex, BaudChoices(),
                            "New line speed: 2400, 4800, 9600, 19200, 38400, 57600 or 115200");
    case CommandCode::kSetupMotor: return AddCmd42Options(sub, fields.cmd42, checked);
    default: return;
  }
}

struct SendCommandLine {
  CLI::App* app = nullptr;
  LineOptions line;
  std::string raw;
  std::string unknownCommand;  // a word that names no command
  panels::CommandFieldSet fields;
  std::vector<std::pair<CLI::App*, CommandCode>> commands;
};

std::string CommandNames() {
  std::string names;
  for (const link::CommandInfo& command : link::AllCommands())
    names += (names.empty() ? "" : ", ") + cli::Lowercase(command.name);
  return names;
}

void AddSend(CLI::App& app, SendCommandLine& send, OutputMode& mode, CheckedOptions& checked) {
  send.app = app.add_subcommand("send", "Send one command and show the reply")->fallthrough();
  send.app->require_subcommand(0, 1);
  send.app->footer(Examples({ExampleOf(CommandCode::kGetAddress), ExampleOf(CommandCode::kStepperByParameters),
                             "send --raw \"93\" --port sim0 --addr 01", "send cmd12 --help"}));
  AddLineOptions(*send.app, send.line, checked);
  AddAddressOptions(*send.app, send.line, checked);
  AddAsTyped(*send.app, mode);
  send.app->add_option("--raw", send.raw, "Command byte and data in hex (\"11 70 17 00 00\"); address, length and "
                                          "checksum are added; a reply is read when the command byte has bit 7 set");
  send.app->add_option("command", send.unknownCommand)->group("");
  for (const link::CommandInfo& command : link::AllCommands()) {
    auto* sub = send.app->add_subcommand(cli::Lowercase(command.name), HelpTitle(command))->ignore_case()->fallthrough();
    sub->footer(Examples({ExampleOf(command.code)}) +
                "\n\nLine options (--port, --baud, --addr, --no-res, --as-typed, --json): see 'tarnwick-cli send --help'.\n"
                "An option left out keeps the panel's start value.");
    AddFieldOptions(sub, command.code, send.fields, checked);
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

// What to try when nobody answered.
std::string NoResponseHint(const link::LineSettings& line) {
  const std::string address = link::FormatHexByte(link::ParseAddressText(line.addressText));
  return "no reply from address " + address + " at " + std::to_string(*link::BaudRateAt(line.baudIndex)) +
         " baud; 'tarnwick-cli scan' finds the boards on the line, or check the adapter's wiring (A, B, ground)";
}

// Runs one exchange over the line the options name and prints what it produced.
template <typename Run>
int Exchange(const SendCommandLine& send, const OutputMode& mode, Run run) {
  const TrafficLogOption log = OpenTrafficLog(mode);
  if (!log.error.empty()) return RefuseInvocation(log.error, mode);
  std::string portError;
  const auto port = ChoosePort(send.line, portError);
  if (!port) return RefuseWithoutPort(portError, mode, log.get());
  const link::LineSettings line{port->path, send.line.baudIndex, send.line.address, !send.line.noRes};
  cli::CliHost host(send.fields, log.get());
  const link::ExchangeOutcome outcome = run(host, line);
  cli::Report& report = host.MutableReport();
  report.port = port;
  if (outcome.result == link::result::kNoResponse) report.hint = NoResponseHint(line);
  if (!outcome.detail.empty()) report.detail = outcome.detail;
  report.deviceErrorCode = outcome.deviceErrorCode;
  report.exitStatus = cli::ExitStatusOf(outcome);
  return Finish(report, mode);
}

int RunSend(const SendCommandLine& send, const OutputMode& mode) {
  if (!send.unknownCommand.empty())
    return RefuseInvocation("unknown command " + send.unknownCommand + "; one of " + CommandNames(), mode);
  const auto chosen = send.app->get_subcommands();
  if (send.raw.empty() == chosen.empty())
    return RefuseInvocation("give either a command (" + CommandNames() + ") or --raw", mode);
  if (chosen.empty()) {
    std::string error;
    const auto bytes = ParseRawBytes(send.raw, error);
    if (bytes.empty()) return RefuseInvocation(error, mode);
    return Exchange(send, mode, [&](cli::CliHost& host, const link::LineSettings& line) {
      return link::SendRawCommand(host, line, bytes);
    });
  }
  CommandCode command{};
  for (const auto& [sub, code] : send.commands)
    if (sub == chosen.front()) command = code;
  return Exchange(send, mode, [&](cli::CliHost& host, const link::LineSettings& line) {
    return link::SendCommand(host, line, command);
  });
}

// ---- stepper-test, dc-test, stop: one write of a live test update, no address, no reply ----

int RunLiveSend(const LineOptions& o, const OutputMode& mode, std::span<const std::uint8_t> bytes,
                const std::string& refusal, std::string_view source) {
  cli::Report report;
  if (bytes.empty()) {
    report.error = std::string(link::kInvalidParameterMessage);
    report.detail = refusal;
    report.exitStatus = kExitInvalid;
    return Finish(report, mode);
  }
  const TrafficLogOption log = OpenTrafficLog(mode);
  if (!log.error.empty()) return RefuseInvocation(log.error, mode);
  std::string portError;
  report.port = ChoosePort(o, portError);
  if (!report.port) return RefuseWithoutPort(portError, mode, log.get());
  const std::string& path = report.port->path;
  link::OpenError openError;
  const link::ExchangeOutcome outcome =
      link::SendFrames(path, *link::BaudRateAt(o.baudIndex), bytes, source, log.get(), &openError);
  if (outcome.stage == link::ExchangeStage::PortUnavailable) report.error = link::DescribeOpenError(path, openError);
  if (outcome.stage == link::ExchangeStage::Sent || outcome.stage == link::ExchangeStage::SendFailed)
    report.sent = link::Bytes(bytes.begin(), bytes.end());
  if (outcome.stage == link::ExchangeStage::SendFailed) {
    report.result = outcome.result;
    report.detail = outcome.detail;
  }
  report.exitStatus = cli::ExitStatusOf(outcome);
  return Finish(report, mode);
}

template <typename Fields>
struct LiveTestCommandLine {
  CLI::App* app = nullptr;
  LineOptions line;
  Fields fields;
};
using StepperTestCommandLine = LiveTestCommandLine<panels::StepperTestFields>;
using DcTestCommandLine = LiveTestCommandLine<panels::DcTestFields>;

void AddStepperTest(CLI::App& app, StepperTestCommandLine& test, OutputMode& mode, CheckedOptions& checked) {
  test.app = app.add_subcommand(
      "stepper-test", "One Stepper Test update: the stop frame and an unlimited run at Freq and Duty, to every board");
  test.app->fallthrough()->footer(Examples({"stepper-test --port sim0 --freq 5000 --duty 50 --reverse"}));
  AddLineOptions(*test.app, test.line, checked);
  AddAsTyped(*test.app, mode);
  checked.Field(test.app, "--freq", test.fields.frequency, "Freq in Hz, 1 to 10000", cli::kStepperTestFrequencyRule);
  checked.Field(test.app, "--duty", test.fields.duty, "Duty in %, 0 to 100", cli::kPercentRule);
  AddCheck(test.app, "--reverse", test.fields.reverse, "Reverse");
}

void AddDcTest(CLI::App& app, DcTestCommandLine& test, OutputMode& mode, CheckedOptions& checked) {
  test.app = app.add_subcommand(
      "dc-test", "One D-C Test update: both motors' parameters, then the start frame, to every board");
  test.app->fallthrough()->footer(Examples({"dc-test --port sim0 --left-freq 20000 --right-reverse"}));
  AddLineOptions(*test.app, test.line, checked);
  AddAsTyped(*test.app, mode);
  panels::DcTestFields& f = test.fields;
  const std::string capped = " (above 65535 sent as 65535)";
  checked.Field(test.app, "--left-freq", f.leftFrequency, "Left Freq in Hz, 1 to 80000" + capped,
                cli::kDcTestFrequencyRule);
  checked.Field(test.app, "--left-duty", f.leftDuty, "Left Duty in %, 0 to 100", cli::kPercentRule);
  checked.Field(test.app, "--right-freq", f.rightFrequency, "Right Freq in Hz, 1 to 80000" + capped,
                cli::kDcTestFrequencyRule);
  checked.Field(test.app, "--right-duty", f.rightDuty, "Right Duty in %, 0 to 100", cli::kPercentRule);
  AddCheck(test.app, "--left-reverse", f.leftReverse, "Left Reverse");
  AddCheck(test.app, "--right-reverse", f.rightReverse, "Right Reverse");
}

int RunStepperTest(const StepperTestCommandLine& test, const OutputMode& mode) {
  const auto update = panels::BuildStepperTestSend(test.fields, false, true, {});
  return RunLiveSend(test.line, mode, update.bytes, update.reason, "Stepper Test");
}

int RunDcTest(const DcTestCommandLine& test, const OutputMode& mode) {
  const auto update = panels::BuildDcTestSend(test.fields, false, true, {});
  return RunLiveSend(test.line, mode, update.bytes, update.reason, "D-C Test");
}

int RunPorts(const OutputMode& mode) {
  const auto ports = link::EnumeratePorts();
  if (!mode.json) {
    for (const auto& p : ports) std::cout << p.name << '\t' << p.path << '\n';
    return 0;
  }
  nlohmann::ordered_json json;
  json["ports"] = nlohmann::ordered_json::array();
  for (const auto& p : ports) json["ports"].push_back({{"name", p.name}, {"path", p.path}});
  json["exit_status"] = 0;
  std::cout << cli::JsonText(json);
  return 0;
}

void Describe(CLI::App& app) {
  tarnwick::NameProgram(app, kProgram);
  app.description("Tarnwick command line: one exchange with a motor-driver board on an RS-485 line.\n"
                  "Exit status: 0 sent (and Success where a reply was read), 1 any other result,\n"
                  "2 invalid or missing parameter or no port given, 3 the port cannot be opened.");
  app.footer(Examples({"ports", ExampleOf(CommandCode::kGetAddress), ExampleOf(CommandCode::kStepperByParameters),
                       "send cmd12 --help       (the fields of one command)",
                       "dc-test --port sim0 --left-freq 20000 --right-reverse"}));
}

bool JsonWanted(int argc, char** argv) {
  for (int i = 1; i < argc; ++i)
    if (std::string_view(argv[i]) == "--json") return true;
  return false;
}

// The exit status when the command line cannot run or asked for help, its version
// or its completion; nothing when it can run.
std::optional<int> Parse(CLI::App& app, int argc, char** argv, const OutputMode& mode) {
  const auto status = tarnwick::ParseArguments(
      app, argc, argv, [&mode](const CLI::ParseError& e) { return RefuseInvocation(e.what(), mode); });
  if (status) return status;
  if (app.get_subcommands().empty()) {
    if (!mode.json) std::cerr << app.help() << "\n";
    return RefuseInvocation("give a subcommand: ports, send, stepper-test, dc-test or stop", mode);
  }
  return std::nullopt;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app;
  Describe(app);
  OutputMode mode{.json = JsonWanted(argc, argv), .asTyped = false, .logPath = {}};
  CheckedOptions checked;
  app.add_flag("--json", mode.json, "Print one JSON object instead of lines (before or after the subcommand)");
  app.add_option("--log", mode.logPath,
                 "Append every frame sent and received, and each result, to FILE: one JSON object a line "
                 "(before or after the subcommand)")
      ->type_name("FILE");
  auto* ports = app.add_subcommand("ports", "List the serial ports and simulated boards: name, a tab, path");
  ports->fallthrough()->footer(Examples({"ports", "ports --json | jq -r '.ports[].name'"}));
  SendCommandLine send;
  AddSend(app, send, mode, checked);
  StepperTestCommandLine stepperTest;
  AddStepperTest(app, stepperTest, mode, checked);
  DcTestCommandLine dcTest;
  AddDcTest(app, dcTest, mode, checked);
  auto* stop = app.add_subcommand("stop", "Send the stop frame (CMD3F to every board, no reply)");
  stop->fallthrough()->footer(Examples({"stop --port sim0"}));
  LineOptions stopLine;
  AddLineOptions(*stop, stopLine, checked);

  // Hidden: the build installs its output as the bash completion.
  app.add_flag_callback("--bash-completion", [&app] {
       cli::WriteBashCompletion(app, kProgram, std::cout);
       throw CLI::Success();
     })->group("");
  if (const auto status = Parse(app, argc, argv, mode)) return *status;
  if (const std::string refused = checked.Check(mode.asTyped); !refused.empty()) return RefuseInvocation(refused, mode);

  if (ports->parsed()) return RunPorts(mode);
  if (send.app->parsed()) return RunSend(send, mode);
  if (stepperTest.app->parsed()) return RunStepperTest(stepperTest, mode);
  if (dcTest.app->parsed()) return RunDcTest(dcTest, mode);
  return RunLiveSend(stopLine, mode, panels::StopFrame(), {}, "stop");
}
