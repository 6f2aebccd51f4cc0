#pragma once
// "Add network port": a name typed in, checked when OK is pressed. A name that is
// no network port keeps the dialog open with the text as typed and why beneath it.

#include <QInputDialog>
#include <string>

namespace tarnwick::app {

class CAddNetworkPortDlg : public QInputDialog {
  Q_OBJECT

 public:
  explicit CAddNetworkPortDlg(QWidget* parent);

  std::string Name() const { return textValue().trimmed().toStdString(); }

  void done(int result) override;

 protected:
  void showEvent(QShowEvent* event) override;
};

}  // namespace tarnwick::app
