#include "panels/widgets/command_panels.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QRadioButton>
#include <array>

#include "link/baud_rates.h"
#include "res/control_ids.h"
#include "res/dialog_templates.h"

namespace tarnwick::panels {

namespace ids = res::ids;
namespace stepper = ids::stepper;
namespace parameters = ids::parameters;

CCMD00Panel::CCMD00Panel(QWidget* parent) : PanelWidget(res::kCmd00Template, parent) {}
CCMD38Panel::CCMD38Panel(QWidget* parent) : PanelWidget(res::kCmd38Template, parent) {}
CCMD3FPanel::CCMD3FPanel(QWidget* parent) : PanelWidget(res::kCmd3FTemplate, parent) {}

// ---- Stepper motion ----

CCMD11Panel::CCMD11Panel(QWidget* parent)
    : PanelWidget(res::kCmd11Template, parent),
      m_chkReverse(Control<QCheckBox>(stepper::kReverse)),
      m_editStepCount(Control<QLineEdit>(stepper::kStepCount)),
      m_chkNotLimit(Control<QCheckBox>(stepper::kNotLimit)) {
  SetFields({});
  GreyWhileChecked(m_chkNotLimit, m_editStepCount);
}

Cmd11Fields CCMD11Panel::Fields() const {
  return {FieldText(m_editStepCount), m_chkReverse->isChecked(), m_chkNotLimit->isChecked()};
}

void CCMD11Panel::SetFields(const Cmd11Fields& fields) {
  m_editStepCount->setText(DisplayText(fields.stepCount));
  m_chkReverse->setChecked(fields.reverse);
  m_chkNotLimit->setChecked(fields.notLimit);
}

CCMD12Panel::CCMD12Panel(QWidget* parent)
    : PanelWidget(res::kCmd12Template, parent),
      m_chkReverse(Control<QCheckBox>(stepper::kReverse)),
      m_chkNotLimit(Control<QCheckBox>(stepper::kNotLimit)),
      m_editStepCount(Control<QLineEdit>(stepper::kStepCount)),
      m_editFrequency(Control<QLineEdit>(stepper::kFrequency)),
      m_editPulseDuty(Control<QLineEdit>(stepper::kPulseDuty)) {
  SetFields({});
  // The count is ignored while "Not-Limit" is checked; greying says so, as on CMD11.
  GreyWhileChecked(m_chkNotLimit, m_editStepCount);
}

Cmd12Fields CCMD12Panel::Fields() const {
  return {FieldText(m_editStepCount), m_chkReverse->isChecked(), m_chkNotLimit->isChecked(),
          FieldText(m_editFrequency), FieldText(m_editPulseDuty)};
}

void CCMD12Panel::SetFields(const Cmd12Fields& fields) {
  m_editStepCount->setText(DisplayText(fields.stepCount));
  m_chkReverse->setChecked(fields.reverse);
  m_chkNotLimit->setChecked(fields.notLimit);
  m_editFrequency->setText(DisplayText(fields.frequency));
  m_editPulseDuty->setText(DisplayText(fields.pulseDuty));
}

CCMD13Panel::CCMD13Panel(QWidget* parent)
    : PanelWidget(res::kCmd13Template, parent),
      m_chkReverse(Control<QCheckBox>(stepper::kReverse)),
      m_editStepCount(Control<QLineEdit>(stepper::kStepCount)),
      m_editFrequency(Control<QLineEdit>(stepper::kFrequency)),
      m_editPulseDuty(Control<QLineEdit>(stepper::kPulseDuty)) {}

bool CCMD13Panel::ShowReply(std::span<const std::uint8_t> data) {
  const std::optional<Cmd13Display> shown = DecodeCmd13Reply(data);
  if (!shown) return false;
  m_chkReverse->setChecked(shown->reverse);
  m_editStepCount->setText(DisplayText(shown->stepCount));
  m_editPulseDuty->setText(DisplayText(shown->pulseDuty));
  m_editFrequency->setText(DisplayText(shown->frequency));
  return true;
}

// ---- D-C motors ----

CCMD21Panel::CCMD21Panel(QWidget* parent)
    : PanelWidget(res::kCmd21Template, parent),
      m_editLeftDuty(Control<QLineEdit>(ids::cmd21::kLeftDuty)),
      m_editRightDuty(Control<QLineEdit>(ids::cmd21::kRightDuty)),
      m_chkLeftReverse(Control<QCheckBox>(ids::cmd21::kLeftReverse)),
      m_chkRightReverse(Control<QCheckBox>(ids::cmd21::kRightReverse)) {
  SetFields({});
}

Cmd21Fields CCMD21Panel::Fields() const {
  return {FieldText(m_editLeftDuty), FieldText(m_editRightDuty), m_chkLeftReverse->isChecked(),
          m_chkRightReverse->isChecked()};
}

void CCMD21Panel::SetFields(const Cmd21Fields& fields) {
  m_editLeftDuty->setText(DisplayText(fields.leftDuty));
  m_editRightDuty->setText(DisplayText(fields.rightDuty));
  m_chkLeftReverse->setChecked(fields.leftReverse);
  m_chkRightReverse->setChecked(fields.rightReverse);
}

CCMD22Panel::CCMD22Panel(QWidget* parent) : PanelWidget(res::kCmd22Template, parent) {
  struct ModeButton {
    int id;
    std::uint8_t CCMD22Panel::*mode;
    link::DriveMode value;
  };
  namespace id = ids::cmd22;
  static constexpr std::array<ModeButton, 8> kButtons = {{
      {id::kLeftForward, &CCMD22Panel::m_leftMode, link::kDriveForward},
      {id::kLeftReversal, &CCMD22Panel::m_leftMode, link::kDriveReversal},
      {id::kLeftStop, &CCMD22Panel::m_leftMode, link::kDriveStop},
      {id::kLeftShortBrake, &CCMD22Panel::m_leftMode, link::kDriveShortBrake},
      {id::kRightForward, &CCMD22Panel::m_rightMode, link::kDriveForward},
      {id::kRightReversal, &CCMD22Panel::m_rightMode, link::kDriveReversal},
      {id::kRightStop, &CCMD22Panel::m_rightMode, link::kDriveStop},
      {id::kRightShortBrake, &CCMD22Panel::m_rightMode, link::kDriveShortBrake},
  }};
  for (const ModeButton& button : kButtons) {
    auto* radio = Control<QRadioButton>(button.id);
    radio->setChecked(this->*button.mode == button.value);
    connect(radio, &QRadioButton::clicked, this, [this, button] { this->*button.mode = button.value; });
  }
}

CCMD23Panel::CCMD23Panel(QWidget* parent)
    : PanelWidget(res::kCmd23Template, parent),
      m_editLeftFrequency(Control<QLineEdit>(parameters::kLeftFrequency)),
      m_editLeftPulseDuty(Control<QLineEdit>(parameters::kLeftPulseDuty)),
      m_editRightFrequency(Control<QLineEdit>(parameters::kRightFrequency)),
      m_editRightPulseDuty(Control<QLineEdit>(parameters::kRightPulseDuty)) {
  SetFields({});
}

Cmd23Fields CCMD23Panel::Fields() const {
  return {FieldText(m_editLeftFrequency), FieldText(m_editLeftPulseDuty), FieldText(m_editRightFrequency),
          FieldText(m_editRightPulseDuty)};
}

void CCMD23Panel::SetFields(const Cmd23Fields& fields) {
  m_editLeftFrequency->setText(DisplayText(fields.leftFrequency));
  m_editLeftPulseDuty->setText(DisplayText(fields.leftPulseDuty));
  m_editRightFrequency->setText(DisplayText(fields.rightFrequency));
  m_editRightPulseDuty->setText(DisplayText(fields.rightPulseDuty));
}

CCMD24Panel::CCMD24Panel(QWidget* parent)
    : PanelWidget(res::kCmd24Template, parent),
      m_editLeft(Control<QLineEdit>(ids::cmd24::kLeft)),
      m_editRight(Control<QLineEdit>(ids::cmd24::kRight)) {}

bool CCMD24Panel::ShowReply(std::span<const std::uint8_t> data) {
  const std::optional<Cmd24Display> shown = DecodeCmd24Reply(data);
  if (!shown) return false;
  m_editLeft->setText(DisplayText(shown->left));
  m_editRight->setText(DisplayText(shown->right));
  return true;
}

// ---- Device configuration ----

CCMD40Panel::CCMD40Panel(QWidget* parent)
    : PanelWidget(res::kCmd40Template, parent), m_editNewAddress(Control<QLineEdit>(ids::cmd40::kNewAddress)) {
  m_editNewAddress->setText(DisplayText(Cmd40Fields{}.newAddress));
}

Cmd40Fields CCMD40Panel::Fields() const { return {FieldText(m_editNewAddress)}; }

CCMD41Panel::CCMD41Panel(QWidget* parent)
    : PanelWidget(res::kCmd41Template, parent), m_comboBaudrate(Control<QComboBox>(ids::cmd41::kBaudrate)) {
  for (std::size_t i = 0; i < link::kBaudRates.size(); ++i)
    m_comboBaudrate->addItem(QString::number(link::kBaudRates[i]), static_cast<int>(i));
  m_comboBaudrate->setCurrentIndex(Cmd41Fields{}.baudIndex);
}

Cmd41Fields CCMD41Panel::Fields() const { return {m_comboBaudrate->currentIndex()}; }

CCMD42Panel::CCMD42Panel(QWidget* parent)
    : PanelWidget(res::kCmd42Template, parent),
      m_comboMotorType(Control<QComboBox>(parameters::kMotorType)),
      m_editLeftFrequency(Control<QLineEdit>(parameters::kLeftFrequency)),
      m_editLeftPulseDuty(Control<QLineEdit>(parameters::kLeftPulseDuty)),
      m_editRightFrequency(Control<QLineEdit>(parameters::kRightFrequency)),
      m_editRightPulseDuty(Control<QLineEdit>(parameters::kRightPulseDuty)) {
  const Cmd42Fields defaults;
  for (const link::MotorType type : {link::kMotorStepper, link::kMotorDc})
    m_comboMotorType->addItem(DisplayText(std::string(MotorTypeText(type))), static_cast<int>(type));
  m_comboMotorType->setCurrentIndex(m_comboMotorType->findData(static_cast<int>(defaults.motorType)));
  m_editLeftFrequency->setText(DisplayText(defaults.leftFrequency));
  m_editLeftPulseDuty->setText(DisplayText(defaults.leftPulseDuty));
  m_editRightFrequency->setText(DisplayText(defaults.rightFrequency));
  m_editRightPulseDuty->setText(DisplayText(defaults.rightPulseDuty));
  OnMotorTypeChange();
  connect(m_comboMotorType, &QComboBox::currentIndexChanged, this, &CCMD42Panel::OnMotorTypeChange);
}

void CCMD42Panel::OnMotorTypeChange() {
  m_motorType = static_cast<std::uint8_t>(m_comboMotorType->currentData().toInt());
  const bool rightUsed = m_motorType == link::kMotorDc;
  m_editRightFrequency->setEnabled(rightUsed);
  m_editRightPulseDuty->setEnabled(rightUsed);
}

Cmd42Fields CCMD42Panel::Fields() const {
  return {m_motorType, FieldText(m_editLeftFrequency), FieldText(m_editLeftPulseDuty),
          FieldText(m_editRightFrequency), FieldText(m_editRightPulseDuty)};
}

CCMD43Panel::CCMD43Panel(QWidget* parent)
    : PanelWidget(res::kCmd43Template, parent),
      m_editMotorType(Control<QLineEdit>(ids::cmd43::kMotorType)),
      m_editLeftFrequency(Control<QLineEdit>(ids::cmd43::kLeftFrequency)),
      m_editRightFrequency(Control<QLineEdit>(ids::cmd43::kRightFrequency)),
      m_editLeftPulseDuty(Control<QLineEdit>(ids::cmd43::kLeftPulseDuty)),
      m_editRightPulseDuty(Control<QLineEdit>(ids::cmd43::kRightPulseDuty)) {}

bool CCMD43Panel::ShowReply(std::span<const std::uint8_t> data) {
  const std::optional<Cmd43Display> shown = DecodeCmd43Reply(data);
  if (!shown) return false;
  m_editMotorType->setText(DisplayText(shown->motorType));
  m_editLeftFrequency->setText(DisplayText(shown->leftFrequency));
  m_editLeftPulseDuty->setText(DisplayText(shown->leftPulseDuty));
  m_editRightFrequency->setText(DisplayText(shown->rightFrequency));
  m_editRightPulseDuty->setText(DisplayText(shown->rightPulseDuty));
  return true;
}

}  // namespace tarnwick::panels
