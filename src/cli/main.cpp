// tarnwick-cli: the window's exchange from a shell, for scripts and CI.
#include <CLI/CLI.hpp>
#include <iostream>
#include <memory>
#include <nlohmann/json.hpp>
#include <sstream>
#include <utility>
#include <vector>

#include "bench/live_test_logic.h"
#include "cli/bash_completion.h"
#include "cli/board_command.h"
#include "cli/cli_host.h"
#include "cli/command_line.h"
#include "cli/replay_command.h"
#include "cli/run_command.h"
#include "cli/scan_command.h"
#include "cli/watch_command.h"
#include "link/baud_rates.h"
#include "link/commands.h"
#include "link/hex_text.h"
#include "link/network_port.h"
#include "link/port_list.h"
#include "link/serial_port.h"
#include "link/traffic_log_text.h"
#include "link/transaction.h"
#include "support/parse_arguments.h"
#include "support/version.h"

namespace {

using namespace tarnwick;
using cli::AddAddressOptions;
using cli::AddAsTyped;
using cli::AddCheck;
using cli::AddLineOptions;
using cli::CheckedOptions;
using cli::ChoosePort;
using cli::ExampleOf;
using cli::Examples;
using cli::kExitInvalid;
using cli::kProgram;
using cli::LineOptions;
using cli::OpenTrafficLog;
using cli::OutputMode;
using cli::RefuseInvocation;

// What the text form adds to the report: the error, with its detail, on standard error.
int Finish(const cli::Report& report, const OutputMode& mode) {
  if (mode.json) {
    std::cout << cli::FormatJson(report);
  } else {
    std::cerr << cli::FormatLineNote(report);
    std::cout << cli::FormatText(report);
    if (!report.error.empty()) std::cerr << kProgram << ": " << cli::FormatError(report) << "\n";
  }
  return report.exitStatus;
}

// A run without a port sends nothing: exit status 2, as a refused command line.
int RefuseWithoutPort(const std::string& error, const OutputMode& mode, const cli::TrafficLogOption& log) {
  link::TrafficReporter(log.get(), "").Event("no port selected", link::log_result::kNoPort);
  cli::Report report;
  report.error = error;
  report.exitStatus = kExitInvalid;
  cli::CloseTrafficLog(log, report);
  return Finish(report, mode);
}

// ---- send ----

struct SendCommandLine {
  CLI::App* app = nullptr;
  LineOptions line;
  std::string raw;
  cli::CommandChoice command;
};

void AddSend(CLI::App& app, SendCommandLine& send, OutputMode& mode, CheckedOptions& checked) {
  send.app = app.add_subcommand("send", "Send one command and show the reply")->fallthrough();
  send.app->require_subcommand(0, 1);
  // Written when help is asked for: the examples read the board description.
  send.app->footer([] {
    return Examples({ExampleOf("CMD00"), ExampleOf("CMD12"), "send --raw \"93\" --port sim0 --addr 01",
                     "send cmd12 --help"});
  });
  AddLineOptions(*send.app, send.line, checked);
  AddAddressOptions(*send.app, send.line, checked);
  AddAsTyped(*send.app, mode);
  cli::AddReadEndOption(*send.app, send.line, checked);
  send.app->add_option("--raw", send.raw, "Command byte and data in hex (\"11 70 17 00 00\"); address, length and "
                                          "checksum are added; a reply is read when the command byte has bit 7 set")
      ->group(cli::kInsteadOfASubcommand);
  cli::AddCommandSubcommands(*send.app, send.command, checked);
}

std::vector<std::uint8_t> ParseRawBytes(const std::string& text, std::string& error) {
  std::string badWord;
  const auto parsed = link::ParseHexBytes(text, &badWord);
  if (!parsed) {
    error = "--raw takes hex bytes separated by spaces, such as \"11 70 17 00 00\"; '" + cli::ShownValue(badWord) +
            "' is not one";
    return {};
  }
  const std::vector<std::uint8_t>& bytes = *parsed;
  if (bytes.empty()) error = "--raw needs at least the command byte";
  if (bytes.size() > link::kMaxCommandLength) error = "--raw takes at most 16 bytes (command byte and data)";
  return error.empty() ? bytes : std::vector<std::uint8_t>{};
}

// Runs one exchange over the line the options name and prints what it produced.
template <typename Run>
int Exchange(const SendCommandLine& send, const OutputMode& mode, Run run) {
  const cli::TrafficLogOption log = OpenTrafficLog(mode);
  if (!log.error.empty()) return RefuseInvocation(log.error, mode);
  std::string portError;
  const auto port = ChoosePort(send.line, portError);
  if (!port) return RefuseWithoutPort(portError, mode, log);
  const link::LineSettings line = cli::LineSettingsOf(send.line, port->path);
  const board::ExchangeRecord record = run(line, log.get());
  const link::ExchangeOutcome& outcome = record.outcome;
  cli::Report report = cli::ReportOf(record, line.portPath);
  report.port = port;
  report.hint = bench::HintFor(outcome, line);
  cli::AddOutcome(report, outcome);
  cli::CloseTrafficLog(log, report);
  return Finish(report, mode);
}

int RunSend(const SendCommandLine& send, const OutputMode& mode) {
  if (!send.command.unknownCommand.empty())
    return RefuseInvocation(
        "unknown command " + cli::ShownValue(send.command.unknownCommand) + "; one of " + cli::CommandNames(), mode);
  const auto command = cli::ChosenCommand(*send.app, send.command);
  if (send.raw.empty() == !command)
    return RefuseInvocation("give either a command (" + cli::CommandNames() + ") or --raw", mode);
  if (!command) {
    std::string error;
    const auto bytes = ParseRawBytes(send.raw, error);
    if (bytes.empty()) return RefuseInvocation(error, mode);
    return Exchange(send, mode, [&](const link::LineSettings& line, link::TrafficLog* log) {
      return board::SendRawCommand(line, bytes, log);
    });
  }
  return Exchange(send, mode, [&](const link::LineSettings& line, link::TrafficLog* log) {
    return board::SendCommand(line, *command, send.command.TextsOf(*command), log);
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
  const cli::TrafficLogOption log = OpenTrafficLog(mode);
  if (!log.error.empty()) return RefuseInvocation(log.error, mode);
  std::string portError;
  report.port = ChoosePort(o, portError);
  if (!report.port) return RefuseWithoutPort(portError, mode, log);
  const std::string& path = report.port->path;
  link::OpenError openError;
  const link::ExchangeOutcome outcome =
      link::SendFrames(path, *link::BaudRateAt(o.baudIndex), bytes, source, log.get(), &openError, o.direction);
  if (outcome.stage == link::ExchangeStage::PortUnavailable) report.error = link::DescribeOpenError(path, openError);
  if (outcome.stage == link::ExchangeStage::Sent || outcome.stage == link::ExchangeStage::SendFailed)
    report.sent = link::Bytes(bytes.begin(), bytes.end());
  if (outcome.stage == link::ExchangeStage::SendFailed) {
    report.result = outcome.result;
    report.detail = outcome.detail;
  }
  report.exitStatus = cli::ExitStatusOf(outcome);
  cli::CloseTrafficLog(log, report);
  return Finish(report, mode);
}

template <typename Fields>
struct LiveTestCommandLine {
  CLI::App* app = nullptr;
  LineOptions line;
  Fields fields;
};
using StepperTestCommandLine = LiveTestCommandLine<bench::StepperTestFields>;
using DcTestCommandLine = LiveTestCommandLine<bench::DcTestFields>;

void AddStepperTest(CLI::App& app, StepperTestCommandLine& test, OutputMode& mode, CheckedOptions& checked) {
  test.app = app.add_subcommand(
      "stepper-test", "One Stepper Test update: the stop frame and an unlimited run at Freq and Duty, to every board");
  test.app->fallthrough()->footer(Examples({"stepper-test --port sim0 --freq 5000 --duty 50 --reverse"}));
  AddLineOptions(*test.app, test.line, checked);
  AddAsTyped(*test.app, mode);
  checked.Field(test.app, "--freq", test.fields.frequency,
                "Freq in Hz, " + bench::HelpRange(bench::kStepperTestFrequencyRule), bench::kStepperTestFrequencyRule);
  checked.Field(test.app, "--duty", test.fields.duty, "Duty in %, " + bench::HelpRange(bench::kPercentRule), bench::kPercentRule);
  AddCheck(test.app, "--reverse", test.fields.reverse, "Reverse");
}

void AddDcTest(CLI::App& app, DcTestCommandLine& test, OutputMode& mode, CheckedOptions& checked) {
  test.app = app.add_subcommand(
      "dc-test", "One D-C Test update: both motors' parameters, then the start frame, to every board");
  test.app->fallthrough()->footer(Examples({"dc-test --port sim0 --left-freq 20000 --right-reverse"}));
  AddLineOptions(*test.app, test.line, checked);
  AddAsTyped(*test.app, mode);
  bench::DcTestFields& f = test.fields;
  const std::string capped = " (above 65535 sent as 65535)";
  const std::string frequencies = bench::HelpRange(bench::kDcTestFrequencyRule) + capped;
  checked.Field(test.app, "--left-freq", f.leftFrequency, "Left Freq in Hz, " + frequencies,
                bench::kDcTestFrequencyRule);
  const std::string percent = bench::HelpRange(bench::kPercentRule);
  checked.Field(test.app, "--left-duty", f.leftDuty, "Left Duty in %, " + percent, bench::kPercentRule);
  checked.Field(test.app, "--right-freq", f.rightFrequency, "Right Freq in Hz, " + frequencies,
                bench::kDcTestFrequencyRule);
  checked.Field(test.app, "--right-duty", f.rightDuty, "Right Duty in %, " + percent, bench::kPercentRule);
  AddCheck(test.app, "--left-reverse", f.leftReverse, "Left Reverse");
  AddCheck(test.app, "--right-reverse", f.rightReverse, "Right Reverse");
}

int RunStepperTest(const StepperTestCommandLine& test, const OutputMode& mode) {
  const auto update = bench::BuildStepperTestSend(test.fields, false, true, {});
  return RunLiveSend(test.line, mode, update.bytes, update.reason, "Stepper Test");
}

int RunDcTest(const DcTestCommandLine& test, const OutputMode& mode) {
  const auto update = bench::BuildDcTestSend(test.fields, false, true, {});
  return RunLiveSend(test.line, mode, update.bytes, update.reason, "D-C Test");
}

int RunPorts(const OutputMode& mode) {
  auto ports = link::EnumeratePorts();
  for (const std::string& network : link::RememberedNetworkPorts()) ports.push_back({network, network});
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
  app.description("Tarnwick command line: one exchange with a motor-driver board on an RS-485 line;\n"
                  "scan, watch and run find the boards, repeat a command and run a test sequence.\n"
                  "Exit status: 0 sent (and Success where a reply was read), 1 any other result,\n"
                  "2 invalid or missing parameter or no port given, 3 the port cannot be opened.");
  app.footer([] {
    return Examples({"ports", ExampleOf("CMD00"), ExampleOf("CMD12"),
                     "send cmd12 --help       (the fields of one command)",
                     "dc-test --port sim0 --left-freq 20000 --right-reverse", "scan --port sim0",
                     "watch cmd13 --port sim0 --addr 01 --interval 200",
                     "run examples/setup_and_status.yaml --port sim0 --junit report.xml",
                     "replay session.log --sequence session.yaml"});
  });
}

bool JsonWanted(int argc, char** argv) {
  for (int i = 1; i < argc; ++i)
    if (std::string_view(argv[i]) == "--json") return true;
  return false;
}

// --json is a flag: the parser would take "--json=VALUE" as a value and could turn
// JSON off where a script asked for it.
bool JsonGivenAValue(int argc, char** argv) {
  for (int i = 1; i < argc; ++i)
    if (std::string_view(argv[i]).starts_with("--json=")) return true;
  return false;
}

constexpr std::string_view kSubcommandList =
    "ports, send, scan, watch, run, replay, stepper-test, dc-test, stop or board";

// The exit status when the command line cannot run or asked for help, its version
// or its completion; nothing when it can run.
std::optional<int> Parse(CLI::App& app, int argc, char** argv, const OutputMode& mode) {
  const auto status = tarnwick::ParseArguments(
      app, argc, argv,
      [&app, &mode](const CLI::ParseError& e) {
        const std::string suggestion = cli::SuggestCorrection(app);
        return RefuseInvocation(suggestion.empty() ? cli::WithLongWordsShortened(e.what()) : suggestion, mode);
      });
  if (status) return status;
  if (app.get_subcommands().empty()) {
    if (!mode.json) std::cerr << app.help() << "\n";
    return RefuseInvocation("give a subcommand: " + std::string(kSubcommandList), mode);
  }
  return std::nullopt;
}

// A board that does not declare a live test never hears its frames; stop sends
// the frame every live test ends with.
std::optional<int> RefuseLiveTestsOfAnotherBoard(const CLI::App* stepperTest, const CLI::App* dcTest,
                                                 const CLI::App* stop, const OutputMode& mode) {
  const tarnwick::board::Board& board = tarnwick::board::Current();
  const std::pair<const CLI::App*, bool> declared[] = {
      {stepperTest, board.FindLiveTest(tarnwick::board::LiveTest::Stepper) != nullptr},
      {dcTest, board.FindLiveTest(tarnwick::board::LiveTest::Dc) != nullptr},
      {stop, !board.liveTests.empty()}};
  for (const auto& [live, has] : declared)
    if (live && live->parsed() && !has)
      return RefuseInvocation(live->get_name() + " sends the motor driver's frames; the board " + board.name +
                                  (board.liveTests.empty() ? " has no live tests" : " does not declare " + live->get_name()),
                              mode);
  return std::nullopt;
}

// Every subcommand's command line; those the invocation cannot reach stay unbuilt.
struct Subcommands {
  CLI::App* ports = nullptr;
  SendCommandLine send;
  StepperTestCommandLine stepperTest;
  DcTestCommandLine dcTest;
  cli::ScanCommandLine scan;
  cli::WatchCommandLine watch;
  cli::RunCommandLine run;
  cli::ReplayCommandLine replay;
  CLI::App* stop = nullptr;
  LineOptions stopLine;
  cli::BoardCommandLine board;
};

CLI::App* AddPorts(CLI::App& app, Subcommands& subs, OutputMode&, CheckedOptions&) {
  subs.ports = app.add_subcommand("ports", "List the serial ports and simulated boards, then the network ports the "
                                           "window remembers: name, a tab, path");
  subs.ports->fallthrough()->footer(Examples({"ports", "ports --json | jq -r '.ports[].name'"}));
  return subs.ports;
}

CLI::App* AddStop(CLI::App& app, Subcommands& subs, OutputMode&, CheckedOptions& checked) {
  subs.stop = app.add_subcommand("stop", "Send the stop frame (CMD3F to every board, no reply)");
  subs.stop->fallthrough()->footer(Examples({"stop --port sim0"}));
  AddLineOptions(*subs.stop, subs.stopLine, checked);
  return subs.stop;
}

// One row a subcommand: its name, how it is added to the command line, how it
// runs. A subcommand runs only through its own row, so none can be added without
// being run, nor run another's code.
struct SubcommandRow {
  std::string_view name;
  CLI::App* (*add)(CLI::App&, Subcommands&, OutputMode&, CheckedOptions&);
  int (*run)(const Subcommands&, const OutputMode&);
};

constexpr SubcommandRow kSubcommands[] = {
    {"ports", AddPorts, [](const Subcommands&, const OutputMode& mode) { return RunPorts(mode); }},
    {"send", [](CLI::App& app, Subcommands& subs, OutputMode& mode, CheckedOptions& checked) {
       AddSend(app, subs.send, mode, checked);
       return subs.send.app;
     },
     [](const Subcommands& subs, const OutputMode& mode) { return RunSend(subs.send, mode); }},
    {"stepper-test", [](CLI::App& app, Subcommands& subs, OutputMode& mode, CheckedOptions& checked) {
       AddStepperTest(app, subs.stepperTest, mode, checked);
       return subs.stepperTest.app;
     },
     [](const Subcommands& subs, const OutputMode& mode) { return RunStepperTest(subs.stepperTest, mode); }},
    {"dc-test", [](CLI::App& app, Subcommands& subs, OutputMode& mode, CheckedOptions& checked) {
       AddDcTest(app, subs.dcTest, mode, checked);
       return subs.dcTest.app;
     },
     [](const Subcommands& subs, const OutputMode& mode) { return RunDcTest(subs.dcTest, mode); }},
    {"scan", [](CLI::App& app, Subcommands& subs, OutputMode&, CheckedOptions& checked) {
       cli::AddScan(app, subs.scan, checked);
       return subs.scan.app;
     },
     [](const Subcommands& subs, const OutputMode& mode) { return cli::RunScan(subs.scan, mode); }},
    {"watch", [](CLI::App& app, Subcommands& subs, OutputMode& mode, CheckedOptions& checked) {
       cli::AddWatch(app, subs.watch, mode, checked);
       return subs.watch.app;
     },
     [](const Subcommands& subs, const OutputMode& mode) { return cli::RunWatch(subs.watch, mode); }},
    {"run", [](CLI::App& app, Subcommands& subs, OutputMode&, CheckedOptions& checked) {
       cli::AddRun(app, subs.run, checked);
       return subs.run.app;
     },
     [](const Subcommands& subs, const OutputMode& mode) { return cli::RunSequence(subs.run, mode); }},
    {"replay", [](CLI::App& app, Subcommands& subs, OutputMode&, CheckedOptions&) {
       cli::AddReplay(app, subs.replay);
       return subs.replay.app;
     },
     [](const Subcommands& subs, const OutputMode& mode) { return cli::RunReplay(subs.replay, mode); }},
    {"stop", AddStop,
     [](const Subcommands& subs, const OutputMode& mode) {
       return RunLiveSend(subs.stopLine, mode, bench::StopFrame(), {}, "stop");
     }},
    {"board", [](CLI::App& app, Subcommands& subs, OutputMode&, CheckedOptions&) {
       cli::AddBoard(app, subs.board, true);
       return subs.board.app;
     },
     [](const Subcommands& subs, const OutputMode& mode) { return cli::RunBoard(subs.board, mode); }},
};

std::vector<std::string_view> SubcommandNames() {
  std::vector<std::string_view> names;
  for (const SubcommandRow& row : kSubcommands) names.push_back(row.name);
  return names;
}

// The subcommands the invocation can reach, each with its row; --board whatever it names.
std::vector<std::pair<const CLI::App*, const SubcommandRow*>> BuildSubcommands(
    CLI::App& app, const cli::Reach& reach, Subcommands& subs, OutputMode& mode, CheckedOptions& checked) {
  subs.send.command.reach = subs.watch.command.reach = reach;
  std::vector<std::pair<const CLI::App*, const SubcommandRow*>> built;
  for (const SubcommandRow& row : kSubcommands)
    if (reach.Builds(row.name)) built.emplace_back(row.add(app, subs, mode, checked), &row);
  if (!reach.Builds("board")) cli::AddBoard(app, subs.board, false);
  return built;
}

int RunSubcommand(const std::vector<std::pair<const CLI::App*, const SubcommandRow*>>& built,
                  const Subcommands& subs, const OutputMode& mode) {
  if (const auto refused = RefuseLiveTestsOfAnotherBoard(subs.stepperTest.app, subs.dcTest.app, subs.stop, mode))
    return *refused;
  for (const auto& [sub, row] : built)
    if (sub->parsed()) return row->run(subs, mode);
  return RefuseInvocation("give a subcommand: " + std::string(kSubcommandList), mode);
}

}  // namespace

int main(int argc, char** argv) {
  // Scripts ask for the version alone often: it is answered before a parser is built.
  if (argc == 2 && std::string_view(argv[1]) == "--version") {
    std::cout << tarnwick::VersionText(kProgram) << std::endl;
    return 0;
  }
  OutputMode mode{.json = JsonWanted(argc, argv), .asTyped = false, .logPath = {}};
  if (const auto refused = cli::UseBoardFileGiven(argc, argv, mode)) return *refused;
  CLI::App app;
  Describe(app);
  const cli::Reach reach(argc, argv, SubcommandNames());
  CheckedOptions checked;
  app.add_flag("--json", mode.json, "Print one JSON object instead of lines (before or after the subcommand)");
  app.add_option("--log", mode.logPath,
                 "Append every frame sent and received, and each result, to FILE: one JSON object a line "
                 "(before or after the subcommand)")
      ->type_name("FILE");
  Subcommands subs;
  const auto built = BuildSubcommands(app, reach, subs, mode, checked);

  // Hidden: the build installs its output as the bash completion.
  app.add_flag_callback("--bash-completion", [&app] {
       cli::WriteBashCompletion(app, kProgram, std::cout);
       throw CLI::Success();
     })->group("");
  if (JsonGivenAValue(argc, argv)) return RefuseInvocation("--json takes no value: give --json alone", mode);
  if (const auto status = Parse(app, argc, argv, mode)) return *status;
  if (const std::string refused = checked.Check(mode.asTyped); !refused.empty()) return RefuseInvocation(refused, mode);

  return RunSubcommand(built, subs, mode);
}
