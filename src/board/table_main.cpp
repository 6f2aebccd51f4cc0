// tarnwick-board-table BOARD.yaml OUT.cpp: writes the C++ source of BuiltIn(), the
// board every program starts with, from a board file. Run when building; the
// programs then read no file to know their board.
#include <charconv>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "board/board_file.h"
#include "board/board_words.h"

namespace tarnwick::board {
namespace {

// A C++ string literal; octal escapes, which end after three digits, for the rest.
std::string Literal(std::string_view text) {
  std::string literal = "\"";
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      literal += '\\';
      literal += c;
    } else if (byte >= 0x20 && byte < 0x7F && c != '?') {
      literal += c;
    } else {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\%03o", byte);
      literal += escape;
    }
  }
  return literal + "\"";
}

// Designated initialisers of the members that differ from their defaults.
class Members {
 public:
  template <class T>
  void Add(const char* name, const T& value, const T& fallback, const std::string& code) {
    if (!(value == fallback)) parts_.push_back(std::string(".") + name + " = " + code);
  }
  std::string Braced(const std::string& type, const std::string& indent) const {
    std::string text = type + "{";
    for (std::size_t i = 0; i < parts_.size(); ++i) text += (i == 0 ? "" : ",\n" + indent) + parts_[i];
    return text + "}";
  }

 private:
  std::vector<std::string> parts_;
};

std::string EnumerationVariable(const Board& board, const Enumeration* enumeration) {
  for (std::size_t i = 0; i < board.enumerations.size(); ++i)
    if (board.enumerations[i].get() == enumeration) return "enumeration" + std::to_string(i);
  return "nullptr";
}

// The lowest 64-bit value has no literal of its own; none of a field's reaches it.
std::string Int64Literal(std::int64_t value) { return "std::int64_t{" + std::to_string(value) + "}"; }

// The shortest text that reads back as the same double.
std::string DoubleLiteral(double value) {
  char text[32];
  const std::string digits(text, std::to_chars(text, text + sizeof text, value).ptr);
  return digits.find_first_of(".e") == std::string::npos ? digits + ".0" : digits;
}

std::string FieldCode(const Board& board, const Field& field, const std::string& indent) {
  const Field none;
  Members m;
  m.Add("name", field.name, none.name, Literal(field.name));
  m.Add("label", field.label, none.label, Literal(field.label));
  m.Add("type", field.type, none.type, std::string(words::Of(words::wireTypes, field.type).code));
  m.Add("offset", field.offset, none.offset, std::to_string(field.offset));
  m.Add("size", field.size, none.size, std::to_string(field.size));
  m.Add("bitLow", field.bitLow, none.bitLow, std::to_string(field.bitLow));
  m.Add("bitCount", field.bitCount, none.bitCount, std::to_string(field.bitCount));
  m.Add("min", field.min, none.min, Int64Literal(field.min));
  m.Add("max", field.max, none.max, Int64Literal(field.max));
  m.Add("defaultText", field.defaultText, none.defaultText, Literal(field.defaultText));
  m.Add("text", field.text, none.text, std::string(words::Of(words::textRules, field.text).code));
  m.Add("outOfRange", field.outOfRange, none.outOfRange,
        std::string(words::Of(words::outOfRanges, field.outOfRange).code));
  m.Add("required", field.required, none.required, field.required ? "true" : "false");
  m.Add("values", field.values, none.values, EnumerationVariable(board, field.values.get()));
  m.Add("specialWhen", field.specialWhen, none.specialWhen, Literal(field.specialWhen));
  m.Add("specialValue", field.specialValue, none.specialValue, std::to_string(field.specialValue) + "u");
  m.Add("signFrom", field.signFrom, none.signFrom, Literal(field.signFrom));
  m.Add("setIf", field.setIf, none.setIf, Literal(field.setIf));
  m.Add("isStatus", field.isStatus, none.isStatus, field.isStatus ? "true" : "false");
  std::string failure = "{";
  for (const auto value : field.failure) failure += (failure.size() > 1 ? ", " : "") + std::to_string(value) + "u";
  m.Add("failure", field.failure, none.failure, failure + "}");
  m.Add("unit", field.unit, none.unit, Literal(field.unit));
  m.Add("scale", field.scale, none.scale, DoubleLiteral(field.scale));
  m.Add("valueOffset", field.valueOffset, none.valueOffset, DoubleLiteral(field.valueOffset));
  m.Add("decimals", field.decimals, none.decimals, std::to_string(field.decimals));
  m.Add("help", field.help, none.help, Literal(field.help));
  m.Add("line", field.line, none.line, std::to_string(field.line));
  m.Add("column", field.column, none.column, std::to_string(field.column));
  return m.Braced("Field", indent + " ");
}

std::string FieldsCode(const Board& board, const std::vector<Field>& fields, const std::string& indent) {
  std::string text = "{";
  for (std::size_t i = 0; i < fields.size(); ++i)
    text += (i == 0 ? "" : ",\n" + indent + " ") + FieldCode(board, fields[i], indent + "       ");
  return text + "}";
}

std::string LayoutCode(const Board& board, const Layout& layout, const std::string& indent) {
  const Layout none;
  Members m;
  m.Add("fields", layout.fields.size(), std::size_t{0}, FieldsCode(board, layout.fields, indent + "  "));
  m.Add("switchOn", layout.switchOn, none.switchOn, Literal(layout.switchOn));
  std::string cases = "{";
  for (const auto& switchCase : layout.cases) {
    Members c;
    c.Add("value", switchCase.value, std::uint32_t{0}, std::to_string(switchCase.value) + "u");
    c.Add("name", switchCase.name, std::string(), Literal(switchCase.name));
    c.Add("fields", switchCase.fields.size(), std::size_t{0}, FieldsCode(board, switchCase.fields, indent + "    "));
    c.Add("size", switchCase.size, std::size_t{0}, std::to_string(switchCase.size));
    cases += (cases.size() > 1 ? ",\n" + indent + "  " : "") + c.Braced("SwitchCase", indent + "    ");
  }
  m.Add("cases", layout.cases.size(), std::size_t{0}, cases + "}");
  m.Add("size", layout.size, none.size, std::to_string(layout.size));
  return m.Braced("Layout", indent + "  ");
}

std::string CommandCode(const Board& board, const Command& command) {
  const Command none;
  const std::string indent = "        ";
  Members m;
  m.Add("name", command.name, none.name, Literal(command.name));
  char code[8];
  std::snprintf(code, sizeof code, "0x%02X", static_cast<unsigned>(command.code));
  m.Add("code", command.code, none.code, std::string(code));
  m.Add("title", command.title, none.title, Literal(command.title));
  m.Add("reply", command.reply, none.reply, std::string(words::Of(words::replyRules, command.reply).code));
  m.Add("flag", command.flag, none.flag, std::string(words::Of(words::flagRules, command.flag).code));
  m.Add("request", command.request.fields.size() + command.request.cases.size(), std::size_t{0},
        LayoutCode(board, command.request, indent));
  m.Add("response", command.response.fields.size() + command.response.cases.size(), std::size_t{0},
        LayoutCode(board, command.response, indent));
  std::string form = "{";
  for (const auto& name : command.form) form += (form.size() > 1 ? ", " : "") + Literal(name);
  m.Add("form", command.form, none.form, form + "}");
  m.Add("action", command.action, none.action, std::string(words::Of(words::actions, command.action).code));
  m.Add("requiresField", command.requiresField, none.requiresField, Literal(command.requiresField));
  m.Add("requiresValue", command.requiresValue, none.requiresValue, std::to_string(command.requiresValue) + "u");
  m.Add("example", command.example, none.example, Literal(command.example));
  m.Add("line", command.line, none.line, std::to_string(command.line));
  m.Add("column", command.column, none.column, std::to_string(command.column));
  return m.Braced("Command", indent);
}

std::string TableSource(const Board& board, const std::string& from) {
  std::ostringstream out;
  out << "// Written by tarnwick-board-table from " << from << " when building: change that file, not this one.\n"
      << "#include <memory>\n\n#include \"board/board.h\"\n\nnamespace tarnwick::board {\n\n"
      << "const Board& BuiltIn() {\n  static const Board board = [] {\n";
  for (std::size_t i = 0; i < board.enumerations.size(); ++i) {
    const auto& enumeration = *board.enumerations[i];
    out << "    const auto enumeration" << i << " = std::make_shared<const Enumeration>(Enumeration{"
        << Literal(enumeration.name) << ", {";
    for (std::size_t j = 0; j < enumeration.values.size(); ++j)
      out << (j == 0 ? "" : ", ") << "{" << Literal(enumeration.values[j].name) << ", " << enumeration.values[j].value
          << "u}";
    out << "}});\n";
  }
  out << "    Board built;\n    built.format = " << board.format << ";\n    built.name = " << Literal(board.name)
      << ";\n    built.framing = link::Framing(" << words::Of(words::framings, board.framing.Check()).code << ")"
      << ";\n    built.enumerations = {";
  for (std::size_t i = 0; i < board.enumerations.size(); ++i) out << (i == 0 ? "" : ", ") << "enumeration" << i;
  out << "};\n    built.commands.reserve(" << board.commands.size() << ");\n";
  for (const auto& command : board.commands)
    out << "    built.commands.push_back(" << CommandCode(board, command) << ");\n";
  for (const auto& use : board.liveTests) {
    std::string sends;
    for (const auto& name : use.sends) sends += (sends.empty() ? "" : ", ") + Literal(name);
    out << "    built.liveTests.push_back({" << words::Of(words::liveTests, use.test).code << ", {" << sends << "}});\n";
  }
  out << "    return built;\n  }();\n  return board;\n}\n\n}  // namespace tarnwick::board\n";
  return out.str();
}

}  // namespace
}  // namespace tarnwick::board

int main(int argc, char** argv) {
  if (argc != 3) {
    std::cerr << "usage: tarnwick-board-table BOARD.yaml OUT.cpp\n";
    return 2;
  }
  const auto loaded = tarnwick::board::LoadBoardFile(argv[1]);
  for (const auto& problem : loaded.problems) std::cerr << problem << '\n';
  if (!loaded.board) return 1;
  const std::string name = std::filesystem::path(argv[1]).filename().string();
  std::ofstream out(argv[2], std::ios::binary | std::ios::trunc);
  out << tarnwick::board::TableSource(*loaded.board, name);
  out.close();
  if (!out) {
    std::cerr << "tarnwick-board-table: cannot write " << argv[2] << '\n';
    return 1;
  }
  return 0;
}
