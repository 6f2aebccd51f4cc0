#include "cli/command_line.h"

#include <algorithm>
#include <chrono>
#include <iostream>
#include <nlohmann/json.hpp>

#include "link/hex_text.h"
#include "link/json_text.h"
#include "link/port_list.h"

namespace tarnwick::cli {
namespace {

using link::CommandCode;

const char* TypeName(const NumberRule& rule) {
  switch (rule.kind) {
    case NumberKind::kHex: return "HEX";
    case NumberKind::kStepCount: return "COUNT";
    case NumberKind::kDecimal: break;
  }
  return "INT";
}

// What the command line adds to a command's title in its help.
std::string HelpTitle(const link::CommandInfo& command) {
  std::string title(command.title);
  switch (command.code) {
    case CommandCode::kGetAddress: return title + " (always reads the reply; Addr: follows it)";
    case CommandCode::kDcDriveModes: return title + " (drive modes)";
    default: return command.reply == link::ReplyRule::kAlways ? title + " (always reads the reply)" : title;
  }
}

// CMD11 and CMD12 read the step word from the same three controls.
template <typename StepFields>
void AddStepOptions(CLI::App* sub, StepFields& f, CheckedOptions& checked) {
  checked.Field(sub, "--step-count", f.stepCount, "Step count: decimal, or hex after 0x", kStepCountRule);
  AddCheck(sub, "--reverse", f.reverse, "Reverse");
  AddCheck(sub, "--not-limit", f.notLimit, "Not-Limit (run without a count)");
}

void AddCmd12Options(CLI::App* sub, panels::Cmd12Fields& f, CheckedOptions& checked) {
  AddStepOptions(sub, f, checked);
  checked.Field(sub, "--frequency", f.frequency, "Frequency in Hz, 0 to 65535", kFrequencyRule);
  checked.Field(sub, "--pulse-duty", f.pulseDuty, "Pulse Duty in %, 0 to 100", kPercentRule);
}

void AddCmd21Options(CLI::App* sub, panels::Cmd21Fields& f, CheckedOptions& checked) {
  checked.Field(sub, "--left-duty", f.leftDuty, "Left duty in %, 0 to 100", kPercentRule);
  checked.Field(sub, "--right-duty", f.rightDuty, "Right duty in %, 0 to 100", kPercentRule);
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
                kFrequencyRule);
  checked.Field(sub, "--left-pulse-duty", f.leftPulseDuty, "Left Pulse Duty in %, 0 to 100" + leftNote,
                kPercentRule);
  checked.Field(sub, "--right-frequency", f.rightFrequency, "Right Frequency in Hz, 0 to 65535", kFrequencyRule);
  checked.Field(sub, "--right-pulse-duty", f.rightPulseDuty, "Right Pulse Duty in %, 0 to 100", kPercentRule);
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
                           kNewAddressRule);
    case CommandCode::kChangeBaudRate:
      return checked.Choice(sub, "--baudrate", fields.cmd41.baudIndex, BaudChoices(),
                            "New line speed: 2400, 4800, 9600, 19200, 38400, 57600 or 115200");
    case CommandCode::kSetupMotor: return AddCmd42Options(sub, fields.cmd42, checked);
    default: return;
  }
}

void AddDirectionOptions(CLI::App& app, LineOptions& o, CheckedOptions& checked) {
  const auto choices = [](std::initializer_list<std::string_view> names, auto named) {
    Choices list;
    for (std::string_view name : names) list.emplace_back(std::string(name), static_cast<int>(*named(name)));
    return list;
  };
  checked.Choice(&app, "--rs485", o.direction.control, choices({"off", "kernel", "rts"}, link::DirectionControlNamed),
                 "Who turns the RS-485 line round: off (the adapter), kernel (the driver's RS-485 mode) or rts "
                 "(RTS raised around each frame); see docs/rs485.md");
  checked.Number(&app, "--rs485-delay-before", o.direction.delayBeforeMs,
                 "With --rs485 kernel: ms RTS is raised before sending", kRs485DelayRule);
  checked.Number(&app, "--rs485-delay-after", o.direction.delayAfterMs,
                 "With --rs485 kernel: ms RTS stays raised after sending", kRs485DelayRule);
  checked.Choice(&app, "--echo", o.echo, choices({"off", "skip"}, link::EchoHandlingNamed),
                 "skip: the adapter echoes each frame sent; read the echo back before the reply");
}

}  // namespace

void CheckedOptions::Field(CLI::App* app, const char* flag, std::string& field, const std::string& help,
                           NumberRule rule) {
  CLI::Option* option = app->add_option(flag, field, help)->type_name(TypeName(rule))->capture_default_str();
  entries_.push_back({option, true, [flag, &field, rule](std::string& error) {
                        const auto value = CheckNumber(flag, field, rule, error);
                        if (value) field = FieldTextOf(*value, rule);
                        return value.has_value();
                      }});
}

void CheckedOptions::Number(CLI::App* app, const char* flag, int& value, const std::string& help, NumberRule rule) {
  std::string& text = texts_.emplace_back();
  CLI::Option* option = app->add_option(flag, text, help)->type_name(TypeName(rule))->default_str(std::to_string(value));
  entries_.push_back({option, false, [flag, &text, &value, rule](std::string& error) {
                        const auto number = CheckNumber(flag, text, rule, error);
                        if (number) value = static_cast<int>(*number);
                        return number.has_value();
                      }});
}

CLI::Option* CheckedOptions::AddChoiceOption(CLI::App* app, const char* flag, std::string& text,
                                             const Choices& choices, int current, const std::string& help) {
  std::string names, currentName;
  for (const auto& [name, value] : choices) {
    names += (names.empty() ? "" : ",") + name;
    if (value == current) currentName = name;
  }
  return app->add_option(flag, text, help)->type_name("TEXT:{" + names + "}")->default_str(currentName);
}

std::string CheckedOptions::Check(bool asTyped) const {
  std::string error;
  for (const Entry& entry : entries_)
    if (entry.option->count() > 0 && !(asTyped && entry.isFieldText) && !entry.apply(error)) return error;
  return {};
}

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
  AddDirectionOptions(app, o, checked);
}

void AddAddressOptions(CLI::App& app, LineOptions& o, CheckedOptions& checked) {
  checked.Field(&app, "--addr", o.address, "Device address: one or two hex digits, 0x allowed (FF: broadcast)",
                kAddressRule);
  app.add_flag("--no-res", o.noRes, "Clear Res: ask for no reply (CMD00, CMD24 and CMD43 always read one)");
}

void AddAsTyped(CLI::App& app, OutputMode& mode) {
  app.add_flag("--as-typed", mode.asTyped,
               "Take every field's text as the window's field would ('12abc' is 12, an empty text is empty)");
}

void AddReadEndOption(CLI::App& app, LineOptions& o, CheckedOptions& checked) {
  checked.Choice(&app, "--read-end", o.readEnd,
                 {{"gap", static_cast<int>(link::ReadEnd::Gap)}, {"frame", static_cast<int>(link::ReadEnd::Frame)}},
                 "When a reply ends: gap (25 ms of quiet, as the window) or frame (as soon as a whole verified "
                 "frame is in; other bytes fall back to the gap)");
}

void AddCheck(CLI::App* sub, const char* flag, bool& field, const std::string& label) {
  sub->add_flag(flag, field, "Check " + label);
}

std::string Examples(std::initializer_list<std::string> lines) {
  std::string text = "Examples:";
  for (const std::string& line : lines) text.append("\n  ").append(kProgram).append(" ").append(line);
  return text;
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

std::string CommandNames() {
  std::string names;
  for (const link::CommandInfo& command : link::AllCommands())
    names += (names.empty() ? "" : ", ") + Lowercase(command.name);
  return names;
}

void AddCommandSubcommands(CLI::App& parent, CommandChoice& choice, CheckedOptions& checked) {
  const std::string parentName = parent.get_name();
  parent.add_option("command", choice.unknownCommand)->group("");
  for (const link::CommandInfo& command : link::AllCommands()) {
    auto* sub = parent.add_subcommand(Lowercase(command.name), HelpTitle(command))->ignore_case()->fallthrough();
    const std::string example = parentName == "send" ? Examples({ExampleOf(command.code)}) + "\n\n" : "";
    sub->footer(example + "Line options (--port, --baud, --addr, --no-res, --as-typed, --json): see '" + kProgram +
                " " + parentName + " --help'.\nAn option left out keeps the panel's start value.");
    AddFieldOptions(sub, command.code, choice.fields, checked);
    choice.commands.emplace_back(sub, command.code);
  }
}

std::optional<CommandCode> ChosenCommand(const CLI::App& parent, const CommandChoice& choice) {
  const auto chosen = parent.get_subcommands();
  if (chosen.empty()) return std::nullopt;
  for (const auto& [sub, code] : choice.commands)
    if (sub == chosen.front()) return code;
  return std::nullopt;
}

namespace {

// Why no port was chosen, with the ports there are to choose from.
std::string NoPortGiven(const std::vector<link::PortEntry>& ports) {
  if (ports.empty())
    return "no port given and no simulated board running; no serial port found either (plug in an adapter and "
           "name it with --port, or start tarnwick-sim)";
  std::string names;
  for (const link::PortEntry& p : ports) names += (names.empty() ? "" : ", ") + p.name + " (" + p.path + ")";
  return "no port given and no simulated board running; name one with --port: " + names;
}

std::optional<link::PortEntry> NamedOrRunningPort(const LineOptions& o, std::string& error) {
  if (o.port.find('/') != std::string::npos) return link::FindPort({}, o.port);
  const auto ports = link::EnumeratePorts();
  if (!o.port.empty()) return link::FindPort(ports, o.port);
  for (const link::PortEntry& p : ports)
    if (link::IsSimulatedBoard(p)) return p;
  error = NoPortGiven(ports);
  return std::nullopt;
}

}  // namespace

std::optional<link::PortEntry> ChoosePort(const LineOptions& o, std::string& error) {
  auto port = NamedOrRunningPort(o, error);
  // This program's own terminal is a wrong value, not a port that failed to open.
  if (const link::OpenError refused = port ? link::CheckPortTarget(port->path) : link::OpenError{};
      refused.kind == link::OpenFailure::OwnTerminal) {
    error = link::DescribeOpenError(port->path, refused);
    return std::nullopt;
  }
  return port;
}

link::LineSettings LineSettingsOf(const LineOptions& o, std::string port) {
  link::LineSettings line{std::move(port), o.baudIndex, o.address, !o.noRes, {}, o.direction, o.echo};
  line.read.end = o.readEnd;
  return line;
}

TrafficLogOption OpenTrafficLog(const OutputMode& mode) {
  if (mode.logPath.empty()) return {};
  auto file = std::make_unique<link::TrafficLogFile>(mode.logPath);
  if (!file->IsOpen()) return {nullptr, file->Error()};
  return {std::move(file), {}};
}

void CloseTrafficLog(const TrafficLogOption& log, Report& report) {
  const std::string lost = log.Close();
  if (lost.empty()) return;
  report.error += (report.error.empty() ? "" : "; ") + lost;
  if (report.exitStatus == 0) report.exitStatus = 1;
}

int ReportFailure(const std::string& error, int exitStatus, const OutputMode& mode, int jsonIndent) {
  if (mode.json) {
    nlohmann::ordered_json json;
    json["error"] = error;
    json["exit_status"] = exitStatus;
    std::cout << link::JsonText(json, jsonIndent) << "\n";
  } else {
    std::cerr << kProgram << ": " << error << "\n";
  }
  return exitStatus;
}

int RefuseInvocation(const std::string& error, const OutputMode& mode) {
  return ReportFailure(error, kExitInvalid, mode);
}

namespace {

std::size_t EditDistance(std::string_view a, std::string_view b) {
  std::vector<std::size_t> row(b.size() + 1);
  for (std::size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (std::size_t i = 1; i <= a.size(); ++i) {
    std::size_t diagonal = row[0];
    row[0] = i;
    for (std::size_t j = 1; j <= b.size(); ++j) {
      const std::size_t above = row[j];
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
      diagonal = above;
    }
  }
  return row[b.size()];
}

// The closest of names within two edits.
std::string Closest(std::string_view typed, const std::vector<std::string>& names) {
  std::string best;
  std::size_t bestDistance = 3;
  for (const std::string& name : names)
    if (const std::size_t distance = EditDistance(typed, name); distance < bestDistance) {
      best = name;
      bestDistance = distance;
    }
  return best;
}

std::vector<std::string> LongOptionNames(const CLI::App& app) {
  std::vector<std::string> names;
  for (const CLI::App* from = &app; from != nullptr; from = from->get_parent())
    for (const CLI::Option* option : from->get_options())
      for (const std::string& name : option->get_lnames()) names.push_back("--" + name);
  return names;
}

}  // namespace

std::string SuggestCorrection(const CLI::App& app) {
  const auto given = app.get_subcommands();
  const CLI::App* deepest = &app;
  while (!deepest->get_subcommands().empty()) deepest = deepest->get_subcommands().front();
  std::vector<std::string> subcommands;
  for (const CLI::App* sub : app.get_subcommands({})) subcommands.push_back(sub->get_name());
  for (const std::string& word : app.remaining(true)) {
    const bool isOption = word.starts_with("--");
    const std::string typed = isOption ? word.substr(0, word.find('=')) : word;
    const std::string near = Closest(typed, isOption ? LongOptionNames(*deepest) : given.empty() ? subcommands
                                                                                             : std::vector<std::string>{});
    if (!near.empty())
      return "unknown " + std::string(isOption ? "option" : "subcommand") + " '" + ShownValue(typed) +
             "'; did you mean '" + near + "'?";
  }
  return {};
}

void AddOutcome(Report& report, const link::ExchangeOutcome& outcome) {
  if (!outcome.detail.empty()) report.detail = outcome.detail;
  report.deviceErrorCode = outcome.deviceErrorCode;
  report.exitStatus = ExitStatusOf(outcome);
}

TimedExchange RunTimedExchange(const link::LineSettings& line, CommandCode command,
                               const panels::CommandFieldSet& fields, link::TrafficLog* log) {
  CliHost host(fields, log);
  const auto start = std::chrono::steady_clock::now();
  const link::ExchangeOutcome outcome = link::SendCommand(host, line, command);
  const std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - start;
  TimedExchange done{outcome, host.GetReport(), took.count()};
  AddOutcome(done.report, outcome);
  return done;
}

std::vector<std::string> FieldKeysOf(CommandCode command) {
  switch (command) {
    case CommandCode::kGetAddress:
    case CommandCode::kChangeAddress: return {AddressField("00").key};
    case CommandCode::kChangeBaudRate: return {BaudrateField(0).key};
    default: break;
  }
  CliHost host({});
  const link::FrameBuffer zeros{};
  host.ShowReply(command, zeros);
  std::vector<std::string> keys;
  for (const ReportField& field : host.GetReport().fields) keys.push_back(field.key);
  return keys;
}

std::string OutcomeText(const TimedExchange& done) {
  if (!done.report.error.empty()) return done.report.error;
  return done.outcome.result.empty() ? "Sent" : done.outcome.result;
}

}  // namespace tarnwick::cli
