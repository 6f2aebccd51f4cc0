#include <cstdlib>
#include <iostream>
#include <variant>

#include "support/process_services.h"
#include "window/tarnwick_app.h"
#include "window/window_options.h"

int main(int argc, char** argv) {
  // Read before the application object, so --help, --version and a bad value need
  // no display and never open a window.
  const auto parsed = tarnwick::app::ParseWindowOptions(argc, argv, tarnwick::link::EnumeratePorts());
  if (const int* status = std::get_if<int>(&parsed)) return *status;
#if defined(__unix__) && !defined(__APPLE__)
  // Qt would abort with a message about reinstalling; say what is missing instead.
  if (const auto message = tarnwick::app::MissingDisplayMessage(std::getenv("QT_QPA_PLATFORM"), std::getenv("DISPLAY"),
                                                                std::getenv("WAYLAND_DISPLAY"))) {
    std::cerr << *message << '\n';
    return tarnwick::app::kExitNoDisplay;
  }
#endif

  tarnwick::app::CTarnwickApp app(argc, argv);
  // The support library's clock and generator live from just after the application
  // object until just before it goes; nothing in the window consults them.
  const RavLib::ProcessServices services;
  return app.InitInstance(std::get<tarnwick::app::WindowOptions>(parsed));
}
