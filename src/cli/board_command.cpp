#include "cli/board_command.h"

#include <iostream>
#include <nlohmann/json.hpp>
#include <string_view>

#include "board/board_file.h"
#include "board/board_words.h"
#include "board/exchange.h"
#include "link/hex_text.h"

namespace tarnwick::cli {
namespace {

std::optional<std::string> BoardFileGiven(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    const std::string_view word = argv[i];
    if (word == "--board" && i + 1 < argc) return std::string(argv[i + 1]);
    if (word.starts_with("--board=")) return std::string(word.substr(8));
  }
  return std::nullopt;
}

int Refuse(const std::vector<std::string>& problems, const OutputMode& mode) {
  if (mode.json) {
    nlohmann::ordered_json json;
    json["error"] = problems.empty() ? std::string("the board file was refused") : problems.front();
    json["problems"] = problems;
    json["exit_status"] = kExitInvalid;
    std::cout << JsonText(json);
  } else {
    for (const std::string& problem : problems) std::cerr << problem << "\n";
  }
  return kExitInvalid;
}

std::string FramingWord(const board::Board& described) {
  return std::string(board::words::Of(board::words::framings, described.framing.Check()).text);
}

void PrintTable(const board::Board& described, const OutputMode& mode) {
  if (mode.json) {
    nlohmann::ordered_json json;
    json["board"] = described.name;
    json["source"] = described.source.empty() ? nlohmann::ordered_json(nullptr) : nlohmann::ordered_json(described.source);
    json["framing"] = FramingWord(described);
    json["commands"] = nlohmann::ordered_json::array();
    for (const board::Command& command : described.commands) json["commands"].push_back(board::SummaryLine(command));
    json["exit_status"] = 0;
    std::cout << JsonText(json);
    return;
  }
  std::cout << described.name << " (" << (described.source.empty() ? "built in" : described.source) << "): "
            << described.commands.size() << " commands, framing " << FramingWord(described) << "\n";
  for (const board::Command& command : described.commands) std::cout << board::SummaryLine(command) << "\n";
}

using Json = nlohmann::ordered_json;

bool InASwitchCase(const board::Layout& layout, const board::Field& field) {
  for (const board::Field& fixed : layout.fields)
    if (fixed.name == field.name) return false;
  return true;
}

// The JSON schema of the "fields" object that replies of the board fill: a key
// per reply field, typed; a field a reply can leave empty may be null.
Json FieldsSchema(const board::Board& described) {
  Json properties;
  properties["address"] = {{"type", "integer"}, {"minimum", 0}, {"maximum", 255}};
  properties["baudrate"] = {{"type", "integer"}};
  for (const board::Command& command : described.commands)
    for (const board::Field* field : command.ResponseForm()) {
      if (!field->OnWire()) continue;
      const std::string type = field->IsCheck() ? "boolean" : field->values ? "string" : "integer";
      const bool mayBeEmpty = field->values || InASwitchCase(command.response, *field);
      properties[field->Key()] = mayBeEmpty ? Json{{"type", Json::array({type, "null"})}} : Json{{"type", type}};
    }
  return properties;
}

std::string RequestText(const board::Command& command) {
  std::string text;
  for (const board::Field* field : command.RequestForm())
    text += (text.empty() ? "" : ", ") + ("`--" + field->name + "`");
  return text.empty() ? "none" : text;
}

std::string ReplyText(const board::Command& command) {
  std::string text = command.reply == board::ReplyRule::Always ? "always read" : "read when flagged";
  if (command.Status()) text += "; status";
  for (const std::string& key : board::ReplyFieldKeys(command)) text += ", `" + key + "`";
  return text;
}

// The commands as a Markdown table: name, code, title, options, reply.
std::string CommandTable(const board::Board& described) {
  std::string table = "| Command | Code | Title | Options | Reply |\n|---|---|---|---|---|\n";
  for (const board::Command& command : described.commands)
    table += "| " + command.name + " | 0x" + link::FormatHexByte(command.code) + " | " + command.title + " | " +
             RequestText(command) + " | " + ReplyText(command) + " |\n";
  return table;
}

// The commands as the Markdown of a manual page section, a term per command
// (packaging/manual-page.lua makes the page).
std::string CommandSection(const board::Board& described) {
  const auto escaped = [](const std::string& text) {
    std::string markdown;
    for (const char c : text) {
      if (std::string_view("\\`*_[]<>@#|$~^").find(c) != std::string_view::npos) markdown += '\\';
      markdown += c;
    }
    return markdown;
  };
  std::string section = "# Commands\n\nEach command of the board in use (" + escaped(described.name) +
                        "): its options, and the keys of the fields its reply fills.\n\n";
  for (const board::Command& command : described.commands)
    section += "`" + Lowercase(command.name) + "`\n:   " + escaped(command.title) + ". Options: " +
               RequestText(command) + ". Reply: " + ReplyText(command) + ".\n\n";
  return section;
}

}  // namespace

std::optional<int> UseBoardFileGiven(int argc, char** argv, const OutputMode& mode) {
  const auto path = BoardFileGiven(argc, argv);
  if (!path) return std::nullopt;
  board::LoadResult loaded = board::LoadBoardFile(*path);
  if (!loaded.board) return Refuse(loaded.problems, mode);
  board::Use(std::move(*loaded.board));
  return std::nullopt;
}

void AddBoard(CLI::App& app, BoardCommandLine& board, bool withSubcommand) {
  app.add_option("--board", board.boardOption,
                 "Read the board's commands from FILE (docs/board-file.md) instead of the built-in motor driver's "
                 "(before or after the subcommand)")
      ->type_name("FILE");
  if (!withSubcommand) return;
  board.app = app.add_subcommand("board", "Check a board description file, or show the commands in use");
  board.app->require_subcommand(1, 1)->fallthrough();
  board.check = board.app->add_subcommand("check", "Check FILE: each problem as FILE:LINE:COLUMN, else a line a command");
  board.check->add_option("file", board.file, "The board description (YAML)")->required()->type_name("FILE");
  board.show = board.app->add_subcommand("show", "Show the commands in use (the built-in table, or --board's)");
  board.schema = board.app->add_subcommand("schema", "Print the JSON schema of the reply fields of the commands in use");
  board.table = board.app->add_subcommand("table", "Print the commands in use as a Markdown table");
  board.table->add_flag("--manual", board.manual, "As a manual page section")->group("");
  board.app->footer(Examples({"board check boards/motor-driver.yaml", "--board my-board.yaml board show"}));
}

int RunBoard(const BoardCommandLine& board, const OutputMode& mode) {
  if (board.schema->parsed()) {
    std::cout << JsonText(FieldsSchema(board::Current()));
    return 0;
  }
  if (board.table->parsed()) {
    std::cout << (board.manual ? CommandSection(board::Current()) : CommandTable(board::Current()));
    return 0;
  }
  if (board.show->parsed()) {
    PrintTable(board::Current(), mode);
    return 0;
  }
  const board::LoadResult loaded = board::LoadBoardFile(board.file);
  if (!loaded.board) return Refuse(loaded.problems, mode);
  PrintTable(*loaded.board, mode);
  return 0;
}

}  // namespace tarnwick::cli
