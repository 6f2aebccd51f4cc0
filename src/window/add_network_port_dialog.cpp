#include "window/add_network_port_dialog.h"

#include <QShowEvent>

#include "link/network_port.h"
#include "pages/screen_placement.h"

namespace tarnwick::app {
namespace {

const char* const kPrompt = "rfc2217://HOST:PORT or socket://HOST:PORT";

}  // namespace

CAddNetworkPortDlg::CAddNetworkPortDlg(QWidget* parent) : QInputDialog(parent) {
  setWindowTitle(tr("Add network port"));
  setInputMode(QInputDialog::TextInput);
  setLabelText(tr(kPrompt));
  setTextValue(QStringLiteral("rfc2217://"));
}

void CAddNetworkPortDlg::done(int result) {
  std::string why;
  if (result == QDialog::Accepted && !link::ParseNetworkPortName(Name(), &why)) {
    setLabelText(tr(kPrompt) + QStringLiteral("\n") + tr("Not a network port: %1").arg(QString::fromStdString(why)));
    return;
  }
  QInputDialog::done(result);
}

void CAddNetworkPortDlg::showEvent(QShowEvent* event) {
  QInputDialog::showEvent(event);
  if (!event->spontaneous()) pages::KeepOnScreen(*this);
}

}  // namespace tarnwick::app
