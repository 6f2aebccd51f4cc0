#include "window/window_options.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <iostream>
#include <string_view>

#include "board/board.h"
#include "board/board_file.h"
#include "link/baud_rates.h"
#include "link/hex_text.h"
#include "link/network_port.h"
#include "pages/dialog_templates.h"
#include "support/parse_arguments.h"


namespace tarnwick::app {
namespace {

std::string ListedNames(const std::vector<link::PortEntry>& ports) {
  std::string names;
  for (const link::PortEntry& port : ports) names += (names.empty() ? "" : ", ") + port.name;
  return names.empty() ? "none is listed" : "listed: " + names;
}

// A port is given by its listed name or its device path, or is a network port
// (rfc2217://HOST:PORT), which names itself; the window selects by name.
std::optional<std::string> ListedPortName(const std::vector<link::PortEntry>& ports, const std::string& given) {
  for (const link::PortEntry& port : ports)
    if (port.name == given || port.path == given) return port.name;
  if (link::ParseNetworkPortName(given, nullptr)) return given;
  return std::nullopt;
}

std::string TabNameList() {
  std::string names;
  for (const std::string& name : TabNames(board::Current())) names += (names.empty() ? "" : ", ") + name;
  return names;
}

// Installs the description in path for the rest of the run; its problems when it
// is refused ("FILE:LINE:COLUMN: reason").
std::vector<std::string> UseBoardFile(const std::string& path) {
  board::LoadResult loaded = board::LoadBoardFile(path);
  if (!loaded.board) return loaded.problems.empty() ? std::vector<std::string>{path + ": refused"} : loaded.problems;
  board::Use(std::move(*loaded.board));
  return {};
}

}  // namespace

std::optional<int> TabNamed(const std::string& name) {
  const std::vector<std::string> names = TabNames(board::Current());
  for (std::size_t i = 0; i < names.size(); ++i)
    if (CLI::detail::to_lower(names[i]) == CLI::detail::to_lower(name)) return static_cast<int>(i);
  return std::nullopt;
}

std::vector<std::string> TabNames(const board::Board& board) {
  std::vector<std::string> names;
  for (const board::Command& command : board.commands) names.push_back(command.name);
  for (int tab : LiveTestTabs(board)) names.emplace_back(pages::kTabPages[static_cast<std::size_t>(tab)].text);
  return names;
}

std::vector<int> LiveTestTabs(const board::Board& board) {
  std::vector<int> tabs;
  if (board.FindLiveTest(board::LiveTest::Stepper)) tabs.push_back(pages::kTabStepperTest);
  if (board.FindLiveTest(board::LiveTest::Dc)) tabs.push_back(pages::kTabDcTest);
  return tabs;
}

std::variant<WindowOptions, int> ParseWindowOptions(int argc, char** argv, const std::vector<link::PortEntry>& ports) {
  CLI::App app{"Tarnwick: test a motor-driver board on an RS-485 line. Opens the window with the port,\n"
               "line speed, address and tab of the last session; the options below preset them."};
  NameProgram(app, "tarnwick");
  app.footer("Exit status: 0 the window was closed; 2 an unknown option, a bad value or no display\n"
             "(no window opens).\n"
             "Settings are kept in $XDG_CONFIG_HOME/tarnwick/tarnwick.conf (~/.config when unset);\n"
             "another --board's in board-NAME.conf beside it, NAME from the board's name.");
  std::string port, address, tab;
  int baud = 0;
  WindowOptions options;
  app.add_option("--port", port, "Select this port: a name from the port list (sim0, ttyUSB0), its device path, or a network port "
                 "(rfc2217://HOST:PORT, socket://HOST:PORT), which the list then remembers")
      ->check([&ports](const std::string& given) {
        return ListedPortName(ports, given) ? std::string() : "no port '" + given + "' (" + ListedNames(ports) + ")";
      });
  app.add_option("--baud", baud, "Select this line speed")
      ->check(CLI::IsMember(std::vector<int>(link::kBaudRates.begin(), link::kBaudRates.end())));
  app.add_option("--addr", address, std::string("Set Addr: to this device address: ") + link::kDeviceAddressForm)
      ->check([](const std::string& text) {
        return link::ParseDeviceAddress(text) ? std::string() : link::NotADeviceAddress(text);
      });
  std::string boardFile;
  app.add_option("--board", boardFile, "Test the board this description file describes (its commands make the tabs)");
  app.add_option("--tab", tab, "Show this tab: " + TabNameList() + ", or a command of --board's (in any case)");
  app.add_flag("--reset-settings", options.resetSettings,
               "Forget the remembered settings and start with the start values");
  std::string rs485, echo;
  int delayBefore = 0, delayAfter = 0;
  app.add_option("--rs485", rs485, "For the port it starts on: who turns the RS-485 line round")
      ->check(CLI::IsMember(link::DirectionControlNames()));
  app.add_option("--rs485-delay-before", delayBefore, "With --rs485 kernel: ms RTS is raised before sending")
      ->check(CLI::Range(0, link::kMaxDirectionDelayMs));
  app.add_option("--rs485-delay-after", delayAfter, "With --rs485 kernel: ms RTS stays raised after sending")
      ->check(CLI::Range(0, link::kMaxDirectionDelayMs));
  app.add_option("--echo", echo, "For the port it starts on: skip reads back the adapter's echo of each frame")
      ->check(CLI::IsMember(link::EchoHandlingNames()));
  if (const auto status = ParseArguments(app, argc, argv)) return *status;
  if (!boardFile.empty()) {
    const std::vector<std::string> problems = UseBoardFile(boardFile);
    for (const std::string& problem : problems) std::cerr << problem << '\n';
    if (!problems.empty()) return kExitBadArguments;
  }
  // Checked once the board is known, since its commands name the tabs.
  if (!tab.empty() && !TabNamed(tab)) {
    app.exit(CLI::ValidationError("--tab", "no tab '" + tab + "'; one of " + TabNameList()));
    return kExitBadArguments;
  }

  if (!rs485.empty()) options.rs485 = link::DirectionControlNamed(rs485);
  if (app.count("--rs485-delay-before")) options.rs485DelayBeforeMs = delayBefore;
  if (app.count("--rs485-delay-after")) options.rs485DelayAfterMs = delayAfter;
  if (!echo.empty()) options.echo = link::EchoHandlingNamed(echo);

  if (!port.empty()) options.portName = ListedPortName(ports, port);
  if (baud != 0) options.baudIndex = link::BaudIndexOf(baud);
  if (app.count("--addr")) options.address = address;
  if (!tab.empty()) options.tab = TabNamed(tab);
  return options;
}

std::optional<std::string> MissingDisplayMessage(const char* platform, const char* display,
                                                const char* waylandDisplay) {
  const auto set = [](const char* value) { return value && *value; };
  if (set(display) || set(waylandDisplay)) return std::nullopt;
  // A list such as "wayland;xcb" needs a display when every entry does.
  std::string_view platforms = set(platform) ? platform : "xcb";
  for (std::size_t start = 0; start <= platforms.size();) {
    const std::size_t end = std::min(platforms.find(';', start), platforms.size());
    const std::string_view name = platforms.substr(start, end - start);
    if (!name.starts_with("xcb") && !name.starts_with("wayland")) return std::nullopt;
    start = end + 1;
  }
  return "tarnwick: no display to open the window on (neither DISPLAY nor WAYLAND_DISPLAY is set); "
         "from a shell, use tarnwick-cli instead";
}

}  // namespace tarnwick::app
