#pragma once
// What a board file may call its commands and fields, and which texts it may hold:
// a name becomes an option (--left-duty), a subcommand (send cmd30) and a JSON key
// (left_duty), and every text may reach a terminal. docs/board-file.md states the rules.

#include <array>
#include <string>
#include <string_view>

namespace tarnwick::board {

inline constexpr std::size_t kMaxNameLength = 32;

// The options a command's field options stand beside: tarnwick-cli's own, those of
// 'send' and 'watch' (the commands' parents), and a sequence step's own keys. A
// field of one of these names would hide it.
inline constexpr std::array<std::string_view, 24> kReservedFieldNames = {
    "help", "version", "json", "log", "board", "bash-completion",                      // the program's
    "port", "baud", "rs485", "rs485-delay-before", "rs485-delay-after", "echo",       // the line's
    "addr", "no-res", "as-typed", "read-end", "raw",                                  // send's
    "interval", "count", "csv",                                                       // watch's
    "send", "wait", "repeat", "expect"};                                              // a step's keys
// The keys a reply's report fills itself (and a step's expect reads): no response field's.
inline constexpr std::array<std::string_view, 3> kReportKeys = {"address", "baudrate", "result"};

// Why name cannot be a field's, as a problem says it: "" when it can. inResponse:
// also not a key the report fills.
std::string FieldNameProblem(std::string_view name, bool inResponse);
// Why name cannot be a command's: "" when it can.
std::string CommandNameProblem(std::string_view name);
// Why text cannot be shown as it is (a control character, bytes that are not UTF-8): "" when it can.
std::string TextProblem(std::string_view text);

}  // namespace tarnwick::board
