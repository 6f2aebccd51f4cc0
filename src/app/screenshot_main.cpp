// Renders the main window to a PNG without a display: a simulated board on a
// pseudo-terminal is listed as the port, one Send is made on the chosen tab, and the
// window is drawn under a plain title bar that carries its caption.
//   tarnwick-screenshot OUTPUT.png [TAB]

#include <QApplication>
#include <QPainter>
#include <QPixmap>
#include <cstdio>
#include <cstdlib>

#include "app/tarnwick_dlg.h"
#include "res/tab_strip.h"
#include "sim/board_server.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s OUTPUT.png [TAB]\n", argv[0]);
    return 2;
  }
  QApplication application(argc, argv);
  const int tab = argc > 2 ? std::atoi(argv[2]) : tarnwick::res::kTabCmd12;

  const auto board = tarnwick::sim::BoardServer::OnPseudoTerminal();
  tarnwick::app::CTarnwickDlg dialog(
      [&] { return std::vector<tarnwick::link::PortEntry>{{"sim0", board->PortPath()}}; });
  dialog.findChild<tarnwick::res::TabStrip*>()->setCurrentIndex(tab);
  dialog.SetAddressText("01");
  dialog.show();
  dialog.OnOK();
  QApplication::processEvents();

  const QPixmap client = dialog.grab();
  const QFontMetrics metrics(dialog.font());
  const int titleHeight = metrics.height() + 12;
  QPixmap shot(client.width() + 2, client.height() + titleHeight + 1);
  shot.fill(dialog.palette().color(QPalette::Dark));
  QPainter painter(&shot);
  painter.fillRect(1, 1, client.width(), titleHeight - 1, dialog.palette().color(QPalette::Highlight));
  painter.setPen(dialog.palette().color(QPalette::HighlightedText));
  painter.setFont(dialog.font());
  painter.drawText(QRect(8, 1, client.width() - 16, titleHeight - 1), Qt::AlignVCenter | Qt::AlignLeft,
                   dialog.windowTitle());
  painter.drawText(QRect(8, 1, client.width() - 16, titleHeight - 1), Qt::AlignVCenter | Qt::AlignRight,
                   QStringLiteral("✕"));
  painter.drawPixmap(1, titleHeight, client);
  painter.end();
  if (!shot.save(QString::fromLocal8Bit(argv[1]))) {
    std::fprintf(stderr, "cannot write %s\n", argv[1]);
    return 1;
  }
  return 0;
}
