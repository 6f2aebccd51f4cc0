#include "board/board_file.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <yaml-cpp/yaml.h>


#include "board/board_words.h"
#include "testing/row_name.h"
#include "testing/temp_folder.h"

namespace tarnwick::board {
namespace {

// Rows that start with "- " are a command list, put under a board with one
// enumeration; the others are whole files.
std::string BoardText(const std::string& text) {
  if (text.rfind("- ", 0) != 0) return text;
  return "format: 1\nboard: x\nvalues: {mode: {Off: 0, On: 1}}\ncommands:\n" + text;
}

constexpr const char* kNoFieldName =
    "t.yaml:5:39: a field name is lower-case letters and digits in words joined by single hyphens, a letter first, at "
    "most 32 characters";

struct FaultCase {
  const char* name;
  const char* text;
  const char* problem;  // the first one reported
};

class BoardFileFaultTest : public ::testing::TestWithParam<FaultCase> {};

TEST_P(BoardFileFaultTest, NamesTheFaultWhereItIs) {
  const auto result = LoadBoardText(BoardText(GetParam().text), "t.yaml");
  EXPECT_FALSE(result.board.has_value());
  ASSERT_FALSE(result.problems.empty());
  EXPECT_EQ(result.problems.front(), GetParam().problem);
}

INSTANTIATE_TEST_SUITE_P(
    Faults, BoardFileFaultTest,
    ::testing::Values(
        FaultCase{"syntax", "format: 1\nboard: [x\n", "t.yaml:3:1: end of sequence flow not found"},
        FaultCase{"other format, nothing else read", "format: 2\nbogus: 1\n", "t.yaml:1:9: format 2 is not known (1 is)"},
        FaultCase{"unknown framing", "- {name: A, code: 1}\nframing: crc16",
                  "t.yaml:6:10: unknown framing \"crc16\" (sum16le or crc16-modbus)"},
        FaultCase{"unknown key", "- {name: A, code: 1, lable: x}", "t.yaml:5:22: unknown key \"lable\" in a command"},
        FaultCase{"key twice", "- {name: A, code: 1, name: B}", "t.yaml:5:22: \"name\" is given twice in a command"},
        FaultCase{"empty value shown at its key", "- name: A\n  code: 1\n  request:\n  title: a",
                  "t.yaml:7:3: \"request\" has no value"},
        FaultCase{"code not a number", "- {name: A, code: one}", "t.yaml:5:19: \"code\" must be a number"},
        FaultCase{"x after a digit other than 0", "- {name: A, code: 1x2}", "t.yaml:5:19: \"code\" must be a number"},
        FaultCase{"no name", "- {code: 1}", "t.yaml:5:3: a command has no \"name\""},
        FaultCase{"required value beyond the field's (its highest is one)",
                  "- {name: A, code: 1, request: [{name: f, type: u8}]}\n- {name: B, code: 2, requires: {f: 255}}\n"
                  "- {name: C, code: 3, requires: {f: 256}}",
                  "t.yaml:7:36: \"256\" is not a value of f"},
        FaultCase{"code twice", "- {name: A, code: 1}\n- {name: B, code: 0x01}",
                  "t.yaml:6:19: code 0x01 is A's already (line 5)"},
        FaultCase{"field of the fixed part again in a case",
                  "- {name: A, code: 1, response: [{name: m, type: u8, values: mode}, {switch: m, cases: {On: [{name: m, "
                  "type: u8}]}}]}",
                  "t.yaml:5:100: field \"m\" is named twice in the response (first on line 5)"},
        FaultCase{"range too wide", "- {name: A, code: 1, request: [{name: f, type: u8, range: [0, 300]}]}",
                  "t.yaml:5:59: range [0, 300] does not fit u8 (0 to 255)"},
        FaultCase{"signed range too wide", "- {name: A, code: 1, request: [{name: f, type: i16be, range: [-32769, 0]}]}",
                  "t.yaml:5:62: range [-32769, 0] does not fit i16be (-32768 to 32767)"},
        FaultCase{"scaled range beyond its raw word",
                  "- {name: A, code: 1, request: [{name: f, type: u8, scale: 0.5, range: [0, 200]}]}",
                  "t.yaml:5:71: range [0, 200] does not fit u8 (0.0 to 127.5)"},
        FaultCase{"scale not above 0", "- {name: A, code: 1, request: [{name: f, type: u8, scale: -0.5}]}",
                  "t.yaml:5:59: \"scale\" must be above 0"},
        FaultCase{"scale of a hex byte", "- {name: A, code: 1, request: [{name: f, type: u8, text: hex, scale: 2}]}",
                  "t.yaml:5:70: a scale or an offset belongs to a field of decimal numbers, not a check, hex, count or "
                  "named value"},
        FaultCase{"scaled default off the range",
                  "- {name: A, code: 1, request: [{name: f, type: u8, offset: 20.5, default: \"20\"}]}",
                  "t.yaml:5:75: default 20 is outside the range 20.5 to 275.5"},
        FaultCase{"default outside range",
                  "- {name: A, code: 1, request: [{name: f, type: u8, range: [1, 100], default: \"101\"}]}",
                  "t.yaml:5:78: default 101 is outside the range 1 to 100"},
        FaultCase{"bits overlap", "- {name: A, code: 1, request: [{type: u8, bits: [{name: f, bits: [0, 3]}, {name: g, bit: 3}]}]}",
                  "t.yaml:5:75: the bits of \"g\" overlap another field's"},
        FaultCase{"largest case too long",
                  "- {name: A, code: 1, response: [{name: m, type: u8, values: mode}, {switch: m, cases: {Off: [], On: ["
                  "{name: a, type: u32le}, {name: b, type: u32le}, {name: c, type: u32le}, {name: d, type: u32le}]}}]}",
                  "t.yaml:5:32: the response's frame is 22 bytes, more than 20 (at most 15 data bytes)"},
        FaultCase{"type", "- {name: A, code: 1, request: [{name: f, type: u24le}]}",
                  "t.yaml:5:48: unknown type \"u24le\" (u8, i8, u16le, u16be, i16le, i16be, u32le, u32be, i32le, i32be or check)"},
        FaultCase{"switch names nothing before it",
                  "- {name: A, code: 1, request: [{name: f, type: u8}, {switch: m, cases: {1: [{pad: 1}]}}]}",
                  "t.yaml:5:62: the switch names \"m\", which is no field before it"},
        FaultCase{"case not a value",
                  "- {name: A, code: 1, request: [{name: m, type: u8, values: mode}, {switch: m, cases: {Auto: []}}]}",
                  "t.yaml:5:87: case \"Auto\" is not a value of m (mode)"},
        FaultCase{"field hides --help", "- {name: A, code: 1, request: [{name: help, type: u8}]}",
                  "t.yaml:5:39: field name \"help\" would hide the command line's own --help"},
        FaultCase{"reply field named as a key the report fills", "- {name: A, code: 1, response: [{name: result, type: u8}]}",
                  "t.yaml:5:40: field name \"result\" is a key the reply's report fills itself"},
        FaultCase{"empty field name", "- {name: A, code: 1, request: [{name: '', type: u8}]}", kNoFieldName},
        FaultCase{"underscore: a JSON key shared", "- {name: A, code: 1, request: [{name: left_duty, type: u8}]}", kNoFieldName},
        FaultCase{"an option as a command name", "- {name: -h, code: 1}",
                  "t.yaml:5:10: a command name is letters and digits in words joined by single hyphens, a letter first, "
                  "at most 32 characters"},
        FaultCase{"line break in a title", "- {name: A, code: 1, title: \"CMD30\\nResult: Success\"}",
                  "t.yaml:5:29: the text \"CMD30\\x0AResult: Success\" holds the control character U+000A"},
        FaultCase{"DEL in a title", "- {name: A, code: 1, title: \"a\\x7Fb\"}",
                  "t.yaml:5:29: the text \"a\\x7Fb\" holds the control character U+007F"},
        FaultCase{"C1 control in the board's name", "format: 1\nboard: \"\\x85\"\ncommands: []\n",
                  "t.yaml:2:8: the text \"\\xC2\\x85\" holds the control character U+0085"},
        FaultCase{"bytes that are no UTF-8", "- {name: A, code: 1, title: \"\xC0\xAF\"}",
                  "t.yaml:5:29: the text \"\\xC0\\xAF\" is not UTF-8 (byte 1)"},
        FaultCase{"word without bit fields", "- {name: A, code: 1, request: [{type: u8, bits: []}]}",
                  "t.yaml:5:49: a word with bit fields has at least one bit field"},
        FaultCase{"second document", "format: 1\nboard: x\ncommands: []\n---\nformat: 1\n",
                  "t.yaml:4:1: a second YAML document: a file holds one"},
        // The parser's own reading of all documents never ends after a stray comma.
        FaultCase{"stray comma", ",", "t.yaml:1:1: a second YAML document: a file holds one"},
        FaultCase{"stop without the fields it clears", "- {name: A, code: 1, action: stop}",
                  "t.yaml:5:30: action \"stop\" needs a request field \"step-count\" in some command (it clears it)"},
        FaultCase{"change-address's byte not first",
                  "- {name: A, code: 1, action: change-address, request: [{pad: 1}, {name: new-address, type: u8}]}",
                  "t.yaml:5:30: action \"change-address\" reads \"new-address\" as the request's first byte: a whole u8 first"},
        FaultCase{"live test that is not known", "format: 1\nboard: x\ncommands: []\nlive-tests: {fan-test: []}",
                  "t.yaml:4:14: live test \"fan-test\" is not known (stepper-test or dc-test)"},
        FaultCase{"live test without a stop command",
                  "format: 1\nboard: x\ncommands: [{name: A, code: 1}]\nlive-tests: {dc-test: [A]}",
                  "t.yaml:4:14: live test \"dc-test\" needs a command whose action is \"stop\""},
        FaultCase{"two status fields",
                  "- {name: A, code: 1, response: [{name: s, type: u8, role: status}, {name: t, type: u8, role: status}]}",
                  "t.yaml:5:94: a second status field (s is one already)"}),
    tarnwick::testing::RowName{});

TEST(BoardFileFaultTest, ReportsEveryProblemInFileOrder) {
  const auto result = LoadBoardText(BoardText("- {name: A, code: 0x80, reply: never}\n- {name: B, code: 2, lable: x}"),
                                    "t.yaml");
  EXPECT_EQ(result.problems, (std::vector<std::string>{
                                 "t.yaml:5:19: code 0x80 is above 0x7F: bit 7 of the command byte is the reply flag",
                                 "t.yaml:5:32: unknown reply rule \"never\" (when-flagged or always)",
                                 "t.yaml:6:22: unknown key \"lable\" in a command"}));
}

TEST(BoardFileFaultTest, FilesThatCannotBeBoards) {
  const tarnwick::testing::TempFolder directory;
  const std::string large = directory.Write("large.yaml", std::string(kMaxBoardFileBytes + 1, '#'));
  const std::string fifo = directory.Path("fifo.yaml");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  for (const auto& [path, reason] : {std::pair{directory.Path(), "it is a directory, not a regular file"},
                                     {fifo, "it is a FIFO, not a regular file"}, {large, "larger than 224 KB"},
                                     {directory.Path("none"), "no such file"}})
    EXPECT_EQ(LoadBoardFile(path).problems, std::vector<std::string>{path + ": " + reason});
}

// Aliases that repeat one long text in every field would build a board of gigabytes.
TEST(BoardFileFaultTest, AliasedTextsHaveOneBudget) {
  std::string text = "format: 1\nboard: &long " + std::string(100000, 'x') + "\ncommands:\n  - {name: CMD00, code: 0, response: &r [";
  for (int field = 0; field < 30; ++field) text += "{name: f" + std::to_string(field) + ", type: u8, help: *long},";
  text += "]}\n";
  for (int code = 0x11; code < 0x30; ++code) text += "  - {name: CMD" + std::to_string(code) + ", code: " + std::to_string(code) + ", response: *r}\n";
  const auto problems = LoadBoardText(text, "t.yaml").problems;
  ASSERT_FALSE(problems.empty());
  EXPECT_NE(problems.front().find("the file's texts, each alias counted again, pass 1048576 bytes"), std::string::npos);
}

// One field of a read board: where it sits and what it holds. (The built-in board's
// fields, words and bits: the codec's known answers.)
TEST(BoardFileTest, PlacesEachFieldsOffsetBitsAndRange) {
  struct Row {
    const char *text, *field;
    int caseIndex;  // -1: before the switch
    std::size_t offset, size;
    int bitLow, bitCount;
    std::uint32_t min, max;
    const char* defaultText;
  };
  const Row rows[] = {
      // A bit without values is a check box.
      {"- {name: A, code: 1, request: [{type: u8, bits: [{name: f, bit: 7, default: true}]}]}", "f", -1, 0, 1, 7, 1,
       0, 1, "1"},
      // Named values give the range, the default named as declared.
      {"- {name: A, code: 1, request: [{type: u8, bits: [{name: f, bits: [4, 7], values: mode, default: on}]}]}", "f",
       -1, 0, 1, 4, 4, 0, 1, "On"},
      // A case after a pad.
      {"- {name: A, code: 1, request: [{name: m, type: u8, values: mode}, {pad: 2}, {switch: m, cases: {Off: [], On: "
       "[{pad: 1}, {name: f, type: u16le, text: hex, default: \"1F\"}]}}]}",
       "f", 1, 4, 2, 0, 0, 0, 65535, "1F"}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.text);
    const auto result = LoadBoardText(BoardText(row.text), "t.yaml");
    ASSERT_TRUE(result.board) << ::testing::PrintToString(result.problems);
    const Layout& layout = result.board->commands.front().request;
    const auto& fields = row.caseIndex < 0 ? layout.fields : layout.cases.at(static_cast<std::size_t>(row.caseIndex)).fields;
    const auto field = std::find_if(fields.begin(), fields.end(), [&](const Field& f) { return f.name == row.field; });
    ASSERT_NE(field, fields.end());
    EXPECT_EQ(std::tuple(field->offset, field->size, field->bitLow, field->bitCount, field->min, field->max),
              std::tuple(row.offset, row.size, row.bitLow, row.bitCount, row.min, row.max));
    EXPECT_EQ(field->defaultText, row.defaultText);
  }
}

// board show's line for a request whose cases differ in size names the least and the most.
TEST(BoardFileTest, ASummaryGivesTheSizesOfARequestsCases) {
  const auto result = LoadBoardText(BoardText("- {name: A, code: 1, request: [{name: m, type: u8, values: mode}, {switch: m, "
                                              "cases: {Off: [{name: a, type: u8}], On: [{name: b, type: u16le}]}}]}"),
                                    "t.yaml");
  ASSERT_TRUE(result.board) << ::testing::PrintToString(result.problems);
  EXPECT_NE(SummaryLine(result.board->commands.front()).find("  request 2 to 3 bytes: "), std::string::npos)
      << SummaryLine(result.board->commands.front());
}

// Compared member by member, whatever members the model has.
TEST(BoardFileTest, TheBuiltInBoardIsTheMotorDriverFile) {
  const auto result = LoadBoardFile(TARNWICK_BOARDS "/motor-driver.yaml");
  ASSERT_TRUE(result.board) << ::testing::PrintToString(result.problems);
  Board loaded = *result.board;
  loaded.source.clear();
  EXPECT_TRUE(loaded == BuiltIn()) << DumpBoard(loaded) << "\n" << DumpBoard(BuiltIn());
}

// Every scalar of a document, keys too, in document order: handles into it.
std::vector<YAML::Node> ScalarsOf(const YAML::Node& node) {
  if (node.IsScalar()) return {node};
  std::vector<YAML::Node> scalars;
  const auto add = [&](const YAML::Node& part) { std::ranges::copy(ScalarsOf(part), std::back_inserter(scalars)); };
  if (node.IsSequence())
    for (const YAML::Node& item : node) add(item);
  if (node.IsMap())
    for (const auto& entry : node) add(entry.first), add(entry.second);
  return scalars;
}

// What a value may become: a number one more, a text one letter longer, a word
// of the format any other word, a flag the other.
std::vector<std::string> ChangesOf(const std::string& text) {
  std::vector<std::string> changes{text + "x", text == "true" ? "false" : "true"};
  try {
    changes.push_back(std::to_string(std::stoll(text, nullptr, 0) + 1));
  } catch (const std::exception&) {
  }
  std::vector<std::string> formatWords;
  const auto addWords = [&](const auto& list) {
    for (const auto& word : list) formatWords.emplace_back(word.text);
  };
  addWords(words::wireTypes), addWords(words::textRules), addWords(words::outOfRanges), addWords(words::replyRules);
  addWords(words::flagRules), addWords(words::actions), addWords(words::liveTests), addWords(words::framings);
  if (std::find(formatWords.begin(), formatWords.end(), text) != formatWords.end())
    changes.insert(changes.end(), formatWords.begin(), formatWords.end());
  return changes;
}

std::optional<Board> LoadEmitted(const YAML::Node& document) {
  YAML::Emitter out;
  out << document;
  auto loaded = LoadBoardText(out.c_str(), "t.yaml").board;
  return loaded ? std::optional(WithoutPositions(*loaded)) : std::nullopt;
}

// Whatever value of a file changes the board read from it changes the board's
// dump: a member the dump leaves out fails here as soon as the file sets it.
TEST(BoardFileTest, EveryValueThatChangesTheBoardChangesItsDump) {
  const YAML::Node file = YAML::LoadFile(TARNWICK_EVERY_KEY);
  const auto original = LoadEmitted(file);
  ASSERT_TRUE(original);
  const std::string originalDump = DumpBoard(*original);
  const std::size_t scalarCount = ScalarsOf(file).size();
  std::size_t changedBoards = 0;
  for (std::size_t i = 0; i < scalarCount; ++i) {
    const std::string text = ScalarsOf(file)[i].Scalar();
    for (const std::string& change : ChangesOf(text)) {
      const YAML::Node copy = YAML::Clone(file);
      ScalarsOf(copy)[i] = change;
      const auto changed = LoadEmitted(copy);
      if (!changed || *changed == *original) continue;
      ++changedBoards;
      EXPECT_NE(DumpBoard(*changed), originalDump) << "scalar " << i << ": " << text << " became " << change;
    }
  }
  // Most changes of a name break a reference and are refused; many must still load.
  EXPECT_GT(changedBoards, scalarCount / 3);
}

}  // namespace
}  // namespace tarnwick::board
