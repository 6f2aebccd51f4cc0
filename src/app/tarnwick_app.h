#pragma once
// The program: one modal main window; when it closes, the program ends.

#include <QApplication>

namespace tarnwick::app {

class CTarnwickApp {
 public:
  CTarnwickApp(int& argc, char** argv);
  // Runs the main window modally and returns the program's exit code.
  int InitInstance();

 private:
  QApplication application_;
};

}  // namespace tarnwick::app
