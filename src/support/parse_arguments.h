#pragma once
// One way for every program to end on its command line: --help and --version print
// and end with 0, an unknown option or a bad value prints why and ends with 2. The
// caller includes CLI11; the support library itself does not need it.

#include <optional>
#include <string>

#include "support/version.h"

namespace tarnwick {

constexpr int kExitBadArguments = 2;

// Names the program in its usage line (not the path it was started by) and adds
// --version.
template <class App>
void NameProgram(App& app, const std::string& program) {
  app.name(program);
  app.set_version_flag("--version", VersionText(program), "Print the version and end");
}

// The exit status when the program should end now; nothing when it should run.
// refuse answers a command line the parser turned down and returns its status.
template <class App, class Refuse>
std::optional<int> ParseArguments(App& app, int argc, char** argv, Refuse refuse) {
  try {
    app.parse(argc, argv);
    return std::nullopt;
  } catch (const CLI::Success& e) {  // --help, --version and the like: printed, done
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    return refuse(e);
  }
}

template <class App>
std::optional<int> ParseArguments(App& app, int argc, char** argv) {
  return ParseArguments(app, argc, argv, [&app](const CLI::ParseError& e) {
    app.exit(e);
    return kExitBadArguments;
  });
}

}  // namespace tarnwick
