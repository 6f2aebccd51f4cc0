#include "window/line_settings_dialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QShowEvent>
#include <QSpinBox>
#include <QVBoxLayout>

#include "pages/screen_placement.h"

namespace tarnwick::app {
namespace {


QSpinBox* DelayBox(int value, QWidget* parent) {
  auto* box = new QSpinBox(parent);
  box->setRange(0, link::kMaxDirectionDelayMs);
  box->setSuffix(QStringLiteral(" ms"));
  box->setValue(value);
  return box;
}

}  // namespace

CLineSettingsDlg::CLineSettingsDlg(const QString& portName, const PortLine& line, QWidget* parent)
    : QDialog(parent) {
  setWindowTitle(tr("Line settings: %1").arg(portName));
  m_direction = new QComboBox(this);
  m_direction->addItem(tr("Off: the adapter switches itself"), static_cast<int>(link::DirectionControl::Off));
  m_direction->addItem(tr("Kernel: the driver's RS-485 mode"), static_cast<int>(link::DirectionControl::Kernel));
  m_direction->addItem(tr("RTS: raised around each frame"), static_cast<int>(link::DirectionControl::Rts));
  m_direction->setCurrentIndex(m_direction->findData(static_cast<int>(line.direction.control)));
  m_delayBefore = DelayBox(line.direction.delayBeforeMs, this);
  m_delayAfter = DelayBox(line.direction.delayAfterMs, this);
  m_echo = new QComboBox(this);
  m_echo->addItem(tr("Off"), static_cast<int>(link::EchoHandling::Off));
  m_echo->addItem(tr("Skip: read back the adapter's echo"), static_cast<int>(link::EchoHandling::Skip));
  m_echo->setCurrentIndex(m_echo->findData(static_cast<int>(line.echo)));

  auto* form = new QFormLayout;
  form->addRow(tr("RS-485 direction:"), m_direction);
  form->addRow(tr("RTS before sending:"), m_delayBefore);
  form->addRow(tr("RTS after sending:"), m_delayAfter);
  form->addRow(tr("Echo:"), m_echo);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addWidget(buttons);
  connect(m_direction, &QComboBox::currentIndexChanged, this, &CLineSettingsDlg::EnableDelays);
  EnableDelays();
}

// The delays are the driver's: they mean something in the kernel's mode only.
void CLineSettingsDlg::EnableDelays() {
  const bool kernel = m_direction->currentData().toInt() == static_cast<int>(link::DirectionControl::Kernel);
  m_delayBefore->setEnabled(kernel);
  m_delayAfter->setEnabled(kernel);
}

void CLineSettingsDlg::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (!event->spontaneous()) pages::KeepOnScreen(*this);
}

PortLine CLineSettingsDlg::Line() const {
  return {{static_cast<link::DirectionControl>(m_direction->currentData().toInt()), m_delayBefore->value(),
           m_delayAfter->value()},
          static_cast<link::EchoHandling>(m_echo->currentData().toInt())};
}

}  // namespace tarnwick::app
