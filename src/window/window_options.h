#pragma once
// tarnwick's own command line: the board description to use, presets for the
// window's port, line speed, address and tab, and forgetting the remembered
// settings. Read before the window exists, so --help, --version and a bad value
// never need a display.

#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "board/board.h"
#include "link/line_control.h"
#include "link/port_list.h"

namespace tarnwick::app {

struct WindowOptions {
  std::optional<std::string> portName{};  // a listed port's name
  std::optional<int> baudIndex{};
  std::optional<std::string> address{};
  std::optional<int> tab{};
  bool resetSettings = false;
  // The line settings of the port the window starts on.
  std::optional<link::DirectionControl> rs485{};
  std::optional<int> rs485DelayBeforeMs{}, rs485DelayAfterMs{};
  std::optional<link::EchoHandling> echo{};
};

// The window's tab labels: the board's commands, then the live tests it declares.
std::vector<std::string> TabNames(const board::Board& board);
// The live test tabs (pages::kTabStepperTest, pages::kTabDcTest) of the tests board declares.
std::vector<int> LiveTestTabs(const board::Board& board);
// The tab a name given in any case names (--tab, the remembered tab), of the board in use.
std::optional<int> TabNamed(const std::string& name);

// The options, or the exit status to end with at once after printing the help, the
// version (0) or what was wrong (2). ports is the list the window will show.
std::variant<WindowOptions, int> ParseWindowOptions(int argc, char** argv, const std::vector<link::PortEntry>& ports);

// The exit status without a display: as for a bad option, no window opens.
inline constexpr int kExitNoDisplay = 2;

// What to tell the user when Qt would find no display to open the window on: the
// platform (QT_QPA_PLATFORM) is unset, xcb or wayland, and neither DISPLAY nor
// WAYLAND_DISPLAY is set. Nothing for a platform that needs no display (offscreen).
// Arguments are the variables' values, null when unset.
std::optional<std::string> MissingDisplayMessage(const char* platform, const char* display, const char* waylandDisplay);

}  // namespace tarnwick::app
