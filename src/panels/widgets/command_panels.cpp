#include "panels/widgets/command_panels.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QRadioButton>
#include <array>

#include "link/baud_rates.h"
#include "res/dialog_templates.h"

namespace tarnwick::panels {

CCMD00Panel::CCMD00Panel(QWidget* parent) : PanelWidget(res::kCmd00Template, parent) {}
CCMD38Panel::CCMD38Panel(QWidget* parent) : PanelWidget(res::kCmd38Template, parent) {}
CCMD3FPanel::CCMD3FPanel(QWidget* parent) : PanelWidget(res::kCmd3FTemplate, parent) {}

// ---- Stepper motion ----

CCMD11Panel::CCMD11Panel(QWidget* parent)
    : PanelWidget(res::kCmd11Template, parent),
      m_chkReverse(Control<QCheckBox>(1019)),
      m_editStepCount(Control<QLineEdit>(1018)),
      m_chkNotLimit(Control<QCheckBox>(1020)) {
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

std::uint8_t CCMD11Panel::BuildCommand(std::uint8_t replyFlag, std::span<std::uint8_t> out) const {
  return panels::BuildCommand(Fields(), replyFlag, out);
}

CCMD12Panel::CCMD12Panel(QWidget* parent)
    : PanelWidget(res::kCmd12Template, parent),
      m_chkReverse(Control<QCheckBox>(1019)),
      m_chkNotLimit(Control<QCheckBox>(1020)),
      m_editStepCount(Control<QLineEdit>(1018)),
      m_editFrequency(Control<QLineEdit>(1021)),
      m_editPulseDuty(Control<QLineEdit>(1022)) {
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

std::uint8_t CCMD12Panel::BuildCommand(std::uint8_t replyFlag, std::span<std::uint8_t> out) const {
  return panels::BuildCommand(Fields(), replyFlag, out);
}

CCMD13Panel::CCMD13Panel(QWidget* parent)
    : PanelWidget(res::kCmd13Template, parent),
      m_chkReverse(Control<QCheckBox>(1019)),
      m_editStepCount(Control<QLineEdit>(1018)),
      m_editFrequency(Control<QLineEdit>(1021)),
      m_editPulseDuty(Control<QLineEdit>(1022)) {}

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
      m_editLeftDuty(Control<QLineEdit>(1006)),
      m_editRightDuty(Control<QLineEdit>(1008)),
      m_chkLeftReverse(Control<QCheckBox>(1009)),
      m_chkRightReverse(Control<QCheckBox>(1010)) {
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

std::uint8_t CCMD21Panel::BuildCommand(std::uint8_t replyFlag, std::span<std::uint8_t> out) const {
  return panels::BuildCommand(Fields(), replyFlag, out);
}

CCMD22Panel::CCMD22Panel(QWidget* parent) : PanelWidget(res::kCmd22Template, parent) {
  struct ModeButton {
    int id;
    std::uint8_t CCMD22Panel::*mode;
    DriveMode value;
  };
  static constexpr std::array<ModeButton, 8> kButtons = {{
      {1010, &CCMD22Panel::m_leftMode, kDriveForward},
      {1011, &CCMD22Panel::m_leftMode, kDriveReversal},
      {1012, &CCMD22Panel::m_leftMode, kDriveStop},
      {1016, &CCMD22Panel::m_leftMode, kDriveShortBrake},
      {1013, &CCMD22Panel::m_rightMode, kDriveForward},
      {1014, &CCMD22Panel::m_rightMode, kDriveReversal},
      {1015, &CCMD22Panel::m_rightMode, kDriveStop},
      {1017, &CCMD22Panel::m_rightMode, kDriveShortBrake},
  }};
  for (const ModeButton& button : kButtons) {
    auto* radio = Control<QRadioButton>(button.id);
    radio->setChecked(this->*button.mode == button.value);
    connect(radio, &QRadioButton::clicked, this, [this, button] { this->*button.mode = button.value; });
  }
}

CCMD23Panel::CCMD23Panel(QWidget* parent)
    : PanelWidget(res::kCmd23Template, parent),
      m_editLeftFrequency(Control<QLineEdit>(1005)),
      m_editLeftPulseDuty(Control<QLineEdit>(1006)),
      m_editRightFrequency(Control<QLineEdit>(1007)),
      m_editRightPulseDuty(Control<QLineEdit>(1008)) {
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

std::uint8_t CCMD23Panel::BuildCommand(std::uint8_t replyFlag, std::span<std::uint8_t> out) const {
  return panels::BuildCommand(Fields(), replyFlag, out);
}

CCMD24Panel::CCMD24Panel(QWidget* parent)
    : PanelWidget(res::kCmd24Template, parent),
      m_editLeft(Control<QLineEdit>(1017)),
      m_editRight(Control<QLineEdit>(1018)) {}

bool CCMD24Panel::ShowReply(std::span<const std::uint8_t> data) {
  const std::optional<Cmd24Display> shown = DecodeCmd24Reply(data);
  if (!shown) return false;
  m_editLeft->setText(DisplayText(shown->left));
  m_editRight->setText(DisplayText(shown->right));
  return true;
}

// ---- Device configuration ----

CCMD40Panel::CCMD40Panel(QWidget* parent)
    : PanelWidget(res::kCmd40Template, parent), m_editNewAddress(Control<QLineEdit>(1011)) {
  m_editNewAddress->setText(DisplayText(Cmd40Fields{}.newAddress));
}

Cmd40Fields CCMD40Panel::Fields() const { return {FieldText(m_editNewAddress)}; }

std::uint8_t CCMD40Panel::BuildCommand(std::uint8_t replyFlag, std::span<std::uint8_t> out) const {
  return panels::BuildCommand(Fields(), replyFlag, out);
}

CCMD41Panel::CCMD41Panel(QWidget* parent)
    : PanelWidget(res::kCmd41Template, parent), m_comboBaudrate(Control<QComboBox>(1002)) {
  for (std::size_t i = 0; i < link::kBaudRates.size(); ++i)
    m_comboBaudrate->addItem(QString::number(link::kBaudRates[i]), static_cast<int>(i));
  m_comboBaudrate->setCurrentIndex(Cmd41Fields{}.baudIndex);
}

int CCMD41Panel::SelectedBaudIndex() const { return m_comboBaudrate->currentIndex(); }

CCMD42Panel::CCMD42Panel(QWidget* parent)
    : PanelWidget(res::kCmd42Template, parent),
      m_comboMotorType(Control<QComboBox>(1004)),
      m_editLeftFrequency(Control<QLineEdit>(1005)),
      m_editLeftPulseDuty(Control<QLineEdit>(1006)),
      m_editRightFrequency(Control<QLineEdit>(1007)),
      m_editRightPulseDuty(Control<QLineEdit>(1008)) {
  const Cmd42Fields defaults;
  for (const MotorType type : {kMotorStepper, kMotorDc})
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
  const bool rightUsed = m_motorType == kMotorDc;
  m_editRightFrequency->setEnabled(rightUsed);
  m_editRightPulseDuty->setEnabled(rightUsed);
}

Cmd42Fields CCMD42Panel::Fields() const {
  return {m_motorType, FieldText(m_editLeftFrequency), FieldText(m_editLeftPulseDuty),
          FieldText(m_editRightFrequency), FieldText(m_editRightPulseDuty)};
}

std::uint8_t CCMD42Panel::BuildCommand(std::uint8_t replyFlag, std::span<std::uint8_t> out) const {
  return panels::BuildCommand(Fields(), replyFlag, out);
}

CCMD43Panel::CCMD43Panel(QWidget* parent)
    : PanelWidget(res::kCmd43Template, parent),
      m_editMotorType(Control<QLineEdit>(1009)),
      m_editLeftFrequency(Control<QLineEdit>(1013)),
      m_editRightFrequency(Control<QLineEdit>(1015)),
      m_editLeftPulseDuty(Control<QLineEdit>(1014)),
      m_editRightPulseDuty(Control<QLineEdit>(1016)) {}

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
