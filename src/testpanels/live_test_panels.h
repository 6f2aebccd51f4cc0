#pragma once
// The Stepper Test and D-C Test pages. For now they show their templates and keep
// the port and line speed that the main window hands them; sending comes later.

#include <string>

#include "panels/widgets/panel_widget.h"

namespace tarnwick::testpanels {

// What the main window hands a live test page: the selected port (empty when the
// port list has no selection) and the rate in bits per second (not a list index).
class LiveTestPanel : public panels::PanelWidget {
  Q_OBJECT
 public:
  using PanelWidget::PanelWidget;
  std::string portPath;
  int baudRate = 0;
};

class CStepperTestPanel : public LiveTestPanel {
  Q_OBJECT
 public:
  explicit CStepperTestPanel(QWidget* parent = nullptr);
};

class CDCTestPanel : public LiveTestPanel {
  Q_OBJECT
 public:
  explicit CDCTestPanel(QWidget* parent = nullptr);
};

}  // namespace tarnwick::testpanels
