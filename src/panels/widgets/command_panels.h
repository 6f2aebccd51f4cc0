#pragma once
// The fourteen command pages. Each binds its controls by id once, reads them into
// the command's field struct and leaves encoding and decoding to command_logic.h,
// so the window and the command-line tool send the same bytes for the same fields.

#include <cstdint>
#include <span>

#include "panels/command_logic.h"
#include "panels/widgets/panel_widget.h"

class QCheckBox;
class QComboBox;
class QLineEdit;

namespace tarnwick::panels {

class CCMD00Panel : public PanelWidget {
  Q_OBJECT
 public:
  explicit CCMD00Panel(QWidget* parent = nullptr);
};

class CCMD38Panel : public PanelWidget {
  Q_OBJECT
 public:
  explicit CCMD38Panel(QWidget* parent = nullptr);
};

class CCMD3FPanel : public PanelWidget {
  Q_OBJECT
 public:
  explicit CCMD3FPanel(QWidget* parent = nullptr);
};

class CCMD11Panel : public PanelWidget {
  Q_OBJECT
 public:
  explicit CCMD11Panel(QWidget* parent = nullptr);
  Cmd11Fields Fields() const;
  void SetFields(const Cmd11Fields& fields);

 private:
  QCheckBox* m_chkReverse;
  QLineEdit* m_editStepCount;
  QCheckBox* m_chkNotLimit;
};

class CCMD12Panel : public PanelWidget {
  Q_OBJECT
 public:
  explicit CCMD12Panel(QWidget* parent = nullptr);
  Cmd12Fields Fields() const;
  void SetFields(const Cmd12Fields& fields);

 private:
  QCheckBox* m_chkReverse;
  QCheckBox* m_chkNotLimit;
  QLineEdit* m_editStepCount;
  QLineEdit* m_editFrequency;
  QLineEdit* m_editPulseDuty;
};

class CCMD13Panel : public PanelWidget {
  Q_OBJECT
 public:
  explicit CCMD13Panel(QWidget* parent = nullptr);
  // data: the reply from the byte after its status byte up to the checksum. False,
  // changing nothing, when it is too short.
  bool ShowReply(std::span<const std::uint8_t> data);

 private:
  QCheckBox* m_chkReverse;
  QLineEdit* m_editStepCount;
  QLineEdit* m_editFrequency;
  QLineEdit* m_editPulseDuty;
};

class CCMD21Panel : public PanelWidget {
  Q_OBJECT
 public:
  explicit CCMD21Panel(QWidget* parent = nullptr);
  Cmd21Fields Fields() const;
  void SetFields(const Cmd21Fields& fields);

 private:
  QLineEdit* m_editLeftDuty;
  QLineEdit* m_editRightDuty;
  QCheckBox* m_chkLeftReverse;
  QCheckBox* m_chkRightReverse;
};

// Keeps the two drive modes that its radio buttons choose; a send reads the
// stored modes, never the buttons.
class CCMD22Panel : public PanelWidget {
  Q_OBJECT
 public:
  explicit CCMD22Panel(QWidget* parent = nullptr);
  Cmd22Fields Fields() const { return {m_leftMode, m_rightMode}; }

 private:
  std::uint8_t m_leftMode = link::kDriveForward;
  std::uint8_t m_rightMode = link::kDriveForward;
};

class CCMD23Panel : public PanelWidget {
  Q_OBJECT
 public:
  explicit CCMD23Panel(QWidget* parent = nullptr);
  Cmd23Fields Fields() const;
  void SetFields(const Cmd23Fields& fields);

 private:
  QLineEdit* m_editLeftFrequency;
  QLineEdit* m_editLeftPulseDuty;
  QLineEdit* m_editRightFrequency;
  QLineEdit* m_editRightPulseDuty;
};

class CCMD24Panel : public PanelWidget {
  Q_OBJECT
 public:
  explicit CCMD24Panel(QWidget* parent = nullptr);
  // data: the reply's data bytes up to the checksum.
  bool ShowReply(std::span<const std::uint8_t> data);

 private:
  QLineEdit* m_editLeft;
  QLineEdit* m_editRight;
};

class CCMD40Panel : public PanelWidget {
  Q_OBJECT
 public:
  explicit CCMD40Panel(QWidget* parent = nullptr);
  Cmd40Fields Fields() const;

 private:
  QLineEdit* m_editNewAddress;
};

class CCMD41Panel : public PanelWidget {
  Q_OBJECT
 public:
  explicit CCMD41Panel(QWidget* parent = nullptr);
  // The list position chosen, which is also the rate's position in the baud table.
  Cmd41Fields Fields() const;

 private:
  QComboBox* m_comboBaudrate;
};

class CCMD42Panel : public PanelWidget {
  Q_OBJECT
 public:
  explicit CCMD42Panel(QWidget* parent = nullptr);
  Cmd42Fields Fields() const;

 private:
  void OnMotorTypeChange();

  QComboBox* m_comboMotorType;
  QLineEdit* m_editLeftFrequency;
  QLineEdit* m_editLeftPulseDuty;
  QLineEdit* m_editRightFrequency;
  QLineEdit* m_editRightPulseDuty;
  std::uint8_t m_motorType = link::kMotorStepper;
};

class CCMD43Panel : public PanelWidget {
  Q_OBJECT
 public:
  explicit CCMD43Panel(QWidget* parent = nullptr);
  // data: the reply's data bytes up to the checksum.
  bool ShowReply(std::span<const std::uint8_t> data);

 private:
  QLineEdit* m_editMotorType;
  QLineEdit* m_editLeftFrequency;
  QLineEdit* m_editRightFrequency;
  QLineEdit* m_editLeftPulseDuty;
  QLineEdit* m_editRightPulseDuty;
};

}  // namespace tarnwick::panels
