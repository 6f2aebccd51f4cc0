#include "cli/bash_completion.h"

#include <string>
#include <vector>

namespace tarnwick::cli {
namespace {

struct Node {
  std::string path;  // subcommand names from the top, separated by spaces; "" for the top
  const CLI::App* app;
};

std::string Joined(const std::vector<std::string>& words) {
  std::string text;
  for (const std::string& word : words) text += (text.empty() ? "" : " ") + word;
  return text;
}

// A fixed set shows in an option's type name, as "TEXT:{stop,forward}".
std::vector<std::string> Choices(const CLI::Option& option) {
  const std::string type = option.get_type_name();
  const auto open = type.find('{');
  const auto close = type.rfind('}');
  if (open == std::string::npos || close == std::string::npos || close < open) return {};
  std::vector<std::string> choices;
  std::string list = type.substr(open + 1, close - open - 1);
  for (std::size_t start = 0, comma; start <= list.size(); start = comma + 1) {
    comma = list.find(',', start);
    if (comma == std::string::npos) comma = list.size();
    if (comma > start) choices.push_back(list.substr(start, comma - start));
  }
  return choices;
}

// What follows an option that takes a value: the ports listed now, file names,
// the option's fixed set, or nothing for a free value rather than the options.
std::string ValueCompletion(const CLI::Option& option, const std::string& command) {
  if (option.get_lnames().front() == "port") return "words=\"$(" + command + " ports 2>/dev/null | cut -f1)\"";
  if (option.get_type_name() == "FILE") return "COMPREPLY=($(compgen -f -- \"$cur\")); return 0";
  const std::vector<std::string> choices = Choices(option);
  return choices.empty() ? "return 0" : "words=\"" + Joined(choices) + "\"";
}

std::vector<const CLI::Option*> OptionsOf(const CLI::App& app) {
  std::vector<const CLI::Option*> options = app.get_options([](const CLI::Option* o) {
    return !o->get_group().empty() && !o->get_lnames().empty();
  });
  // A fallthrough subcommand also takes its parent's options, --help and those
  // given instead of a subcommand aside.
  if (app.get_fallthrough() && app.get_parent()) {
    for (const CLI::Option* o : OptionsOf(*app.get_parent()))
      if (o != app.get_parent()->get_help_ptr() && o->get_group() != kInsteadOfASubcommand) options.push_back(o);
  }
  return options;
}

// An argument without a dash that names a file (run SEQUENCE, board check FILE).
bool TakesAFile(const CLI::App& app) {
  const auto files = app.get_options([](const CLI::Option* o) {
    return o->get_lnames().empty() && o->get_type_name() == "FILE";
  });
  return !files.empty();
}

void Collect(const CLI::App& app, const std::string& path, std::vector<Node>& nodes) {
  nodes.push_back({path, &app});
  for (const CLI::App* sub : app.get_subcommands([](const CLI::App*) { return true; }))
    Collect(*sub, path.empty() ? sub->get_name() : path + " " + sub->get_name(), nodes);
}

}  // namespace

void WriteBashCompletion(const CLI::App& app, const std::string& command, std::ostream& out) {
  std::vector<Node> nodes;
  Collect(app, "", nodes);
  std::string function = "_" + command;
  for (char& c : function)
    if (c == '-') c = '_';

  out << "# bash completion for " << command << "; written by " << command << " itself.\n"
      << function << "() {\n"
      << "  local cur=\"${COMP_WORDS[COMP_CWORD]}\" prev=\"${COMP_WORDS[COMP_CWORD-1]}\" path=\"\" word i\n"
      << "  for ((i = 1; i < COMP_CWORD; i++)); do\n"
      << "    word=\"${COMP_WORDS[i],,}\"\n"
      << "    case \"$path|$word\" in\n";
  for (const Node& node : nodes) {
    for (const CLI::App* sub : node.app->get_subcommands([](const CLI::App*) { return true; }))
      out << "      \"" << node.path << "|" << sub->get_name() << "\") path=\"${path:+$path }$word\" ;;\n";
  }
  out << "    esac\n"
      << "  done\n"
      << "  local words=\"\"\n"
      << "  case \"$path|$prev\" in\n";
  for (const Node& node : nodes) {
    for (const CLI::Option* option : OptionsOf(*node.app)) {
      if (option->get_expected_max() == 0) continue;  // a flag takes no value
      const std::string key = "\"" + node.path + "|--" + option->get_lnames().front() + "\"";
      out << "    " << key << ") " << ValueCompletion(*option, command) << " ;;\n";
    }
  }
  for (const Node& node : nodes) {
    std::vector<std::string> words;
    for (const CLI::App* sub : node.app->get_subcommands([](const CLI::App*) { return true; }))
      words.push_back(sub->get_name());
    for (const CLI::Option* option : OptionsOf(*node.app)) words.push_back("--" + option->get_lnames().front());
    out << "    \"" << node.path << "|\"*) words=\"" << Joined(words) << "\"";
    if (TakesAFile(*node.app)) out << "; [[ $cur == -* ]] || { COMPREPLY=($(compgen -f -- \"$cur\")); return 0; }";
    out << " ;;\n";
  }
  out << "  esac\n"
      << "  COMPREPLY=($(compgen -W \"$words\" -- \"$cur\"))\n"
      << "  ((${#COMPREPLY[@]})) || COMPREPLY=($(compgen -W \"$words\" -- \"${cur,,}\"))\n"
      << "}\n"
      << "complete -F " << function << " " << command << "\n";
}

}  // namespace tarnwick::cli
