#pragma once
// Bash completion for a CLI11 command line, written from the parser itself: its
// subcommands, their options (with those a subcommand takes from its parent) and
// the values of every option that accepts only a fixed set. So the completion
// never disagrees with what the parser accepts.

#include <CLI/CLI.hpp>
#include <ostream>

namespace tarnwick::cli {

// The help group of an option given instead of a subcommand (send --raw): the
// completion offers it beside the subcommands, not after one.
inline constexpr const char* kInsteadOfASubcommand = "Instead of a command";

// Writes a script that completes command for `complete -F`. --port completes from
// `command ports` (the names of the ports listed now), an option or argument of
// type FILE from the file names. Names are matched in any case (CMD1 as cmd1).
void WriteBashCompletion(const CLI::App& app, const std::string& command, std::ostream& out);

}  // namespace tarnwick::cli
