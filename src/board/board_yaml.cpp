// Reads a board description from YAML text: the structure first (keys, types,
// required keys), each list's names and references once the list is read, and the
// board's codes, names and `requires:` once every command is. Problems are kept
// with their positions and reported in file order.
#include <yaml-cpp/eventhandler.h>
#include <yaml-cpp/yaml.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <map>
#include <set>
#include <sstream>
#include <tuple>

#include "board/board_file.h"
#include "board/board_words.h"
#include "board/codec.h"
#include "board/names.h"
#include "board/yaml_document.h"

namespace tarnwick::board {
namespace {

constexpr std::size_t kMaxCommands = 128;
constexpr std::size_t kMaxEntries = 64;     // enumerations, values, list entries, cases, bits
constexpr std::size_t kFrameOverhead = link::Framing::kOverhead + 1;  // and the command byte
constexpr std::size_t kMaxFrame = 20;

// A text as a problem quotes it: bytes that a terminal could take for control, or
// that are no UTF-8, as \xNN.
std::string Quoted(std::string_view text) {
  if (TextProblem(text).empty()) return "\"" + std::string(text) + "\"";
  std::string quoted = "\"";
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte < 0x7F) {
      quoted += c;
      continue;
    }
    constexpr char kDigits[] = "0123456789ABCDEF";
    quoted += {'\\', 'x', kDigits[byte >> 4], kDigits[byte & 0xF]};
  }
  return quoted + "\"";
}

std::string Lower(std::string_view text) {
  std::string lower(text);
  for (char& c : lower)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return lower;
}

// Decimal or 0x hex, with an optional sign; magnitudes beyond 2^40 are kept as
// 2^40 so that every range check refuses them.
std::optional<std::int64_t> ParseInteger(std::string_view text) {
  bool negative = false;
  if (!text.empty() && (text[0] == '-' || text[0] == '+')) {
    negative = text[0] == '-';
    text.remove_prefix(1);
  }
  int base = 10;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    base = 16;
    text.remove_prefix(2);
  }
  if (text.empty()) return std::nullopt;
  std::uint64_t magnitude = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), magnitude, base);
  if (end != text.data() + text.size()) return std::nullopt;
  constexpr std::uint64_t kHuge = std::uint64_t{1} << 40;
  if (error == std::errc::result_out_of_range || magnitude > kHuge) magnitude = kHuge;
  else if (error != std::errc{}) return std::nullopt;
  const auto value = static_cast<std::int64_t>(magnitude);
  return negative ? -value : value;
}

std::string Hex(std::int64_t value) {
  char digits[24];
  const auto end = std::to_chars(digits, digits + sizeof digits, value, 16).ptr;
  std::string text(digits, end);
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return (text.size() < 2 ? "0x0" : "0x") + text;
}

std::uint32_t WidthMax(int bits) { return bits >= 32 ? 0xFFFFFFFFu : (std::uint32_t{1} << bits) - 1; }

const Field* FindIn(const Layout& layout, std::string_view name) {
  for (const auto& field : layout.fields)
    if (field.name == name) return &field;
  for (const auto& switchCase : layout.cases)
    for (const auto& field : switchCase.fields)
      if (field.name == name) return &field;
  return nullptr;
}

// The values a field's bits hold, and how a refusal names them.
std::int64_t FitMax(const Field& field) {
  if (field.bitCount > 0) return WidthMax(field.bitCount);
  if (field.type == WireType::Check) return 1;
  const WordShape shape = ShapeOf(field.type);
  const int bits = static_cast<int>(shape.bytes * 8) - (shape.isSigned ? 1 : 0);
  return shape.bytes == 0 ? 0xFF : (std::int64_t{1} << bits) - 1;
}
std::int64_t FitMin(const Field& field) { return field.IsSigned() ? -FitMax(field) - 1 : 0; }

std::string FitName(const Field& field) {
  if (field.bitCount > 0) return std::to_string(field.bitCount) + (field.bitCount == 1 ? " bit" : " bits");
  return std::string(words::Of(words::wireTypes, field.type).text);
}

std::string ValueNames(const Enumeration& enumeration) {
  std::string text;
  for (std::size_t i = 0; i < enumeration.values.size() && i < 8; ++i)
    text += (i == 0 ? "" : ", ") + enumeration.values[i].name;
  return text + (enumeration.values.size() > 8 ? ", ..." : "");
}

// A map's entries, read once: yaml-cpp looks a key up by converting every key
// of the map to text, which costs more than the parse of a board file.
class Map {
 public:
  explicit Map(const YAML::Node& node) : node_(node) {
    if (!node.IsDefined() || !node.IsMap()) return;
    for (const auto& entry : node)
      entries_.push_back({entry.first.IsScalar() ? entry.first.Scalar() : std::string(), entry.first, entry.second});
  }
  struct Entry {
    std::string key;
    YAML::Node keyNode, value;
  };
  // The value, or a node that tests false when the key is not there.
  YAML::Node operator[](std::string_view key) const {
    for (const auto& entry : entries_)
      if (entry.key == key) return entry.value;
    return Missing();
  }
  const YAML::Node& node() const { return node_; }
  // Where the value of key is written; the key's place when the value is left
  // empty (yaml-cpp places an empty value at the token after it).
  YAML::Mark MarkOf(std::string_view key) const {
    for (const auto& entry : entries_)
      if (entry.key == key) return entry.value.IsNull() ? entry.keyNode.Mark() : entry.value.Mark();
    return node_.Mark();
  }
  YAML::Mark Mark() const { return node_.Mark(); }
  auto begin() const { return entries_.begin(); }
  auto end() const { return entries_.end(); }

 private:
  static YAML::Node Missing() {
    static const YAML::Node empty(YAML::NodeType::Map);
    return empty["-"];
  }
  YAML::Node node_;
  std::vector<Entry> entries_;
};

struct Problem {
  int line = 0, column = 0;
  std::string reason;
};

// A field name as written, for the checks made once its list is read.
struct NameUse {
  std::string name;
  YAML::Mark mark;
  int caseIndex = -1;  // -1: before the switch
};

// A reference to another field of the same list: `special.when`, `sign`, `set-if`.
struct FieldReference {
  std::string name;
  YAML::Mark mark;
  std::string key;
  bool mustBeCheck = false;
};

struct LayoutNotes {
  bool isResponse = false;
  std::vector<NameUse> names;
  std::vector<FieldReference> references;
  YAML::Mark listMark;
  std::string statusName;
  YAML::Mark statusMark;
};

// `requires:`, resolved once every command is read.
struct Requirement {
  std::string field, value;
  YAML::Mark fieldMark, valueMark;
};

// Where a command's name and code are written, for the checks across commands.
struct CommandMarks {
  YAML::Mark name, code, action;
  bool codeValid = false;
  std::optional<Requirement> requirement;
};

class Reader {
 public:
  explicit Reader(std::string source) : source_(std::move(source)) {}

  LoadResult Read(std::string_view text);

 private:
  static constexpr std::size_t kMaxFields = 4096;  // aliases can repeat a list many times
  static constexpr std::size_t kMaxTextBytes = std::size_t{1} << 20;  // and one long text in every field

  void Add(const YAML::Mark& mark, std::string reason) {
    // An empty document has no position: its first line stands for it.
    problems_.push_back({std::max(mark.line, 0) + 1, std::max(mark.column, 0) + 1, std::move(reason)});
    ++problemCount_;
    if (problems_.size() == 2 * kMaxProblems) KeepFirstProblems();  // only the first ones are shown
  }
  void KeepFirstProblems();
  bool ExpectMap(const YAML::Node& node, std::string_view what, std::size_t maxKeys = kMaxEntries);
  bool ExpectMap(const Map& map, std::string_view what) { return ExpectMap(map.node(), what); }
  bool ExpectList(const YAML::Node& node, std::string_view what);
  // The same for the value of key in parent, which must be there.
  bool ExpectMapAt(const Map& parent, std::string_view key);
  bool ExpectListAt(const Map& parent, std::string_view key);
  void CheckKeys(const Map& map, std::initializer_list<std::string_view> allowed, std::string_view what);
  bool Require(const Map& map, std::string_view key, std::string_view what);
  std::optional<std::string> Text(const Map& map, std::string_view key);
  std::optional<std::int64_t> Number(const YAML::Node& node, std::string_view what);
  std::optional<std::int64_t> NumberAt(const Map& map, std::string_view key);
  std::optional<bool> Flag(const Map& map, std::string_view key);
  template <class Enum, std::size_t N>
  std::optional<Enum> WordAt(const Map& map, std::string_view key, const std::array<words::Word<Enum>, N>& list,
                             std::string_view what);
  LoadResult Result();

  void ReadBoard(const Map& root);
  void ReadEnumerations(const YAML::Node& values);
  std::optional<Command> ReadCommand(const Map& node, CommandMarks& marks);
  void ReadRequirement(const Map& node, CommandMarks& marks);
  void ReadForm(const Map& node, Command& command);
  Layout ReadLayout(const YAML::Node& list, std::string_view what, bool isResponse);
  void ReadEntries(const YAML::Node& list, std::vector<Field>& fields, std::size_t& offset, int caseIndex,
                   LayoutNotes& notes, Layout* layout);
  void ReadPad(const Map& node, std::vector<Field>& fields, std::size_t& offset);
  void ReadSwitch(const Map& node, Layout& layout, std::size_t offset, LayoutNotes& notes);
  bool CaseValue(const YAML::Node& key, const Field* chooser, SwitchCase& switchCase);
  void ReadWord(const Map& node, std::vector<Field>& fields, std::size_t& offset, int caseIndex,
                LayoutNotes& notes);
  std::optional<Field> ReadField(const Map& node, const Field* word, int caseIndex, LayoutNotes& notes);
  bool ReadType(const Map& node, Field& field);
  bool ReadBits(const Map& node, const Field& word, Field& field);
  void ReadValues(const Map& node, Field& field);
  void ReadRange(const Map& node, Field& field);
  void ReadScale(const Map& node, Field& field);
  std::optional<double> Decimal(const YAML::Node& node, std::string_view what, int& decimals);
  bool ReadScaledRange(const YAML::Node& range, Field& field);
  void ReadDefault(const Map& node, Field& field);
  void ReadStatus(const Map& node, Field& field, LayoutNotes& notes);
  void ReadReferences(const Map& node, Field& field, LayoutNotes& notes);
  void CheckLayout(const Layout& layout, const LayoutNotes& notes, bool isResponse, std::string_view what);
  void CheckBoard(std::vector<CommandMarks>& marks);
  void CheckTexts(const YAML::Node& root);
  void CheckActionNeeds(const Command& command, const YAML::Mark& mark);
  void ReadLiveTests(const YAML::Node& node);
  void CheckLiveTests();
  bool AnyRequestHas(std::string_view name) const;
  bool OverBudget() const { return fieldsRead_ > kMaxFields; }

  std::string source_;
  std::vector<Problem> problems_;
  Board board_;
  std::size_t fieldsRead_ = 0;
  std::size_t textBytesRead_ = 0;
  std::size_t problemCount_ = 0;
  std::vector<YAML::Mark> liveTestMarks_;  // of board_.liveTests, in order
};

bool Reader::ExpectMap(const YAML::Node& node, std::string_view what, std::size_t maxKeys) {
  if (!node.IsMap()) {
    Add(node.Mark(), std::string(what) + " must be a map of keys");
    return false;
  }
  if (node.size() > maxKeys) {
    Add(node.Mark(), std::string(what) + " has more than " + std::to_string(maxKeys) + " keys");
    return false;
  }
  return true;
}

bool Reader::ExpectList(const YAML::Node& node, std::string_view what) {
  if (!node.IsSequence()) {
    Add(node.Mark(), std::string(what) + " must be a list");
    return false;
  }
  if (node.size() > kMaxEntries) {
    Add(node.Mark(), std::string(what) + " has more than " + std::to_string(kMaxEntries) + " entries");
    return false;
  }
  return true;
}

bool Reader::ExpectMapAt(const Map& parent, std::string_view key) {
  if (!parent[key].IsNull()) return ExpectMap(parent[key], Quoted(key));
  Add(parent.MarkOf(key), Quoted(key) + " has no value");
  return false;
}

bool Reader::ExpectListAt(const Map& parent, std::string_view key) {
  if (!parent[key].IsNull()) return ExpectList(parent[key], Quoted(key));
  Add(parent.MarkOf(key), Quoted(key) + " has no value");
  return false;
}

void Reader::CheckKeys(const Map& map, std::initializer_list<std::string_view> allowed, std::string_view what) {
  std::set<std::string_view> seen;
  for (const auto& entry : map) {
    if (std::find(allowed.begin(), allowed.end(), entry.key) == allowed.end())
      Add(entry.keyNode.Mark(), "unknown key " + Quoted(entry.key) + " in " + std::string(what));
    else if (!seen.insert(entry.key).second)
      Add(entry.keyNode.Mark(), Quoted(entry.key) + " is given twice in " + std::string(what));
  }
}

bool Reader::Require(const Map& map, std::string_view key, std::string_view what) {
  if (map[key]) return true;
  Add(map.Mark(), std::string(what) + " has no " + Quoted(key));
  return false;
}

std::optional<std::string> Reader::Text(const Map& map, std::string_view key) {
  const YAML::Node node = map[key];
  if (!node) return std::nullopt;
  if (node.IsScalar()) {
    const bool wasWithin = textBytesRead_ <= kMaxTextBytes;
    textBytesRead_ += node.Scalar().size();
    if (textBytesRead_ <= kMaxTextBytes) return node.Scalar();
    if (wasWithin)
      Add(node.Mark(), "the file's texts, each alias counted again, pass " + std::to_string(kMaxTextBytes) + " bytes");
    return std::nullopt;
  }
  Add(map.MarkOf(key), Quoted(key) + (node.IsNull() ? " has no value" : " must be a text"));
  return std::nullopt;
}

std::optional<std::int64_t> Reader::Number(const YAML::Node& node, std::string_view what) {
  if (node.IsScalar())
    if (const auto value = ParseInteger(node.Scalar())) return value;
  Add(node.Mark(), std::string(what) + " must be a number");
  return std::nullopt;
}

std::optional<std::int64_t> Reader::NumberAt(const Map& map, std::string_view key) {
  const YAML::Node node = map[key];
  if (!node) return std::nullopt;
  if (!node.IsNull()) return Number(node, Quoted(key));
  Add(map.MarkOf(key), Quoted(key) + " has no value");
  return std::nullopt;
}

std::optional<bool> Reader::Flag(const Map& map, std::string_view key) {
  const YAML::Node node = map[key];
  if (!node) return std::nullopt;
  if (node.IsScalar() && (node.Scalar() == "true" || node.Scalar() == "false")) return node.Scalar() == "true";
  Add(map.MarkOf(key), Quoted(key) + " must be true or false");
  return std::nullopt;
}

template <class Enum, std::size_t N>
std::optional<Enum> Reader::WordAt(const Map& map, std::string_view key,
                                   const std::array<words::Word<Enum>, N>& list, std::string_view what) {
  const auto text = Text(map, key);
  if (!text) return std::nullopt;
  if (const auto value = words::FromText(list, *text)) return value;
  Add(map[key].Mark(), "unknown " + std::string(what) + " " + Quoted(*text) + " (" + words::Choices(list) + ")");
  return std::nullopt;
}

LoadResult Reader::Read(std::string_view text) {
  YAML::Node document;
  try {
    document = LoadOneDocument(std::string(text));
  } catch (const YAML::Exception& error) {
    Add(error.mark, error.msg);
    return Result();
  }
  // The format first: a file of another format is read no further.
  const Map root(document);
  if (!ExpectMap(root, "a board file") || !Require(root, "format", "the board file")) return Result();
  const auto format = NumberAt(root, "format");
  if (format && *format != 1) Add(root["format"].Mark(), "format " + std::to_string(*format) + " is not known (1 is)");
  if (!problems_.empty()) return Result();
  CheckTexts(document);
  ReadBoard(root);
  return Result();
}

// In file order, and among problems at one place in the order they were found.
void Reader::KeepFirstProblems() {
  std::stable_sort(problems_.begin(), problems_.end(), [](const Problem& a, const Problem& b) {
    return std::tie(a.line, a.column) < std::tie(b.line, b.column);
  });
  if (problems_.size() > kMaxProblems) problems_.resize(kMaxProblems);
}

LoadResult Reader::Result() {
  KeepFirstProblems();
  LoadResult result;
  for (const auto& problem : problems_) result.problems.push_back(source_ + ":" + std::to_string(problem.line) + ":" +
                                                                  std::to_string(problem.column) + ": " + problem.reason);
  if (problemCount_ > kMaxProblems)
    result.problems.push_back(source_ + ": " + std::to_string(problemCount_ - kMaxProblems) + " more problems not shown");
  if (result.problems.empty()) result.board = std::move(board_);
  return result;
}

void Reader::ReadBoard(const Map& root) {
  board_.source = source_;
  CheckKeys(root, {"format", "board", "framing", "values", "commands", "live-tests"}, "the board file");
  if (Require(root, "board", "the board file")) board_.name = Text(root, "board").value_or("");
  if (const auto check = WordAt(root, "framing", words::framings, "framing")) board_.framing = link::Framing(*check);
  if (root["values"] && ExpectMapAt(root, "values")) ReadEnumerations(root["values"]);
  if (!Require(root, "commands", "the board file")) return;
  const YAML::Node commands = root["commands"];
  if (commands.IsNull()) return Add(root.MarkOf("commands"), "\"commands\" has no value");
  if (!commands.IsSequence()) return Add(commands.Mark(), "\"commands\" must be a list");
  if (commands.size() > kMaxCommands)
    return Add(commands.Mark(), "more than " + std::to_string(kMaxCommands) + " commands");
  std::vector<CommandMarks> marks;
  for (const auto& node : commands) {
    CommandMarks commandMarks;
    if (auto command = ReadCommand(Map(node), commandMarks)) {
      board_.commands.push_back(std::move(*command));
      marks.push_back(std::move(commandMarks));
    }
  }
  CheckBoard(marks);
  if (root["live-tests"] && ExpectMapAt(root, "live-tests")) ReadLiveTests(root["live-tests"]);
  CheckLiveTests();
}

// `live-tests:`: each test's word and the names of the commands its run sends.
void Reader::ReadLiveTests(const YAML::Node& node) {
  for (const auto& entry : node) {
    const std::string word = entry.first.Scalar();
    const auto test = words::FromText(words::liveTests, word);
    if (!test) {
      Add(entry.first.Mark(), "live test " + Quoted(word) + " is not known (" + words::Choices(words::liveTests) + ")");
      continue;
    }
    if (board_.FindLiveTest(*test) != nullptr) Add(entry.first.Mark(), "live test " + Quoted(word) + " is named twice");
    if (!ExpectList(entry.second, "live test " + Quoted(word)) || entry.second.size() == 0) {
      if (entry.second.IsSequence()) Add(entry.second.Mark(), "live test " + Quoted(word) + " sends no command");
      continue;
    }
    LiveTestUse use{*test, {}};
    for (const auto& name : entry.second) {
      const Command* command = name.IsScalar() ? board_.FindNamed(name.Scalar()) : nullptr;
      if (command == nullptr)
        Add(name.Mark(), "live test " + Quoted(word) + " sends " + (name.IsScalar() ? Quoted(name.Scalar()) : "a list") +
                             ", which is no command");
      else
        use.sends.push_back(command->name);
    }
    board_.liveTests.push_back(std::move(use));
    liveTestMarks_.push_back(entry.first.Mark());
  }
}

// The fields each live test sets (board.h, action_fields) are in the commands it sends.
void Reader::CheckLiveTests() {
  for (std::size_t i = 0; i < board_.liveTests.size(); ++i) {
    const LiveTestUse& use = board_.liveTests[i];
    const std::string test = Quoted(words::Of(words::liveTests, use.test).text);
    if (board_.StopCommand() == nullptr)
      Add(liveTestMarks_[i], "live test " + test + " needs a command whose action is \"stop\"");
    for (const action_fields::LiveTestNeed& need : action_fields::kLiveTestNeeds) {
      if (need.test != use.test) continue;
      const bool sent = std::any_of(use.sends.begin(), use.sends.end(), [&](const std::string& name) {
        return FindIn(board_.FindNamed(name)->request, need.field) != nullptr;
      });
      if (!sent) Add(liveTestMarks_[i], "live test " + test + " needs a request field " + Quoted(need.field) +
                                            " in a command it sends");
    }
  }
}

void Reader::ReadEnumerations(const YAML::Node& values) {
  for (const auto& entry : values) {
    const std::string name = entry.first.Scalar();
    if (board_.FindEnumeration(name) != nullptr) Add(entry.first.Mark(), "enumeration " + Quoted(name) + " is named twice");
    if (!ExpectMap(entry.second, "enumeration " + Quoted(name), 256)) continue;
    auto enumeration = std::make_shared<Enumeration>();
    enumeration->name = name;
    for (const auto& value : entry.second) {
      const std::string valueName = value.first.Scalar();
      if (enumeration->FindNamed(valueName) != nullptr)
        Add(value.first.Mark(), "value " + Quoted(valueName) + " is named twice in " + name);
      const auto number = Number(value.second, "value " + Quoted(valueName));
      if (number && (*number < 0 || *number > 0xFFFFFFFF))
        Add(value.second.Mark(), "value " + Quoted(valueName) + " must be 0 to 0xFFFFFFFF");
      else if (number)
        enumeration->values.push_back({valueName, static_cast<std::uint32_t>(*number)});
    }
    board_.enumerations.push_back(std::move(enumeration));
  }
}

std::optional<Command> Reader::ReadCommand(const Map& node, CommandMarks& marks) {
  if (!ExpectMap(node, "a command")) return std::nullopt;
  CheckKeys(node, {"name", "code", "title", "reply", "flag", "action", "requires", "form", "request", "response", "example"},
            "a command");
  const bool hasName = Require(node, "name", "a command"), hasCode = Require(node, "code", "a command");
  Command command;
  command.line = node.Mark().line + 1;
  command.column = node.Mark().column + 1;
  command.name = Text(node, "name").value_or("");
  if (const std::string problem = CommandNameProblem(command.name); hasName && !problem.empty())
    Add(node.MarkOf("name"), problem);
  command.title = Text(node, "title").value_or(command.name);
  command.example = Text(node, "example").value_or("");
  if (const auto code = NumberAt(node, "code")) {
    if (*code < 0 || *code > 0xFF)
      Add(node["code"].Mark(), "code " + std::to_string(*code) + " does not fit a byte");
    else if (*code > 0x7F)
      Add(node["code"].Mark(), "code " + Hex(*code) + " is above 0x7F: bit 7 of the command byte is the reply flag");
    else
      command.code = static_cast<std::uint8_t>(*code), marks.codeValid = true;
  }
  command.reply = WordAt(node, "reply", words::replyRules, "reply rule").value_or(ReplyRule::WhenFlagged);
  command.flag = WordAt(node, "flag", words::flagRules, "flag rule").value_or(FlagRule::AsAsked);
  command.action = WordAt(node, "action", words::actions, "action").value_or(Action::None);
  marks.action = node.MarkOf("action");
  ReadRequirement(node, marks);
  if (node["request"] && ExpectListAt(node, "request")) command.request = ReadLayout(node["request"], "the request", false);
  if (node["response"] && ExpectListAt(node, "response"))
    command.response = ReadLayout(node["response"], "the response", true);
  ReadForm(node, command);
  if (!hasName || !hasCode) return std::nullopt;
  marks.name = node["name"].Mark();
  marks.code = node["code"].Mark();
  return command;
}

void Reader::ReadRequirement(const Map& node, CommandMarks& marks) {
  const YAML::Node required = node["requires"];
  if (!required) return;
  if (!required.IsMap() || required.size() != 1 || !required.begin()->second.IsScalar())
    return Add(required.Mark(), "\"requires\" must be one field and its value: {motor-type: Stepper}");
  const auto entry = *required.begin();
  marks.requirement = Requirement{entry.first.Scalar(), entry.second.Scalar(), entry.first.Mark(), entry.second.Mark()};
}

void Reader::ReadForm(const Map& node, Command& command) {
  const YAML::Node form = node["form"];
  if (!form || !ExpectListAt(node, "form")) return;
  for (const auto& name : form) {
    if (!name.IsScalar())
      Add(name.Mark(), "\"form\" lists field names");
    else if (!FindIn(command.request, name.Scalar()) && !FindIn(command.response, name.Scalar()))
      Add(name.Mark(), "\"form\" names " + Quoted(name.Scalar()) + ", which is no field of " + command.name);
    else
      command.form.push_back(name.Scalar());
  }
}

Layout Reader::ReadLayout(const YAML::Node& list, std::string_view what, bool isResponse) {
  Layout layout;
  LayoutNotes notes;
  notes.listMark = list.Mark();
  notes.isResponse = isResponse;
  std::size_t offset = 0;
  ReadEntries(list, layout.fields, offset, -1, notes, &layout);
  if (layout.switchOn.empty()) layout.size = offset;
  CheckLayout(layout, notes, isResponse, what);
  return layout;
}

// layout: where a switch goes; null inside a case, where none may be.
void Reader::ReadEntries(const YAML::Node& list, std::vector<Field>& fields, std::size_t& offset, int caseIndex,
                         LayoutNotes& notes, Layout* layout) {
  for (std::size_t i = 0; i < list.size() && !OverBudget(); ++i) {
    const Map entry(list[i]);
    if (!ExpectMap(entry, "a field")) continue;
    if (entry["switch"]) {
      if (layout == nullptr)
        Add(entry.Mark(), "a switch cannot be inside a case");
      else if (i + 1 != list.size())
        Add(entry.Mark(), "a switch must be the last entry of its list");
      else
        ReadSwitch(entry, *layout, offset, notes);
    } else if (entry["pad"]) {
      ReadPad(entry, fields, offset);
    } else if (entry["bits"]) {
      ReadWord(entry, fields, offset, caseIndex, notes);
    } else if (auto field = ReadField(entry, nullptr, caseIndex, notes)) {
      field->offset = offset;
      offset += field->size;
      fields.push_back(std::move(*field));
    }
  }
}

void Reader::ReadPad(const Map& node, std::vector<Field>& fields, std::size_t& offset) {
  CheckKeys(node, {"pad"}, "a pad");
  const auto count = NumberAt(node, "pad");
  if (!count) return;
  if (*count < 1 || *count > 16) return Add(node["pad"].Mark(), "a pad is 1 to 16 bytes");
  Field pad;
  pad.type = WireType::Pad;
  pad.offset = offset;
  pad.size = static_cast<std::size_t>(*count);
  pad.line = node.Mark().line + 1;
  pad.column = node.Mark().column + 1;
  offset += pad.size;
  fields.push_back(std::move(pad));
}

void Reader::ReadSwitch(const Map& node, Layout& layout, std::size_t offset, LayoutNotes& notes) {
  CheckKeys(node, {"switch", "cases"}, "a switch");
  layout.size = offset;
  const auto on = Text(node, "switch");
  if (!on || !Require(node, "cases", "a switch") || !ExpectMapAt(node, "cases")) return;
  layout.switchOn = *on;
  const Field* chooser = nullptr;
  for (const auto& field : layout.fields)
    if (field.name == *on) chooser = &field;
  if (chooser == nullptr) Add(node["switch"].Mark(), "the switch names " + Quoted(*on) + ", which is no field before it");
  const YAML::Node cases = node["cases"];
  for (const auto& entry : cases) {
    SwitchCase switchCase;
    switchCase.name = entry.first.Scalar();
    if (!CaseValue(entry.first, chooser, switchCase)) continue;
    for (const auto& other : layout.cases)
      if (other.value == switchCase.value) Add(entry.first.Mark(), "case " + Quoted(switchCase.name) + " is given twice");
    std::size_t caseOffset = offset;
    if (ExpectList(entry.second, "case " + Quoted(switchCase.name)))
      ReadEntries(entry.second, switchCase.fields, caseOffset, static_cast<int>(layout.cases.size()), notes, nullptr);
    switchCase.size = caseOffset;
    layout.cases.push_back(std::move(switchCase));
  }
}

// The value a case key stands for: a name of the chooser's enumeration or a number
// (one of its values, when it has named values).
bool Reader::CaseValue(const YAML::Node& key, const Field* chooser, SwitchCase& switchCase) {
  const Enumeration* enumeration = chooser ? chooser->values.get() : nullptr;
  const auto number = ParseInteger(switchCase.name);
  const NamedValue* named = nullptr;
  if (enumeration)
    named = number && *number >= 0 && *number <= 0xFFFFFFFF ? enumeration->Find(static_cast<std::uint32_t>(*number))
                                                            : enumeration->FindNamed(switchCase.name);
  if (named) {
    switchCase.name = named->name;
    switchCase.value = named->value;
  } else if (!enumeration && number && *number >= 0 && *number <= 0xFFFFFFFF) {
    switchCase.value = static_cast<std::uint32_t>(*number);
  } else {
    if (chooser)
      Add(key.Mark(), "case " + Quoted(switchCase.name) + " is not a value of " + chooser->name +
                          (enumeration ? " (" + enumeration->name + ")" : std::string(" (a number)")));
    return chooser == nullptr;
  }
  return true;
}

void Reader::ReadWord(const Map& node, std::vector<Field>& fields, std::size_t& offset, int caseIndex,
                      LayoutNotes& notes) {
  CheckKeys(node, {"type", "bits"}, "a word with bit fields");
  Field word;
  word.offset = offset;
  if (Require(node, "type", "a word with bit fields")) {
    const auto type = Text(node, "type");
    const auto wire = type ? words::FromText(words::wireTypes, *type) : std::nullopt;
    const WordShape shape = wire ? ShapeOf(*wire) : WordShape{};
    if (type && (shape.bytes == 0 || shape.isSigned))
      Add(node["type"].Mark(),
          "a word with bit fields is u8, u16le, u16be, u32le or u32be, not " + Quoted(*type));
    else if (wire)
      word.type = *wire;
  }
  word.size = ShapeOf(word.type).bytes;
  offset += word.size;
  const YAML::Node bits = node["bits"];
  if (!ExpectListAt(node, "bits")) return;
  if (bits.size() == 0) return Add(bits.Mark(), "a word with bit fields has at least one bit field");
  std::uint64_t taken = 0;
  for (const auto& entry : bits) {
    if (OverBudget()) break;
    const Map bitField(entry);
    if (!ExpectMap(bitField, "a bit field")) continue;
    auto field = ReadField(bitField, &word, caseIndex, notes);
    if (!field || field->bitCount == 0) continue;
    const std::uint64_t mask = ((std::uint64_t{1} << field->bitCount) - 1) << field->bitLow;
    if ((taken & mask) != 0) Add(entry.Mark(), "the bits of " + Quoted(field->name) + " overlap another field's");
    taken |= mask;
    fields.push_back(std::move(*field));
  }
}

std::optional<Field> Reader::ReadField(const Map& node, const Field* word, int caseIndex, LayoutNotes& notes) {
  if (++fieldsRead_ > kMaxFields) {
    if (fieldsRead_ == kMaxFields + 1) Add(node.Mark(), "more than " + std::to_string(kMaxFields) + " fields in the file");
    return std::nullopt;
  }
  const std::string_view what = word ? "a bit field" : "a field";
  if (word)
    CheckKeys(node, {"name", "label", "type", "bit", "bits", "range", "default", "text", "out-of-range", "required", "values",
                     "special", "sign", "set-if", "role", "failure", "unit", "scale", "offset", "decimals", "help"}, what);
  else
    CheckKeys(node, {"name", "label", "type", "range", "default", "text", "out-of-range", "required", "values", "special",
                     "sign", "set-if", "role", "failure", "unit", "scale", "offset", "decimals", "help"}, what);
  Field field;
  field.line = node.Mark().line + 1;
  field.column = node.Mark().column + 1;
  bool complete = Require(node, "name", what);
  field.name = Text(node, "name").value_or("");
  if (complete) notes.names.push_back({field.name, node["name"].Mark(), caseIndex});
  if (const std::string problem = FieldNameProblem(field.name, notes.isResponse); complete && !problem.empty())
    Add(node.MarkOf("name"), problem);
  field.label = Text(node, "label").value_or(field.name);
  complete = (word ? ReadBits(node, *word, field) : ReadType(node, field)) && complete;
  field.text = WordAt(node, "text", words::textRules, "text rule").value_or(TextRule::Decimal);
  field.outOfRange = WordAt(node, "out-of-range", words::outOfRanges, "out-of-range rule").value_or(OutOfRange::Refuse);
  field.required = Flag(node, "required").value_or(false);
  field.unit = Text(node, "unit").value_or("");
  field.help = Text(node, "help").value_or("");
  field.min = field.type == WireType::I8 ? 0 : FitMin(field);  // an i8's sign is often a check box of its own
  field.max = FitMax(field);
  ReadScale(node, field);
  ReadValues(node, field);
  ReadRange(node, field);
  ReadDefault(node, field);
  ReadStatus(node, field, notes);
  ReadReferences(node, field, notes);
  if (!complete) return std::nullopt;
  return field;
}

bool Reader::ReadType(const Map& node, Field& field) {
  if (!Require(node, "type", "field " + Quoted(field.name))) return false;
  const auto type = Text(node, "type");
  if (!type) return false;
  const auto wire = words::FromText(words::wireTypes, *type);
  if (!wire || *wire == WireType::Pad) {
    Add(node["type"].Mark(),
        "unknown type " + Quoted(*type) + " (u8, i8, u16le, u16be, i16le, i16be, u32le, u32be, i32le, i32be or check)");
    return false;
  }
  field.type = *wire;
  field.size = ShapeOf(*wire).bytes;
  return true;
}

bool Reader::ReadBits(const Map& node, const Field& word, Field& field) {
  field.type = word.type;
  field.offset = word.offset;
  field.size = word.size;
  if (const auto type = Text(node, "type")) {
    if (*type == "check")
      field.type = WireType::Check;
    else
      Add(node["type"].Mark(), "a bit field's type is check or none, not " + Quoted(*type));
  }
  const int width = static_cast<int>(word.size * 8);
  const std::string wordName = "a " + std::string(words::Of(words::wireTypes, word.type).text) + " word (bits 0 to " +
                               std::to_string(width - 1) + ")";
  const bool hasBit = node["bit"].IsDefined(), hasBits = node["bits"].IsDefined();
  if (hasBit == hasBits) {
    Add(node.Mark(), "a bit field has either \"bit\" or \"bits\"");
    return false;
  }
  std::optional<std::int64_t> low, high;
  const YAML::Node at = hasBit ? node["bit"] : node["bits"];
  if (hasBit) {
    low = high = Number(at, "\"bit\"");
  } else if (!at.IsSequence() || at.size() != 2) {
    Add(at.Mark(), "\"bits\" must be [low, high]");
  } else {
    low = Number(at[0], "a bit");
    high = Number(at[1], "a bit");
  }
  if (!low || !high) return false;
  if (*low > *high) {
    Add(at.Mark(), "bits [" + std::to_string(*low) + ", " + std::to_string(*high) + "]: the low bit comes first");
    return false;
  }
  if (*low < 0 || *high >= width) {
    Add(at.Mark(), (hasBit ? "bit " + std::to_string(*low) : "bits [" + std::to_string(*low) + ", " +
                    std::to_string(*high) + "]") + " beyond " + wordName);
    return false;
  }
  field.bitLow = static_cast<int>(*low);
  field.bitCount = static_cast<int>(*high - *low + 1);
  return true;
}

void Reader::ReadValues(const Map& node, Field& field) {
  const auto name = Text(node, "values");
  if (!name) return;
  for (const auto& enumeration : board_.enumerations)
    if (enumeration->name == *name) field.values = enumeration;
  if (!field.values) return Add(node["values"].Mark(), "unknown enumeration " + Quoted(*name));
  if (field.values->values.empty()) return;
  const auto [low, high] = std::minmax_element(field.values->values.begin(), field.values->values.end(),
                                               [](const NamedValue& a, const NamedValue& b) { return a.value < b.value; });
  if (high->value > FitMax(field))
    Add(node["values"].Mark(), *name + "'s value " + high->name + " (" + std::to_string(high->value) + ") does not fit " +
                                   FitName(field));
  field.min = low->value;
  field.max = std::min<std::int64_t>(high->value, FitMax(field));
}

std::optional<double> Reader::Decimal(const YAML::Node& node, std::string_view what, int& decimals) {
  const auto value = node.IsScalar() ? link::ReadFieldDecimal(node.Scalar(), link::Reading::Exact) : std::nullopt;
  if (!value) {
    Add(node.Mark(), std::string(what) + " must be a number such as 0.1 or -40");
    return std::nullopt;
  }
  const std::size_t point = node.Scalar().find('.');
  if (point != std::string::npos) decimals = std::max(decimals, static_cast<int>(node.Scalar().size() - point - 1));
  return value;
}

void Reader::ReadScale(const Map& node, Field& field) {
  const YAML::Node scale = node["scale"], offset = node["offset"], decimals = node["decimals"];
  if (!scale && !offset) {
    if (decimals) Add(decimals.Mark(), "\"decimals\" belongs to a field with a scale or an offset");
    return;
  }
  const YAML::Mark mark = scale ? scale.Mark() : offset.Mark();
  if (field.IsCheck() || node["values"] || field.text != TextRule::Decimal)
    return Add(mark, "a scale or an offset belongs to a field of decimal numbers, not a check, hex, count or named value");
  int implied = 0;
  if (scale)
    if (const auto value = Decimal(scale, "\"scale\"", implied)) {
      if (*value > 0) field.scale = *value;
      else Add(mark, "\"scale\" must be above 0");
    }
  if (offset)
    if (const auto value = Decimal(offset, "\"offset\"", implied)) field.valueOffset = *value;
  field.decimals = implied;
  if (const auto places = NumberAt(node, "decimals")) {
    if (*places < 0 || *places > 9) Add(decimals.Mark(), "\"decimals\" is 0 to 9");
    else field.decimals = static_cast<int>(*places);
  }
}

// A scaled field's range is in the values a person reads; the raw values it holds
// are those whose value lies within it.
bool Reader::ReadScaledRange(const YAML::Node& range, Field& field) {
  int unused = 0;
  const auto min = Decimal(range[0], "a range's min", unused), max = Decimal(range[1], "a range's max", unused);
  if (!min || !max) return false;
  const std::string written = "range [" + range[0].Scalar() + ", " + range[1].Scalar() + "]";
  if (*min > *max) return Add(range.Mark(), written + ": min is above max"), false;
  constexpr double kSlack = 1e-9;  // 21.5 / 0.1 is 214.99999999999997
  const double low = std::ceil((*min - field.valueOffset) / field.scale - kSlack);
  const double high = std::floor((*max - field.valueOffset) / field.scale + kSlack);
  if (low < static_cast<double>(FitMin(field)) || high > static_cast<double>(FitMax(field)) || low > high) {
    Field whole = field;
    whole.min = FitMin(field), whole.max = FitMax(field);
    return Add(range.Mark(), written + " does not fit " + FitName(field) + " (" + RangeText(whole) + ")"), false;
  }
  field.min = static_cast<std::int64_t>(low);
  field.max = static_cast<std::int64_t>(high);
  return true;
}

void Reader::ReadRange(const Map& node, Field& field) {
  const YAML::Node range = node["range"];
  if (!range) return;
  if (!range.IsSequence() || range.size() != 2) return Add(range.Mark(), "\"range\" must be [min, max]");
  if (field.IsScaled()) {
    ReadScaledRange(range, field);
    return;
  }
  const auto min = Number(range[0], "a range's min"), max = Number(range[1], "a range's max");
  if (!min || !max) return;
  if (*min > *max)
    return Add(range.Mark(), "range [" + std::to_string(*min) + ", " + std::to_string(*max) + "]: min is above max");
  if (*min < FitMin(field) || *max > FitMax(field))
    return Add(range.Mark(), "range [" + std::to_string(*min) + ", " + std::to_string(*max) + "] does not fit " +
                                 FitName(field) + " (" + std::to_string(FitMin(field)) + " to " +
                                 std::to_string(FitMax(field)) + ")");
  field.min = *min;
  field.max = *max;
}

void Reader::ReadDefault(const Map& node, Field& field) {
  const auto text = Text(node, "default");
  if (!text) {
    if (field.IsCheck()) field.defaultText = "0";
    return;
  }
  const YAML::Mark mark = node["default"].Mark();
  if (field.values) {
    const NamedValue* named = field.values->FindNamed(*text);
    if (named == nullptr)
      return Add(mark, "default " + Quoted(*text) + " is not a value of " + field.values->name + " (" +
                           ValueNames(*field.values) + ")");
    field.defaultText = named->name;
  } else if (field.IsCheck()) {
    if (*text != "0" && *text != "1" && *text != "false" && *text != "true")
      return Add(mark, "the default of a check field is 0 or 1, not " + Quoted(*text));
    field.defaultText = *text == "1" || *text == "true" ? "1" : "0";
  } else if (field.IsScaled()) {
    if (!link::ReadFieldDecimal(*text, link::Reading::Exact))
      return Add(mark, "default " + Quoted(*text) + " is not a decimal number");
    if (!ReadNumber(field, *text, link::Reading::Exact))
      return Add(mark, "default " + *text + " is outside the range " + RangeText(field));
    field.defaultText = *text;
  } else {
    const auto value = link::ReadFieldNumber(*text, FormOf(field), link::Reading::Exact);
    if (!value)
      return Add(mark, "default " + Quoted(*text) + " is not a " + std::string(words::Of(words::textRules, field.text).text) +
                           " number");
    if (*value < field.min || *value > field.max)
      return Add(mark, "default " + *text + " is outside the range " + std::to_string(field.min) + " to " +
                           std::to_string(field.max));
    field.defaultText = *text;
  }
}

void Reader::ReadStatus(const Map& node, Field& field, LayoutNotes& notes) {
  if (const auto role = Text(node, "role")) {
    if (*role != "status") return Add(node["role"].Mark(), "unknown role " + Quoted(*role) + " (status)");
    field.isStatus = true;
    if (field.type != WireType::U8 || field.bitCount != 0) Add(node["role"].Mark(), "a status field is a whole u8");
    if (!notes.statusName.empty())
      Add(node["role"].Mark(), "a second status field (" + notes.statusName + " is one already)");
    else
      notes.statusName = field.name, notes.statusMark = node["role"].Mark();
  }
  const YAML::Node failure = node["failure"];
  if (!failure) return;
  if (!field.isStatus) return Add(failure.Mark(), "\"failure\" belongs to a field with role: status");
  if (!ExpectListAt(node, "failure")) return;
  for (const auto& value : failure)
    if (const auto number = Number(value, "a failure value")) {
      if (*number < 0 || *number > 0xFF)
        Add(value.Mark(), "a failure value is 0 to 255");
      else
        field.failure.push_back(static_cast<std::uint32_t>(*number));
    }
}

void Reader::ReadReferences(const Map& node, Field& field, LayoutNotes& notes) {
  if (const Map special(node["special"]); node["special"] && ExpectMapAt(node, "special")) {
    CheckKeys(special, {"when", "value"}, "\"special\"");
    Require(special, "when", "\"special\"");
    Require(special, "value", "\"special\"");
    if (const auto when = Text(special, "when")) {
      field.specialWhen = *when;
      notes.references.push_back({*when, special["when"].Mark(), "special.when", true});
    }
    if (const auto value = NumberAt(special, "value")) {
      const std::int64_t fit = field.IsSigned() ? WidthMax(static_cast<int>(field.size * 8))
                               : field.bitCount > 0 ? WidthMax(field.bitCount) : FitMax(field);
      if (*value < 0 || *value > fit)
        Add(special["value"].Mark(), "special value " + Hex(*value) + " does not fit " + FitName(field));
      else
        field.specialValue = static_cast<std::uint32_t>(*value);
    }
  }
  if (const auto sign = Text(node, "sign")) {
    field.signFrom = *sign;
    notes.references.push_back({*sign, node["sign"].Mark(), "sign", true});
  }
  if (const auto setIf = Text(node, "set-if")) {
    field.setIf = *setIf;
    notes.references.push_back({*setIf, node["set-if"].Mark(), "set-if", false});
  }
}

void Reader::CheckLayout(const Layout& layout, const LayoutNotes& notes, bool isResponse, std::string_view what) {
  std::map<std::string, std::vector<const NameUse*>, std::less<>> seen;
  for (const auto& use : notes.names) {
    auto& earlier = seen[use.name];
    for (const NameUse* other : earlier)
      if (other->caseIndex == -1 || use.caseIndex == -1 || other->caseIndex == use.caseIndex) {
        Add(use.mark, "field " + Quoted(use.name) + " is named twice in " + std::string(what) + " (first on line " +
                          std::to_string(other->mark.line + 1) + ")");
        break;
      }
    earlier.push_back(&use);
  }
  for (const auto& reference : notes.references) {
    const Field* field = FindIn(layout, reference.name);
    if (field == nullptr || (reference.mustBeCheck && !field->IsCheck()))
      Add(reference.mark, Quoted(reference.key) + " names " + Quoted(reference.name) + ", which is no " +
                              (reference.mustBeCheck ? "check field" : "field") + " of " + std::string(what));
  }
  if (!isResponse && !notes.statusName.empty()) Add(notes.statusMark, "a status field belongs in the response");
  std::size_t largest = layout.size;
  for (const auto& switchCase : layout.cases) largest = std::max(largest, switchCase.size);
  if (largest + kFrameOverhead > kMaxFrame)
    Add(notes.listMark, std::string(what) + "'s frame is " + std::to_string(largest + kFrameOverhead) +
                            " bytes, more than " + std::to_string(kMaxFrame) + " (at most " +
                            std::to_string(kMaxFrame - kFrameOverhead) + " data bytes)");
}

// Every text of the file, keys as well, may reach a terminal: no control
// characters, only UTF-8. Each node is walked once, however many aliases name it.
void Reader::CheckTexts(const YAML::Node& root) {
  std::set<std::pair<int, int>> walked;  // by place in the file and type
  std::vector<YAML::Node> pending{root};
  while (!pending.empty()) {
    const YAML::Node node = pending.back();
    pending.pop_back();
    if (!walked.emplace(node.Mark().pos, node.Type()).second) continue;
    if (node.IsScalar()) {
      if (const std::string problem = TextProblem(node.Scalar()); !problem.empty())
        Add(node.Mark(), "the text " + Quoted(node.Scalar()) + " " + problem);
    } else if (node.IsSequence()) {
      for (const auto& item : node) pending.push_back(item);
    } else if (node.IsMap()) {
      for (const auto& entry : node) pending.insert(pending.end(), {entry.first, entry.second});
    }
  }
}

bool Reader::AnyRequestHas(std::string_view name) const {
  return std::any_of(board_.commands.begin(), board_.commands.end(),
                     [name](const Command& command) { return FindIn(command.request, name) != nullptr; });
}

// The fields an action reads or sets by name (board.h, action_fields) are there.
void Reader::CheckActionNeeds(const Command& command, const YAML::Mark& mark) {
  using action_fields::Where;
  const std::string action = Quoted(words::Of(words::actions, command.action).text);
  for (const action_fields::ActionNeed& need : action_fields::kActionNeeds) {
    if (need.action != command.action) continue;
    const std::string name = Quoted(need.field);
    const Field* own = FindIn(command.request, need.field);
    if (need.where == Where::AnyRequest && !AnyRequestHas(need.field))
      Add(mark, "action " + action + " needs a request field " + name + " in some command (" + std::string(need.why) + ")");
    else if (need.where != Where::AnyRequest && own == nullptr)
      Add(mark, "action " + action + " needs a request field " + name + " in " + command.name);
    else if (need.where == Where::FirstByte &&
             (own->offset != 0 || own->size != 1 || own->bitCount != 0 || own->IsCheck()))
      Add(mark, "action " + action + " reads " + name + " as the request's first byte: a whole u8 first");
  }
  if (command.action != Action::DcStatus) return;
  for (const Field* motor : command.response.AllFields())
    for (const std::string_view suffix : action_fields::kDcStatusSuffixes)
      if (!AnyRequestHas(motor->name + std::string(suffix)))
        Add(mark, "action " + action + " needs a request field " + Quoted(motor->name + std::string(suffix)) +
                      " in some command (reply field " + Quoted(motor->name) + " shows it)");
}

void Reader::CheckBoard(std::vector<CommandMarks>& marks) {
  for (std::size_t i = 0; i < board_.commands.size(); ++i) CheckActionNeeds(board_.commands[i], marks[i].action);
  for (std::size_t i = 0; i < board_.commands.size(); ++i)
    for (std::size_t j = 0; j < i; ++j) {
      const Command &command = board_.commands[i], &other = board_.commands[j];
      if (command.code == other.code && marks[i].codeValid && marks[j].codeValid)
        Add(marks[i].code, "code " + Hex(command.code) + " is " + other.name + "'s already (line " +
                               std::to_string(other.line) + ")");
      if (Lower(command.name) == Lower(other.name))
        Add(marks[i].name, "command name " + Quoted(command.name) + " is taken (line " + std::to_string(other.line) + ")");
    }
  for (std::size_t i = 0; i < board_.commands.size(); ++i) {
    if (!marks[i].requirement) continue;
    const Requirement& requirement = *marks[i].requirement;
    const Field* field = nullptr;
    for (const auto& command : board_.commands)
      if (field == nullptr) field = FindIn(command.request, requirement.field);
    for (const auto& command : board_.commands)
      if (field == nullptr) field = FindIn(command.response, requirement.field);
    if (field == nullptr) {
      Add(requirement.fieldMark, "\"requires\" names " + Quoted(requirement.field) + ", which is no field of any command");
      continue;
    }
    const NamedValue* named = field->values ? field->values->FindNamed(requirement.value) : nullptr;
    const auto number = ParseInteger(requirement.value);
    if (named == nullptr && (!number || *number < 0 || *number > field->max)) {
      Add(requirement.valueMark, Quoted(requirement.value) + " is not a value of " + field->name +
                                     (field->values ? " (" + ValueNames(*field->values) + ")" : std::string()));
      continue;
    }
    board_.commands[i].requiresField = field->name;
    board_.commands[i].requiresValue = named ? named->value : static_cast<std::uint32_t>(*number);
  }
}

// Where the second document of text starts, if it has one.
class DocumentStarts : public YAML::EventHandler {
 public:
  std::vector<YAML::Mark> starts;
  void OnDocumentStart(const YAML::Mark& mark) override { starts.push_back(mark); }
  void OnDocumentEnd() override {}
  void OnNull(const YAML::Mark&, YAML::anchor_t) override {}
  void OnAlias(const YAML::Mark&, YAML::anchor_t) override {}
  void OnScalar(const YAML::Mark&, const std::string&, YAML::anchor_t, const std::string&) override {}
  void OnSequenceStart(const YAML::Mark&, const std::string&, YAML::anchor_t, YAML::EmitterStyle::value) override {}
  void OnSequenceEnd() override {}
  void OnMapStart(const YAML::Mark&, const std::string&, YAML::anchor_t, YAML::EmitterStyle::value) override {}
  void OnMapEnd() override {}
};

}  // namespace

YAML::Node LoadOneDocument(const std::string& text) {
  // Not YAML::LoadAll: after a stray ',' it reads empty documents without end,
  // each kept, until memory runs out.
  std::istringstream in(text);
  YAML::Parser parser(in);
  DocumentStarts handler;
  int documents = 0;
  while (documents < 2 && parser.HandleNextDocument(handler)) ++documents;
  if (documents < 2) return YAML::Load(text);
  if (handler.starts.size() > 1) throw YAML::ParserException(handler.starts[1], "a second YAML document: a file holds one");
  throw YAML::ParserException(YAML::Mark(), "text that is no YAML document follows the document");
}

LoadResult LoadBoardText(std::string_view text, const std::string& sourceName) {
  try {
    return Reader(sourceName).Read(text);
  } catch (const YAML::Exception& error) {
    return {std::nullopt, {sourceName + ":" + std::to_string(error.mark.line + 1) + ":" +
                           std::to_string(error.mark.column + 1) + ": " + error.msg}};
  } catch (const std::exception& error) {
    return {std::nullopt, {sourceName + ": " + error.what()}};
  }
}

}  // namespace tarnwick::board
