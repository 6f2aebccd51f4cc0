#pragma once
// What tarnwick-cli's subcommands share: the line and address options, the option
// values checked before anything is opened, the command subcommands (cmd00 ...
// cmd43) with their panels' fields, choosing the port, and refusing a command line.

#include <CLI/CLI.hpp>
#include <deque>
#include <functional>
#include <initializer_list>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "bench/line_options.h"
#include "bench/option_values.h"
#include "bench/timed_exchange.h"
#include "board/board.h"
#include "board/codec.h"
#include "cli/cli_host.h"
#include "link/baud_rates.h"
#include "link/line_control.h"
#include "link/port_list.h"
#include "link/serial_port.h"
#include "link/traffic_log_text.h"
#include "link/transaction.h"

namespace tarnwick::cli {

// The option rules and the line as options give it come from the bench layer,
// which a sequence's steps and the window share.
using bench::BaudChoices;
using bench::Choices;
using bench::ChoicesOf;
using bench::CheckChoice;
using bench::CheckNumber;
using bench::CommandNames;
using bench::FieldTextOf;
using bench::kAddressRule;
using bench::kRs485DelayRule;
using bench::LineOptions;
using bench::LineSettingsOf;
using bench::Lowercase;
using bench::NumberKind;
using bench::NumberRule;
using bench::RuleOf;
using bench::ShownValue;
using bench::WithLongWordsShortened;

inline constexpr int kExitInvalid = 2;
inline constexpr int kExitPortFailed = 3;  // the port would not open or could not be used
inline constexpr const char* kProgram = "tarnwick-cli";

// How the run prints, decided before the options are parsed so that a refused
// command line already answers in the form asked for.
struct OutputMode {
  bool json = false;
  bool asTyped = false;
  std::string logPath;  // --log: where every frame, reply and result is appended
};

// Options whose values are checked after parsing, in one pass, before anything is
// opened: a field option's text against its number rule (unless --as-typed hands
// it to the panel as typed), a choice's name against its list.
class CheckedOptions {
 public:
  void Field(CLI::App* app, const std::string& flag, std::string& field, const std::string& help, NumberRule rule);
  // A named value's option: its names in any case; field gets the name as the file spells it.
  void NamedValue(CLI::App* app, const std::string& flag, std::string& field, const board::Enumeration& values,
                  const std::string& help);
  // A number the command line itself uses (an interval, a count), not a panel's field.
  void Number(CLI::App* app, const char* flag, int& value, const std::string& help, NumberRule rule);

  template <typename Value>
  void Choice(CLI::App* app, const char* flag, Value& field, const Choices& choices, const std::string& help) {
    std::string& text = texts_.emplace_back();
    CLI::Option* option = AddChoiceOption(app, flag, text, choices, static_cast<int>(field), help);
    entries_.push_back({option, false, [flag, &text, &field, choices](std::string& error) {
                          const auto value = CheckChoice(flag, text, choices, error);
                          if (value) field = static_cast<Value>(*value);
                          return value.has_value();
                        }});
  }

  // A check of option's value against the others', made after theirs.
  void Also(CLI::Option* option, std::function<bool(std::string&)> check);

  // The first refusal among the options given, or "".
  std::string Check(bool asTyped) const;

 private:
  static CLI::Option* AddChoiceOption(CLI::App* app, const std::string& flag, std::string& text, const Choices& choices,
                                      int current, const std::string& help);

  struct Entry {
    CLI::Option* option;
    bool isFieldText;
    std::function<bool(std::string&)> apply;
  };
  std::deque<std::string> texts_;  // a choice's text as given; deque: the options keep its address
  std::vector<Entry> entries_;
};


// --port, --baud and how the line turns round: --rs485 with its delays, --echo.
void AddLineOptions(CLI::App& app, LineOptions& o, CheckedOptions& checked);
void AddAddressOptions(CLI::App& app, LineOptions& o, CheckedOptions& checked);
// --rs485 with its delays, --echo: part of AddLineOptions, and run's own.
void AddDirectionOptions(CLI::App& app, LineOptions& o, CheckedOptions& checked);
void AddAsTyped(CLI::App& app, OutputMode& mode);
// --read-end gap|frame, its default what o holds.
void AddReadEndOption(CLI::App& app, LineOptions& o, CheckedOptions& checked);
void AddCheck(CLI::App* sub, const char* flag, bool& field, const std::string& label);

// "Examples:" and a line per example, each after the program's name.
std::string Examples(std::initializer_list<std::string> lines);
// The example of one command, as 'send' shows it.
std::string ExampleOf(const board::Command& command);
std::string ExampleOf(std::string_view commandName);

// The commands as subcommands of parent (send, watch, a sequence step), each with
// the options of its panel's fields, which fill choice.fields.
// Which subcommands one invocation can reach, so that only they are built: those
// its words name. Help, the completion script, and a line that names no subcommand
// (its help and suggestions list them all) reach every one; --version alone, none.
class Reach {
 public:
  Reach() = default;  // every subcommand
  Reach(int argc, const char* const* argv, const std::vector<std::string_view>& subcommands);
  // A subcommand or command, named as its own word in any case.
  bool Builds(std::string_view lowercaseName) const;

 private:
  bool all_ = true;
  std::vector<std::string> lowercaseWords_;
};

struct CommandChoice {
  std::map<std::string, board::FieldTexts> texts;  // by command name: its options' texts
  std::vector<std::pair<CLI::App*, const board::Command*>> commands;
  std::string unknownCommand;  // a word after the parent that names no command
  Reach reach;
  const board::FieldTexts& TextsOf(const board::Command& command) const;
};
void AddCommandSubcommands(CLI::App& parent, CommandChoice& choice, CheckedOptions& checked);
// The command given under parent, if one was.
const board::Command* ChosenCommand(const CLI::App& parent, const CommandChoice& choice);

// bench::FindLinePort, with a warning on standard error where --baud cannot reach
// the line (a raw TCP port).
std::optional<link::PortEntry> ChoosePort(const LineOptions& o, std::string& error);

// The traffic log --log asks for: null without it. A log that cannot be written,
// or is not a regular file, refuses the run before the line is touched.
struct TrafficLogOption {
  std::unique_ptr<link::TrafficLogFile> file;
  std::string error;
  link::TrafficLog* get() const { return file.get(); }
  // Why an entry was lost: the run ends there. "" while every entry is kept.
  std::string Lost() const { return file && file->Failed() ? file->Error() : ""; }
  // Closes the log; why an entry was lost or the close failed, or "".
  std::string Close() const { return file && !file->Close() ? file->Error() : ""; }
};
TrafficLogOption OpenTrafficLog(const OutputMode& mode);
// A run whose log lost an entry failed: the report says why and exits 1 (unless
// it already failed otherwise).
void CloseTrafficLog(const TrafficLogOption& log, Report& report);

// A run that cannot go on: the error on standard error, or as JSON
// {"error": ..., "exit_status": ...} (indented, or on one line for -1); returns exitStatus.
int ReportFailure(const std::string& error, int exitStatus, const OutputMode& mode, int jsonIndent = 2);
// A command line that cannot run: exit status 2, in the form asked for.
int RefuseInvocation(const std::string& error, const OutputMode& mode);

// "unknown subcommand 'sned'; did you mean 'send'?" for the first word left over
// after parsing that is close to a subcommand or to an option the subcommand
// given accepts; empty when none is.
std::string SuggestCorrection(const CLI::App& app);

}  // namespace tarnwick::cli
