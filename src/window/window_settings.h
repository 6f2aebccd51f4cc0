#pragma once
// What the window remembers between sessions: the port (by name), the line speed,
// the address, "Res", the tab on display and the fields of every command page. The
// application restores them before the window shows and saves them when it closes;
// the window itself never touches the user's configuration.

#include <QSettings>
#include <memory>

#include "board/board.h"
#include "window/window_options.h"

namespace tarnwick::app {

class CTarnwickDlg;

// The user's settings file for board: $XDG_CONFIG_HOME/tarnwick/tarnwick.conf for
// the built-in one; beside it a file named from any other board, so that no board's
// port, address or tab ever opens another ("Heater controller":
// board-heater-controller.conf).
std::unique_ptr<QSettings> OpenUserSettings(const board::Board& board = board::Current());

// Presets from the command line last one start: a value the user left as its
// preset keeps what was remembered before; one the user changed is saved.
void SaveWindowSettings(const CTarnwickDlg& window, QSettings& settings, const WindowOptions& presets = {});

// Keys that are missing leave the start values; a remembered port that is no longer
// listed leaves the first listed one selected.
void RestoreWindowSettings(CTarnwickDlg& window, const QSettings& settings);

// The command line's presets, over whatever was restored.
void ApplyWindowOptions(CTarnwickDlg& window, const WindowOptions& options);

}  // namespace tarnwick::app
