#include "testpanels/live_test_panels.h"

#include "res/dialog_templates.h"

namespace tarnwick::testpanels {

CStepperTestPanel::CStepperTestPanel(QWidget* parent) : LiveTestPanel(res::kStepperTestTemplate, parent) {}

CDCTestPanel::CDCTestPanel(QWidget* parent) : LiveTestPanel(res::kDcTestTemplate, parent) {}

}  // namespace tarnwick::testpanels
