#pragma once
// The program: one modal main window; when it closes, the program ends.

#include <QApplication>

#include "window/window_options.h"

namespace tarnwick::app {

class CTarnwickApp {
 public:
  CTarnwickApp(int& argc, char** argv);
  // Runs the main window modally, with the remembered settings and then options
  // applied, saves its settings when it closes and returns the program's exit code.
  int InitInstance(const WindowOptions& options);

 private:
  QApplication application_;
};

}  // namespace tarnwick::app
