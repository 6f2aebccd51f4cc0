#include "app/tarnwick_app.h"

#include "app/tarnwick_dlg.h"

namespace tarnwick::app {

CTarnwickApp::CTarnwickApp(int& argc, char** argv) : application_(argc, argv) {
  // The settings key the program registers; it stores nothing under it.
  QCoreApplication::setOrganizationName(QStringLiteral("应用程序向导生成的本地应用程序"));
  QCoreApplication::setApplicationName(QStringLiteral("tarnwick"));
}

int CTarnwickApp::InitInstance() {
  CTarnwickDlg dialog;
  dialog.exec();
  return 0;
}

}  // namespace tarnwick::app
