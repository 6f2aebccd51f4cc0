#include "board/board_file.h"

#include <cstdio>
#include <optional>
#include <sstream>

#include "board/board_words.h"
#include "board/codec.h"
#include "link/record_file.h"

namespace tarnwick::board {

#if TARNWICK_BOARD_FILES
LoadResult LoadBoardFile(const std::string& path) {
  std::string reason;
  const auto text = link::ReadWholeFile(path, kMaxBoardFileBytes, reason);
  if (!text) return {std::nullopt, {path + ": " + reason}};
  return LoadBoardText(*text, path);
}
#else
LoadResult LoadBoardFile(const std::string& path) { return {std::nullopt, {path + ": this build reads no board files"}}; }
LoadResult LoadBoardText(std::string_view, const std::string& sourceName) {
  return {std::nullopt, {sourceName + ": this build reads no board files"}};
}
#endif

namespace {

std::string Quoted(std::string_view text) {
  std::string quoted = "\"";
  for (const char c : text) {
    if (c == '"' || c == '\\') quoted += '\\';
    quoted += c;
  }
  return quoted + "\"";
}

std::string Hex(std::uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%02X", static_cast<unsigned>(value));
  return text;
}

void DumpField(std::ostringstream& out, const Field& field) {
  out << "    field " << field.name << ' ' << Quoted(field.label) << ' ' << words::Of(words::wireTypes, field.type).text
      << " offset " << field.offset << " size " << field.size << " bits " << field.bitLow << '+' << field.bitCount
      << " range " << field.min << ".." << field.max << " default " << Quoted(field.defaultText) << " text "
      << words::Of(words::textRules, field.text).text << " out-of-range "
      << words::Of(words::outOfRanges, field.outOfRange).text << " required " << field.required << " values "
      << (field.values ? field.values->name : "-") << " special " << field.specialWhen << '=' << field.specialValue
      << " sign " << field.signFrom << " set-if " << field.setIf << " status " << field.isStatus << " failure";
  for (const auto value : field.failure) out << ' ' << value;
  out << " unit " << Quoted(field.unit) << " scale " << field.scale << " offset " << field.valueOffset << " decimals "
      << field.decimals << " help " << Quoted(field.help) << " at " << field.line << ':' << field.column
      << '\n';
}

void DumpLayout(std::ostringstream& out, std::string_view what, const Layout& layout) {
  out << "  " << what << " size " << layout.size << " switch " << layout.switchOn << '\n';
  for (const auto& field : layout.fields) DumpField(out, field);
  for (const auto& switchCase : layout.cases) {
    out << "   case " << switchCase.name << '=' << switchCase.value << " size " << switchCase.size << '\n';
    for (const auto& field : switchCase.fields) DumpField(out, field);
  }
}

}  // namespace

std::string DumpBoard(const Board& board) {
  std::ostringstream out;
  out << "board " << Quoted(board.name) << " format " << board.format << " framing "
      << words::Of(words::framings, board.framing.Check()).text << " source " << Quoted(board.source) << '\n';
  for (const auto& enumeration : board.enumerations) {
    out << "enumeration " << enumeration->name << ':';
    for (const auto& value : enumeration->values) out << ' ' << Quoted(value.name) << '=' << value.value;
    out << '\n';
  }
  for (const auto& command : board.commands) {
    out << "command " << command.name << ' ' << Hex(command.code) << ' ' << Quoted(command.title) << " reply "
        << words::Of(words::replyRules, command.reply).text << " flag " << words::Of(words::flagRules, command.flag).text
        << " action " << words::Of(words::actions, command.action).text << " requires " << command.requiresField << '='
        << command.requiresValue << " form";
    for (const auto& name : command.form) out << ' ' << name;
    out << " example " << Quoted(command.example) << " at " << command.line << ':' << command.column << '\n';
    DumpLayout(out, "request", command.request);
    DumpLayout(out, "response", command.response);
  }
  for (const auto& use : board.liveTests) {
    out << "live-test " << words::Of(words::liveTests, use.test).text << " sends";
    for (const auto& name : use.sends) out << ' ' << name;
    out << '\n';
  }
  return out.str();
}

namespace {

// "step-count (u32le bits 0-30, 0..2147483647)", "left-mode (u8 bits 0-3: Stop, Forward, ...)"
std::string Describe(const Field& field) {
  std::string text = field.name + " (";
  if (field.IsCheck()) return text + "check)";
  text += words::Of(words::wireTypes, field.type).text;
  if (field.bitCount > 0)
    text += " bits " + std::to_string(field.bitLow) + "-" + std::to_string(field.bitLow + field.bitCount - 1);
  if (field.values) {
    text += ":";
    for (std::size_t i = 0; i < field.values->values.size(); ++i)
      text += (i == 0 ? " " : ", ") + field.values->values[i].name;
    return text + ")";
  }
  const std::string unit = field.unit.empty() ? "" : " " + field.unit;
  const std::string range = field.IsScaled() ? PhysicalText(field, field.min) + ".." + PhysicalText(field, field.max)
                                             : std::to_string(field.min) + ".." + std::to_string(field.max);
  return text + (field.bitCount > 0 ? ", " : " ") + range + (field.IsScaled() ? unit : "") + ")";
}

std::string NamesOf(const std::vector<Field>& fields, bool described) {
  std::string text;
  for (const auto& field : fields) {
    if (field.type == WireType::Pad) continue;
    text += (text.empty() ? "" : ", ") + (described ? Describe(field) : field.name);
  }
  return text;
}

std::string LayoutSummary(const Layout& layout, bool described) {
  std::string text = NamesOf(layout.fields, described);
  if (layout.switchOn.empty()) return text;
  text += "; by " + layout.switchOn + ":";
  for (const auto& switchCase : layout.cases) {
    const std::string names = NamesOf(switchCase.fields, described);
    text += " " + switchCase.name + " [" + std::to_string(switchCase.size) + (switchCase.size == 1 ? " byte" : " bytes") +
            (names.empty() ? "" : ": " + names) + "]";
  }
  return text;
}

std::string Bytes(const Layout& layout) {
  std::size_t least = layout.size, most = layout.size;
  for (std::size_t i = 0; i < layout.cases.size(); ++i) {
    least = i == 0 ? layout.cases[i].size : std::min(least, layout.cases[i].size);
    most = std::max(most, layout.cases[i].size);
  }
  return (least == most ? std::to_string(most) : std::to_string(least) + " to " + std::to_string(most)) +
         (most == 1 ? " byte" : " bytes");
}

}  // namespace

std::string SummaryLine(const Command& command) {
  std::string line = command.name + "  " + Hex(command.code) + "  " + command.title + "  ";
  if (command.request.fields.empty() && command.request.cases.empty())
    line += "no request data";
  else
    line += "request " + Bytes(command.request) + ": " + LayoutSummary(command.request, true);
  line += command.reply == ReplyRule::Always ? "  reply always: " : "  reply when flagged: ";
  const bool noReplyData = command.response.fields.empty() && command.response.cases.empty();
  return line + (noReplyData ? "no data" : LayoutSummary(command.response, false));
}

}  // namespace tarnwick::board
