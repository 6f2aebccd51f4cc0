// The window as the program starts it, stopping at its first paint: prints the time
// from the moment given on the command line (the launcher's clock, in ns since the
// epoch) to the end of that paint, and the resident memory then and after 1 s idle.
// "empty": a plain dialog of the window's size with 16 empty tabs instead, the
// least any tabbed window can cost.
//   tarnwick-startup-probe START_NS [empty]

#include <QApplication>
#include <QDialog>
#include <QTabWidget>
#include <QVBoxLayout>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "window/main_window.h"

namespace {

long ResidentKiB() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);)
    if (line.rfind("VmRSS:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
  return -1;
}

double MsSince(long long startNs) {
  const auto now = std::chrono::duration_cast<std::chrono::nanoseconds>(
                       std::chrono::system_clock::now().time_since_epoch())
                       .count();
  return static_cast<double>(now - startNs) / 1e6;
}

class FirstPaint : public QObject {
 public:
  explicit FirstPaint(long long startNs) : startNs_(startNs) {}
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint && !seen_) {
      seen_ = true;
      // Runs once the paint has been drawn and flushed.
      QTimer::singleShot(0, [this] {
        std::printf("first_paint_ms %.1f\nrss_at_paint_kib %ld\n", MsSince(startNs_), ResidentKiB());
        QTimer::singleShot(1000, [] {
          std::printf("rss_idle_kib %ld\n", ResidentKiB());
          QApplication::quit();
        });
      });
    }
    return false;
  }

 private:
  long long startNs_;
  bool seen_ = false;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s START_NS\n", argv[0]);
    return 2;
  }
  const long long startNs = std::atoll(argv[1]);
  QApplication application(argc, argv);
  FirstPaint probe(startNs);
  if (argc > 2 && std::string(argv[2]) == "empty") {
    QDialog dialog;
    auto* tabs = new QTabWidget(&dialog);
    for (int i = 0; i < 16; ++i) tabs->addTab(new QWidget, QStringLiteral("Tab %1").arg(i));
    (new QVBoxLayout(&dialog))->addWidget(tabs);
    dialog.resize(711, 417);
    dialog.installEventFilter(&probe);
    dialog.show();
    return QApplication::exec();
  }
  tarnwick::app::CTarnwickDlg dialog;
  dialog.installEventFilter(&probe);
  dialog.show();
  return QApplication::exec();
}
