#include "bench/sequence_file.h"

#include <algorithm>
#include <map>
#include <set>

#include "bench/option_values.h"
#include "board/exchange.h"
#include "link/record_file.h"

#if TARNWICK_HAS_YAML
#include <yaml-cpp/yaml.h>

#include "board/yaml_document.h"
#endif

namespace tarnwick::bench {

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

// Each port a sequence names, looked up once: listing the ports takes a while.
class PortLookup {
 public:
  explicit PortLookup(const PortChooser& choose) : choose_(choose) {}

  std::optional<link::PortEntry> Find(const LineOptions& line, std::string& error) {
    if (const auto known = found_.find(line.port); known != found_.end()) return known->second;
    auto port = choose_(line, error);
    if (port) found_.emplace(line.port, *port);
    return port;
  }

 private:
  const PortChooser& choose_;
  std::map<std::string, link::PortEntry> found_;
};

// Where each option of a step stands in the file: its key and its value (a
// default's, for port and baud given above the steps).
using OptionPlaces = std::map<std::string, std::pair<YAML::Node, YAML::Node>>;

// A step's options, read by the rules of the command line's options of the same
// names: the line's, then the command's fields. A refusal names the value at fault
// (the key, when no option has that name), and comes in the order the command line
// checks its options, so that both refuse a mistake in the same words.
class StepOptions {
 public:
  StepOptions(const board::Command& command, const OptionPlaces& places)
      : fields(board::DefaultTexts(command)), command_(command), places_(places) {
    line.readEnd = link::ReadEnd::Frame;
  }

  void Read() {
    RefuseUnknownKeys();
    RefuseCheckValues();
    if (const auto port = places_.find("port"); port != places_.end()) line.port = port->second.second.Scalar();
    Choice("baud", BaudChoices(), line.baudIndex);
    line.baudGiven = places_.count("baud") > 0;
    Choice("rs485", DirectionChoices(), line.direction.control);
    Number("rs485-delay-before", kRs485DelayRule, line.direction.delayBeforeMs);
    Number("rs485-delay-after", kRs485DelayRule, line.direction.delayAfterMs);
    Choice("echo", EchoChoices(), line.echo);
    for (const char* delay : {"rs485-delay-before", "rs485-delay-after"})
      if (places_.count(delay)) RefuseIf(delay, DelayRefusal(std::string("--") + delay, line.direction.control));
    if (const auto text = Text("addr")) line.address = FieldText("addr", *text, kAddressRule);
    line.noRes = Text("no-res") == "true";
    Choice("read-end", ReadEndChoices(), line.readEnd);
    for (const board::Field* field : command_.RequestForm()) ReadField(*field);
  }

  LineOptions line;
  board::FieldTexts fields;

 private:
  const board::Field* RequestField(const std::string& key) const {
    for (const board::Field* field : command_.RequestForm())
      if (field->name == key) return field;
    return nullptr;
  }

  bool IsCheck(const std::string& key) const {
    if (key == "no-res") return true;
    const board::Field* field = RequestField(key);
    return field && field->IsCheck();
  }

  bool IsKnown(const std::string& key) const {
    static const std::set<std::string> kLineKeys{"port", "baud", "rs485", "rs485-delay-before", "rs485-delay-after",
                                                 "echo", "addr", "no-res", "read-end"};
    return kLineKeys.count(key) || RequestField(key);
  }

  void RefuseUnknownKeys() const {
    std::string unknown;
    int count = 0;
    const YAML::Node* first = nullptr;
    for (const auto& [key, place] : places_) {
      if (IsKnown(key)) continue;
      unknown = " --" + key + unknown;  // listed last key first, as the command line's parser does
      if (count++ == 0) first = place.first.IsNull() ? &place.second : &place.first;
    }
    if (count == 0) return;
    const std::string said = count == 1 ? "argument was" : "arguments were";
    Invalid(*first, WithLongWordsShortened("The following " + said + " not expected:" + unknown));
  }

  // A check box is given or not: true or false.
  void RefuseCheckValues() const {
    for (const auto& [key, place] : places_) {
      const std::string& value = place.second.Scalar();
      if (IsCheck(key) && value != "true" && value != "false")
        Invalid(place.second, "'" + ShownValue(value) + "' is no option's value; a check box is true or false");
    }
  }

  std::optional<std::string> Text(const std::string& key) const {
    const auto place = places_.find(key);
    if (place == places_.end()) return std::nullopt;
    return place->second.second.Scalar();
  }

  void RefuseIf(const std::string& key, const std::string& refusal) const {
    if (!refusal.empty()) Invalid(places_.at(key).second, refusal);
  }

  // The value text stands for under the rule or among the choices; refused at key otherwise.
  std::int64_t Checked(const std::string& key, const std::string& text, const NumberRule& rule) const {
    std::string error;
    const auto number = CheckNumber("--" + key, text, rule, error);
    RefuseIf(key, error);
    return *number;
  }
  int Checked(const std::string& key, const std::string& text, const Choices& choices) const {
    std::string error;
    const auto chosen = CheckChoice("--" + key, text, choices, error);
    RefuseIf(key, error);
    return *chosen;
  }

  template <typename Value>
  void Choice(const std::string& key, const Choices& choices, Value& value) {
    if (const auto text = Text(key)) value = static_cast<Value>(Checked(key, *text, choices));
  }

  void Number(const std::string& key, const NumberRule& rule, int& value) {
    if (const auto text = Text(key)) value = static_cast<int>(Checked(key, *text, rule));
  }

  std::string FieldText(const std::string& key, const std::string& text, const NumberRule& rule) const {
    return FieldTextOf(Checked(key, text, rule), rule);
  }

  void ReadField(const board::Field& field) {
    const auto text = Text(field.name);
    if (!text) return;
    if (field.IsCheck()) {
      if (*text == "true") fields[field.name] = "1";
      return;
    }
    if (!field.values) {
      fields[field.name] = FieldText(field.name, *text, RuleOf(field));
      return;
    }
    const int value = Checked(field.name, *text, ChoicesOf(*field.values));
    fields[field.name] = field.values->Find(static_cast<std::uint32_t>(value))->name;
  }

  const board::Command& command_;
  const OptionPlaces& places_;
};

// The step's command and options, read by the rules of the command line's.
void ParseExchange(Step& step, const OptionPlaces& places, const YAML::Node& node, PortLookup& ports) {
  const std::string commandName = Scalar(node["send"], "send");
  step.command = board::Current().FindNamed(commandName);
  if (!step.command) Invalid(node["send"], "'" + ShownValue(commandName) + "' is not a command; one of " + CommandNames());
  StepOptions options(*step.command, places);
  options.Read();
  step.fields = std::move(options.fields);
  std::string error;
  const auto port = ports.Find(options.line, error);
  if (!port) {
    const auto given = places.find("port");
    const bool inTheFile = given != places.end() && given->second.second.Mark().line >= 0;
    Invalid(inTheFile ? given->second.second : node, error);
  }
  step.settings = LineSettingsOf(options.line, port->path);
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
  for (const auto& [key, place] : places) Scalar(place.second, key);
  ParseExchange(step, places, node, ports);
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

std::vector<Step> ParseSequence(const std::string& path, const std::string& portOverride, const PortChooser& choose) {
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
  PortLookup ports(choose);
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

std::vector<Step> ParseSequence(const std::string&, const std::string&, const PortChooser&) {
  throw InvalidSequence{0, "this build of tarnwick-cli reads no YAML (it was built without yaml-cpp)"};
}

#endif

}  // namespace tarnwick::bench
