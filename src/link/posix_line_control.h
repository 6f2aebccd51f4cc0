#pragma once
// The driver's direction calls on an open terminal: the RS-485 mode
// (TIOCGRS485/TIOCSRS485, Linux only) and the RTS line (TIOCMBIS/TIOCMBIC).

#include <memory>

#include "line_control.h"

namespace tarnwick::link {

// fd stays the caller's and must outlive the control.
std::unique_ptr<LineControl> MakeTerminalLineControl(int fd);

}  // namespace tarnwick::link
