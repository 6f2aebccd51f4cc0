#include "cli/command_line.h"

#include <algorithm>
#include <chrono>
#include <iostream>
#include <nlohmann/json.hpp>

#include "link/hex_text.h"
#include "link/json_text.h"
#include "link/network_port.h"
#include "link/port_list.h"

namespace tarnwick::cli {
namespace {


const char* TypeName(const NumberRule& rule) {
  switch (rule.kind) {
    case NumberKind::kHex: return "HEX";
    case NumberKind::kStepCount: return "COUNT";
    case NumberKind::kScaled: return "NUMBER";
    case NumberKind::kDecimal: break;
  }
  return "INT";
}

std::string HelpTitle(const board::Command& command) {
  return command.reply == board::ReplyRule::Always ? command.title + " (always reads the reply)" : command.title;
}

// A check field's option: given, it checks the box.
void AddCheckField(CLI::App* sub, const board::Field& field, std::string& text) {
  sub->add_flag_callback("--" + field.name, [&text] { text = "1"; }, board::HelpOf(field));
}

// The options of a command's request fields, in the order a person reads them.
void AddFieldOptions(CLI::App* sub, const board::Command& command, board::FieldTexts& texts, CheckedOptions& checked) {
  texts = board::DefaultTexts(command);
  for (const board::Field* field : command.RequestForm()) {
    std::string& text = texts[field->name];
    const std::string flag = "--" + field->name;
    if (field->IsCheck())
      AddCheckField(sub, *field, text);
    else if (field->values)
      checked.NamedValue(sub, flag, text, *field->values, board::HelpOf(*field));
    else
      checked.Field(sub, flag, text, board::HelpOf(*field), RuleOf(*field));
  }
}

}  // namespace

void AddDirectionOptions(CLI::App& app, LineOptions& o, CheckedOptions& checked) {
  checked.Choice(&app, "--rs485", o.direction.control, bench::DirectionChoices(),
                 "Who turns the RS-485 line round: off (the adapter), kernel (the driver's RS-485 mode) or rts "
                 "(RTS raised around each frame); see docs/rs485.md");
  checked.Number(&app, "--rs485-delay-before", o.direction.delayBeforeMs,
                 "With --rs485 kernel: ms RTS is raised before sending", kRs485DelayRule);
  checked.Number(&app, "--rs485-delay-after", o.direction.delayAfterMs,
                 "With --rs485 kernel: ms RTS stays raised after sending", kRs485DelayRule);
  checked.Choice(&app, "--echo", o.echo, bench::EchoChoices(),
                 "skip: the adapter echoes each frame sent; read the echo back before the reply");
  // The delays are the driver's: under any other direction control they would be dropped unsaid.
  for (const char* flag : {"--rs485-delay-before", "--rs485-delay-after"})
    checked.Also(app.get_option(flag), [flag, &o](std::string& error) {
      error = bench::DelayRefusal(flag, o.direction.control);
      return error.empty();
    });
}

void CheckedOptions::Field(CLI::App* app, const std::string& flag, std::string& field, const std::string& help,
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

void CheckedOptions::NamedValue(CLI::App* app, const std::string& flag, std::string& field,
                                const board::Enumeration& values, const std::string& help) {
  const Choices choices = ChoicesOf(values);
  const board::NamedValue* current = values.FindNamed(field);
  std::string& text = texts_.emplace_back();
  CLI::Option* option = AddChoiceOption(app, flag, text, choices, current ? static_cast<int>(current->value) : -1, help);
  entries_.push_back({option, false, [flag, &text, &field, &values, choices](std::string& error) {
                        const auto value = CheckChoice(flag, text, choices, error);
                        if (value) field = values.Find(static_cast<std::uint32_t>(*value))->name;
                        return value.has_value();
                      }});
}

CLI::Option* CheckedOptions::AddChoiceOption(CLI::App* app, const std::string& flag, std::string& text,
                                             const Choices& choices, int current, const std::string& help) {
  std::string names, currentName;
  for (const auto& [name, value] : choices) {
    names += (names.empty() ? "" : ",") + name;
    if (value == current) currentName = name;
  }
  return app->add_option(flag, text, help)->type_name("TEXT:{" + names + "}")->default_str(currentName);
}

void CheckedOptions::Also(CLI::Option* option, std::function<bool(std::string&)> check) {
  entries_.push_back({option, false, std::move(check)});
}

std::string CheckedOptions::Check(bool asTyped) const {
  std::string error;
  for (const Entry& entry : entries_)
    if (entry.option->count() > 0 && !(asTyped && entry.isFieldText) && !entry.apply(error)) return error;
  return {};
}

void AddLineOptions(CLI::App& app, LineOptions& o, CheckedOptions& checked) {
  app.add_option("--port", o.port, "Port name from 'ports' (sim0, ttyUSB0), a device path, or a network port "
                  "rfc2217://HOST:PORT or socket://HOST:PORT; default: the first simulated board "
                  "running (a serial port is used only when named)");
  checked.Choice(&app, "--baud", o.baudIndex, BaudChoices(), "Line speed");
  app.get_option("--baud")->each([&o](const std::string&) { o.baudGiven = true; });
  AddDirectionOptions(app, o, checked);
}

void AddAddressOptions(CLI::App& app, LineOptions& o, CheckedOptions& checked) {
  checked.Field(&app, "--addr", o.address, std::string("Device address: ") + link::kDeviceAddressForm,
                kAddressRule);
  app.add_flag("--no-res", o.noRes, "Clear Res: ask for no reply (CMD00, CMD24 and CMD43 always read one)");
}

void AddAsTyped(CLI::App& app, OutputMode& mode) {
  app.add_flag("--as-typed", mode.asTyped,
               "Take every field's text as the window's field would ('12abc' is 12, an empty text is empty)");
}

void AddReadEndOption(CLI::App& app, LineOptions& o, CheckedOptions& checked) {
  checked.Choice(&app, "--read-end", o.readEnd, bench::ReadEndChoices(),
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

std::string ExampleOf(const board::Command& command) {
  std::string example = "send " + Lowercase(command.name);
  return command.example.empty() ? example : example + " " + command.example;
}

std::string ExampleOf(std::string_view commandName) {
  const board::Command* command = board::Current().FindNamed(commandName);
  return command ? ExampleOf(*command) : "send " + Lowercase(commandName);
}

namespace {

// The usage line without the hidden word that catches a mistyped command's name,
// which would show as "[]" before "[SUBCOMMAND]".
class CommandChoiceFormatter : public CLI::Formatter {
 public:
  std::string make_usage(const CLI::App* app, std::string name) const override {
    std::string usage = CLI::Formatter::make_usage(app, std::move(name));
    if (const auto hidden = usage.find(" []"); hidden != std::string::npos) usage.erase(hidden, 3);
    return usage;
  }
};

}  // namespace

void AddCommandSubcommands(CLI::App& parent, CommandChoice& choice, CheckedOptions& checked) {
  const std::string parentName = parent.get_name();
  parent.formatter(std::make_shared<CommandChoiceFormatter>());
  parent.add_option("command", choice.unknownCommand)->group("");
  for (const board::Command& command : board::Current().commands) {
    if (!choice.reach.Builds(Lowercase(command.name))) continue;
    auto* sub = parent.add_subcommand(Lowercase(command.name), HelpTitle(command))->ignore_case()->fallthrough();
    const std::string example = parentName == "send" ? Examples({ExampleOf(command)}) + "\n\n" : "";
    sub->footer(example + "Line options (--port, --baud, --addr, --no-res, --as-typed, --json): see '" + kProgram +
                " " + parentName + " --help'.\nAn option left out keeps the page's start value.");
    AddFieldOptions(sub, command, choice.texts[command.name], checked);
    choice.commands.emplace_back(sub, &command);
  }
}

Reach::Reach(int argc, const char* const* argv, const std::vector<std::string_view>& subcommands) {
  if (argc < 1) return;
  for (int i = 1; i < argc; ++i) lowercaseWords_.push_back(Lowercase(argv[i]));
  const auto given = [&](std::string_view word) {
    return std::find(lowercaseWords_.begin(), lowercaseWords_.end(), word) != lowercaseWords_.end();
  };
  const bool listsAll = given("-h") || given("--help") || given("--help-all") || given("--bash-completion");
  const bool namesOne = std::any_of(subcommands.begin(), subcommands.end(), [&](std::string_view name) {
    return std::find(argv + 1, argv + argc, name) != argv + argc;
  });
  all_ = listsAll || (!namesOne && !given("--version"));
}

bool Reach::Builds(std::string_view lowercaseName) const {
  return all_ ||
         std::find(lowercaseWords_.begin(), lowercaseWords_.end(), lowercaseName) != lowercaseWords_.end();
}

const board::Command* ChosenCommand(const CLI::App& parent, const CommandChoice& choice) {
  const auto chosen = parent.get_subcommands();
  if (chosen.empty()) return nullptr;
  for (const auto& [sub, command] : choice.commands)
    if (sub == chosen.front()) return command;
  return nullptr;
}

const board::FieldTexts& CommandChoice::TextsOf(const board::Command& command) const {
  static const board::FieldTexts kNone;
  const auto found = texts.find(command.name);
  return found == texts.end() ? kNone : found->second;
}

namespace {

// Raw TCP carries bytes only: the server's line runs at the rate in its own
// configuration, whatever --baud says.
void WarnOnceOfFixedRate(const std::string& path) {
  static bool warned = false;
  std::string why;
  const auto address = link::IsNetworkPortName(path) ? link::ParseNetworkPortName(path, &why) : std::nullopt;
  if (warned || !address || address->protocol != link::NetworkProtocol::RawTcp) return;
  warned = true;
  std::cerr << kProgram << ": warning: " << path << " is raw TCP: the line runs at the rate set in the server's "
            << "configuration, and --baud (like CMD41's rate change) cannot reach it; use rfc2217:// to set the rate\n";
}

}  // namespace

std::optional<link::PortEntry> ChoosePort(const LineOptions& o, std::string& error) {
  auto port = bench::FindLinePort(o, error);
  if (port && o.baudGiven) WarnOnceOfFixedRate(port->path);
  return port;
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

// Insertions, deletions, substitutions and swaps of neighbours, one edit each: "scna"
// is one edit from "scan", two from "send".
std::size_t EditDistance(std::string_view a, std::string_view b) {
  std::vector<std::vector<std::size_t>> d(a.size() + 1, std::vector<std::size_t>(b.size() + 1));
  for (std::size_t i = 0; i <= a.size(); ++i) d[i][0] = i;
  for (std::size_t j = 0; j <= b.size(); ++j) d[0][j] = j;
  for (std::size_t i = 1; i <= a.size(); ++i) {
    for (std::size_t j = 1; j <= b.size(); ++j) {
      d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + (a[i - 1] == b[j - 1] ? 0 : 1)});
      if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1]) d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
    }
  }
  return d[a.size()][b.size()];
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

}  // namespace tarnwick::cli
