#include "window/tarnwick_app.h"

#include <QIcon>

#include "pages/screen_placement.h"
#include "window/main_window.h"
#include "window/window_settings.h"

namespace tarnwick::app {

CTarnwickApp::CTarnwickApp(int& argc, char** argv) : application_(argc, argv) {
  // The settings key the program registers; the settings themselves go to the
  // XDG configuration folder under the program's own name (OpenUserSettings).
  QCoreApplication::setOrganizationName(QStringLiteral("应用程序向导生成的本地应用程序"));
  QCoreApplication::setApplicationName(QStringLiteral("tarnwick"));
  // Lets a desktop match the window to its launcher and icon.
  QGuiApplication::setDesktopFileName(QStringLiteral("org.tarnwick.Tarnwick"));
  QApplication::setWindowIcon(QIcon(QString::fromLatin1(kWindowIconPath)));
}

int CTarnwickApp::InitInstance(const WindowOptions& options) {
  const std::unique_ptr<QSettings> settings = OpenUserSettings();
  if (options.resetSettings) settings->clear();
  CTarnwickDlg dialog;
  RestoreWindowSettings(dialog, *settings);
  ApplyWindowOptions(dialog, options);
  dialog.show();
  pages::FitMainWindow(dialog);
  dialog.exec();
  SaveWindowSettings(dialog, *settings, options);
  return 0;
}

}  // namespace tarnwick::app
