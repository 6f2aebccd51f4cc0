#pragma once
// The per-port line settings: who turns the RS-485 line round and whether the
// adapter's echo is read back. Reached from the port list's context menu or
// Ctrl+Shift+L; the main dialog's layout stays as it is.

#include <QDialog>

#include "link/line_control.h"

class QComboBox;
class QSpinBox;

namespace tarnwick::app {

// What the window remembers of a port beyond its name.
struct PortLine {
  link::DirectionSettings direction;
  link::EchoHandling echo = link::EchoHandling::Off;
  bool operator==(const PortLine& other) const {
    return direction.control == other.direction.control && direction.delayBeforeMs == other.direction.delayBeforeMs &&
           direction.delayAfterMs == other.direction.delayAfterMs && echo == other.echo;
  }
};

class CLineSettingsDlg : public QDialog {
  Q_OBJECT

 public:
  CLineSettingsDlg(const QString& portName, const PortLine& line, QWidget* parent = nullptr);
  PortLine Line() const;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void EnableDelays();

  QComboBox* m_direction = nullptr;
  QSpinBox* m_delayBefore = nullptr;
  QSpinBox* m_delayAfter = nullptr;
  QComboBox* m_echo = nullptr;
};

}  // namespace tarnwick::app
