#include "cli/sequence_file.h"

#include <algorithm>
#include <map>
#include <set>

#include "cli/command_line.h"
#include "link/record_file.h"

#if TARNWICK_HAS_YAML
#include <yaml-cpp/yaml.h>

#include "board/yaml_document.h"
#endif

namespace tarnwick::cli {

std::string PlacedReason(const std::string& path, const InvalidSequence& invalid) {
  std::string place = invalid.line > 0 ? ":" + std::to_string(invalid.line) : "";
  if (invalid.column > 0) place += ":" + std::to_string(invalid.column);
  return path + place + ": " + invalid.reason;
}

#if TARNWICK_HAS_YAML
namespace {

int LineOf(const YAML::Node& node) { return node.Mark().line + 1; }

// The line and column of the key or value at fault.
[[noreturn]] void Invalid(const YAML::Node& node, const std::string& reason) {
  throw InvalidSequence{LineOf(node), reason, node.Mark().column + 1};
}

std::string Scalar(const YAML::Node& node, const std::string& what) {
  if (!node.IsScalar()) Invalid(node, what + " must be a single value");
  return node.Scalar();
}

int Count(const YAML::Node& node, const char* what, std::uint32_t least, std::uint32_t most) {
  std::string error;
  const auto value = CheckNumber(what, Scalar(node, what), {NumberKind::kDecimal, least, most}, error);
  if (!value) Invalid(node, error);
  return static_cast<int>(*value);
}

// The command line that the step's keys stand for: "send: cmd42" and
// "motor-type: d-c" are "cmd42 --motor-type d-c". A check box is true or false.
std::vector<std::string> StepArguments(const std::string& command, const std::map<std::string, std::string>& options) {
  std::vector<std::string> arguments{command};
  for (const auto& [key, value] : options) {
    if (value == "false") continue;
    arguments.push_back("--" + key);
    if (value != "true") arguments.push_back(value);
  }
  std::reverse(arguments.begin(), arguments.end());  // CLI11 takes a vector last argument first
  return arguments;
}

// Each port a sequence names, looked up once: listing the ports takes a while.
class PortLookup {
 public:
  std::optional<link::PortEntry> Find(const LineOptions& line, std::string& error) {
    if (const auto known = found_.find(line.port); known != found_.end()) return known->second;
    auto port = ChoosePort(line, error);
    if (port) found_.emplace(line.port, *port);
    return port;
  }

 private:
  std::map<std::string, link::PortEntry> found_;
};

// Where each option of a step stands in the file: its key and its value (a
// default's, for port and baud given above the steps).
using OptionPlaces = std::map<std::string, std::pair<YAML::Node, YAML::Node>>;

// A step's command line, parsed and checked by the options of 'send'.
class StepLine {
 public:
  StepLine() {
    line.readEnd = link::ReadEnd::Frame;
    AddLineOptions(parser_, line, checked_);
    AddAddressOptions(parser_, line, checked_);
    AddReadEndOption(parser_, line, checked_);
    AddCommandSubcommands(parser_, choice_, checked_);
    // A step has no help to print: 'help: true' is a key like any other unknown one.
    parser_.set_help_flag();
    for (const auto& [sub, code] : choice_.commands) sub->set_help_flag();
  }

  // Why the command with these options is refused, or "". unknownOption tells
  // whether an option's name, rather than a value, was refused.
  std::string Parse(const std::string& commandName, const std::map<std::string, std::string>& options) {
    try {
      parser_.parse(StepArguments(commandName, options));
    } catch (const CLI::ExtrasError& e) {
      unknownOption = true;
      return WithLongWordsShortened(e.what());
    } catch (const CLI::ParseError& e) {
      return WithLongWordsShortened(e.what());
    }
    command = ChosenCommand(parser_, choice_);
    if (!command) return "'" + ShownValue(commandName) + "' is not a command; one of " + CommandNames();
    // A check box's value other than true or false is left over as a word of its own.
    if (!choice_.unknownCommand.empty())
      return "'" + ShownValue(choice_.unknownCommand) + "' is no option's value; a check box is true or false";
    return checked_.Check(false);
  }

  const board::FieldTexts& Fields() const { return choice_.TextsOf(*command); }

  LineOptions line;
  const board::Command* command = nullptr;
  bool unknownOption = false;

 private:
  CLI::App parser_{"step"};
  CheckedOptions checked_;
  CommandChoice choice_;
};

// The key or value a refusal of the whole step comes from: the command, else the
// first option refused on its own (its key when the option is unknown, else its
// value); the step itself when only their combination is refused.
YAML::Node Culprit(const YAML::Node& step, const std::string& commandName, const OptionPlaces& places) {
  if (!StepLine().Parse(commandName, {}).empty()) return step["send"];
  for (const auto& [key, place] : places) {
    StepLine alone;
    if (alone.Parse(commandName, {{key, place.second.Scalar()}}).empty()) continue;
    return alone.unknownOption && !place.first.IsNull() ? place.first : place.second;
  }
  return step;
}

// The step's command and options, parsed and checked by the options of 'send'.
void ParseExchange(Step& step, const std::map<std::string, std::string>& options, const OptionPlaces& places,
                   const YAML::Node& node, PortLookup& ports) {
  const std::string commandName = Scalar(node["send"], "send");
  StepLine parsed;
  if (const std::string refused = parsed.Parse(commandName, options); !refused.empty())
    Invalid(Culprit(node, commandName, places), refused);
  step.command = parsed.command;
  step.fields = parsed.Fields();
  std::string error;
  const auto port = ports.Find(parsed.line, error);
  if (!port) {
    const auto given = places.find("port");
    const bool inTheFile = given != places.end() && given->second.second.Mark().line >= 0;
    Invalid(inTheFile ? given->second.second : node, error);
  }
  step.settings = LineSettingsOf(parsed.line, port->path);
  step.title = Lowercase(commandName);
}

void ParseExpectations(Step& step, const YAML::Node& node) {
  if (!node.IsMap()) Invalid(node, "expect is a map such as {result: Success}");
  const std::vector<std::string> keys = board::ReplyFieldKeys(*step.command);
  for (const auto& entry : node) {
    const std::string key = Scalar(entry.first, "an expect key");
    if (key != "result" && std::find(keys.begin(), keys.end(), key) == keys.end()) {
      std::string known = "result";
      for (const std::string& k : keys) known += ", " + k;
      Invalid(entry.first, "expect: " + step.title + " shows no '" + ShownValue(key) + "' (one of " + known + ")");
    }
    // An empty field is null in JSON, and so in YAML.
    step.expect.emplace_back(key, entry.second.IsNull() ? "null" : Scalar(entry.second, "an expected value"));
  }
}

Step ParseStep(const YAML::Node& node, const OptionPlaces& defaults, PortLookup& ports) {
  if (!node.IsMap()) Invalid(node, "a step is a map with 'send' or 'wait'");
  Step step;
  step.line = LineOf(node);
  if (node["wait"]) {
    for (const auto& entry : node)
      if (Scalar(entry.first, "a key") != "wait") Invalid(entry.first, "a 'wait' step has nothing else");
    step.waitMs = Count(node["wait"], "wait", 0, 3'600'000);
    step.title = "wait " + std::to_string(step.waitMs) + " ms";
    return step;
  }
  if (!node["send"]) Invalid(node, "a step needs 'send: COMMAND' or 'wait: MS'");
  OptionPlaces places = defaults;
  for (const auto& entry : node) {
    const std::string key = Scalar(entry.first, "a key");
    if (key == "repeat") step.repeat = Count(entry.second, "repeat", 1, 1'000'000);
    else if (key != "send" && key != "expect") {
      // Not places[key] = ...: assigning a YAML::Node writes through to the node it
      // refers to, which would change the file's default for every later step.
      places.erase(key);
      places.emplace(key, std::pair(entry.first, entry.second));
    }
  }
  std::map<std::string, std::string> options;
  for (const auto& [key, place] : places) options[key] = Scalar(place.second, key);
  ParseExchange(step, options, places, node, ports);
  if (node["expect"]) ParseExpectations(step, node["expect"]);
  return step;
}

std::size_t KeptBytes(const Step& step) {
  std::size_t bytes = step.title.size() + step.settings.portPath.size() + step.settings.addressText.size();
  for (const auto& [name, text] : step.fields) bytes += name.size() + text.size();
  for (const auto& [key, value] : step.expect) bytes += key.size() + value.size();
  return bytes;
}

// The file's text, refused before parsing when it is no regular file or too long.
std::string ReadSequenceText(const std::string& path) {
  std::string reason;
  auto text = link::ReadWholeFile(path, kMaxSequenceBytes, reason);
  if (!text) throw InvalidSequence{0, reason};
  return std::move(*text);
}

// A key given twice in one map, where the parser would keep one of them silently.
// Each map and list is walked once, however many aliases name it.
void RefuseDuplicateKeys(const YAML::Node& root) {
  std::set<std::pair<int, int>> walked;  // by place in the file and type
  std::vector<YAML::Node> pending{root};
  while (!pending.empty()) {
    const YAML::Node node = pending.back();
    pending.pop_back();
    if (!(node.IsMap() || node.IsSequence()) || !walked.emplace(node.Mark().pos, node.Type()).second) continue;
    if (node.IsSequence()) {
      for (const auto& item : node) pending.push_back(item);
      continue;
    }
    std::set<std::string> keys;
    for (const auto& entry : node) {
      const YAML::Node& key = entry.first;
      if (key.IsScalar() && !keys.insert(key.Scalar()).second)
        Invalid(key, "duplicate key '" + key.Scalar() + "'");
      pending.push_back(key);
      pending.push_back(entry.second);
    }
  }
}

YAML::Node LoadSequence(const std::string& path) {
  const std::string text = ReadSequenceText(path);
  try {
    YAML::Node root = board::LoadOneDocument(text);
    RefuseDuplicateKeys(root);
    return root;
  } catch (const YAML::ParserException& e) {
    throw InvalidSequence{e.mark.line + 1, e.msg, e.mark.column + 1};
  } catch (const YAML::Exception& e) {
    throw InvalidSequence{0, e.msg};
  }
}

}  // namespace

std::vector<Step> ParseSequence(const std::string& path, const std::string& portOverride) {
  const YAML::Node root = LoadSequence(path);
  if (!root.IsMap()) Invalid(root, "a sequence is a map with 'steps'");
  OptionPlaces defaults;
  for (const auto& entry : root) {
    const std::string key = Scalar(entry.first, "a key");
    if (key == "port" || key == "baud") defaults.emplace(key, std::pair(entry.first, entry.second));
    else if (key != "steps") Invalid(entry.first, "unknown key '" + ShownValue(key) + "' (port, baud, steps)");
  }
  // A port given on the command line stands nowhere in the file; the file's own is still a port's name.
  if (!portOverride.empty()) {
    if (const auto own = defaults.find("port"); own != defaults.end()) Scalar(own->second.second, "port");
    defaults.erase("port");
    defaults.emplace("port", std::pair(YAML::Node(), YAML::Node(portOverride)));
  }
  const YAML::Node steps = root["steps"];
  if (!steps || !steps.IsSequence() || steps.size() == 0)
    Invalid(steps ? steps : root, "'steps' must be a list of at least one step");
  if (steps.size() > kMaxSequenceSteps)
    Invalid(steps, std::to_string(steps.size()) + " steps; a sequence holds at most 10000");
  std::vector<Step> parsed;
  PortLookup ports;
  std::size_t keptBytes = 0;
  for (const auto& step : steps) {
    parsed.push_back(ParseStep(step, defaults, ports));
    keptBytes += KeptBytes(parsed.back());
    if (keptBytes > kMaxSequenceTextBytes)
      Invalid(step, "the steps' texts, each alias counted again, pass " + std::to_string(kMaxSequenceTextBytes) + " bytes");
  }
  return parsed;
}

#else

std::vector<Step> ParseSequence(const std::string&, const std::string&) {
  throw InvalidSequence{0, "this build of tarnwick-cli reads no YAML (it was built without yaml-cpp)"};
}

#endif

}  // namespace tarnwick::cli
