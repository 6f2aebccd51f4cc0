// Renders the main window to a PNG without a display: a simulated board on a
// pseudo-terminal is listed as the port, one Send is made on the chosen tab, and the
// window is drawn under a plain title bar that carries its caption. With "log",
// a few more exchanges are made first and the traffic log is drawn beside it.
// With "line", the port's line settings dialog is drawn instead; with a network
// port's name (rfc2217://HOST:PORT), the Send goes there, listed after the board.
// With "find", the Find boards window after a scan of three boards at three rates;
// with "watch", Watch after plotting CMD13 for three seconds while the board's
// stepper speeds up and slows down and twice falls silent ("watch stacked": a plot
// per field; "watch rest" or "watch stacked rest": a stepper at rest); with
// "sequence", Run sequence after a run with a failed step. With a board file
// (BOARD.yaml), the window of that board, its simulated board on the port.
//   tarnwick-screenshot OUTPUT.png [TAB] [log|line|find|watch [stacked] [rest]|sequence|URL|BOARD.yaml]

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QPainter>
#include <QPixmap>
#include <QElapsedTimer>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <string_view>

#include "board/board_file.h"
#include "link/network_port.h"
#include "link/posix_port_list.h"
#include "pages/tab_strip.h"
#include "sim/board_server.h"
#include "sim/bus.h"
#include "sim/port_registry.h"
#include "tools/find_boards_dialog.h"
#include "tools/sequence_window.h"
#include "tools/traffic_log_window.h"
#include "tools/watch_window.h"
#include "window/main_window.h"

namespace {

// The widget under a plain title bar that carries its caption.
QPixmap Framed(QWidget& widget) {
  const QPixmap client = widget.grab();
  const QFontMetrics metrics(widget.font());
  const int titleHeight = metrics.height() + 12;
  QPixmap shot(client.width() + 2, client.height() + titleHeight + 1);
  shot.fill(widget.palette().color(QPalette::Dark));
  QPainter painter(&shot);
  painter.fillRect(1, 1, client.width(), titleHeight - 1, widget.palette().color(QPalette::Highlight));
  painter.setPen(widget.palette().color(QPalette::HighlightedText));
  painter.setFont(widget.font());
  painter.drawText(QRect(8, 1, client.width() - 16, titleHeight - 1), Qt::AlignVCenter | Qt::AlignLeft,
                   widget.windowTitle());
  painter.drawText(QRect(8, 1, client.width() - 16, titleHeight - 1), Qt::AlignVCenter | Qt::AlignRight,
                   QStringLiteral("✕"));
  painter.drawPixmap(1, titleHeight, client);
  return shot;
}

// Send, returning once the window shows what the exchange came to.
void SendAndWait(tarnwick::app::CTarnwickDlg& dialog) {
  QEventLoop sending;
  QObject::connect(&dialog, &tarnwick::app::CTarnwickDlg::SendEnded, &sending, &QEventLoop::quit);
  dialog.OnOK();
  if (dialog.Sending()) sending.exec();
}

// Installs the board a file describes; false, with its problems printed, when refused.
bool UseBoardFile(const char* path) {
  tarnwick::board::LoadResult loaded = tarnwick::board::LoadBoardFile(path);
  for (const std::string& problem : loaded.problems) std::fprintf(stderr, "%s\n", problem.c_str());
  if (!loaded.board) return false;
  tarnwick::board::Use(std::move(*loaded.board));
  return true;
}

// A few exchanges for the log to show, one of them a device error, then the chosen tab's.
void SendSome(tarnwick::app::CTarnwickDlg& dialog, tarnwick::pages::TabStrip& strip) {
  using namespace tarnwick::pages;
  for (const int tab : {kTabCmd00, kTabCmd13, kTabCmd43, kTabCmd3F}) {
    strip.setCurrentIndex(tab);
    SendAndWait(dialog);
  }
}

// The Find boards window once its scan of the window's port has ended.
int SaveFindShot(tarnwick::app::CTarnwickDlg& dialog, const char* output) {
  dialog.OnFindBoards();
  auto& find = *dialog.findChild<tarnwick::app::CFindBoardsDlg*>();
  QEventLoop scanning;
  QObject::connect(&find, &tarnwick::app::CFindBoardsDlg::ScanEnded, &scanning, &QEventLoop::quit);
  find.OnFind();
  scanning.exec();
  QApplication::processEvents();
  return Framed(find).save(QString::fromLocal8Bit(output)) ? 0 : 1;
}

// A stepper board checked step by step, one expectation wrong (the board is no D-C board),
// run to its end on the window's port.
QPixmap SequenceShot(tarnwick::app::CTarnwickDlg& dialog) {
  QTemporaryDir dir;
  const QString outputFolder = QDir::currentPath();
  QDir::setCurrent(dir.path());  // the window shows the file's name as opened
  std::ofstream("stepper_check.yaml") << R"(steps:
  - {send: cmd12, addr: "01", frequency: 1000, pulse-duty: 50, expect: {result: Success}}
  - {send: cmd13, addr: "01", expect: {frequency: 1000, pulse_duty: 50}}
  - wait: 100
  - {send: cmd43, addr: "01", expect: {motor_type: D-C}}
  - {send: cmd13, addr: "01", repeat: 3}
)";
  dialog.OnRunSequence();
  auto& tool = *dialog.findChild<tarnwick::app::CSequenceWindow*>();
  tool.KeepGoing().setChecked(true);
  QEventLoop ended;
  QObject::connect(&tool, &tarnwick::app::CSequenceWindow::RunFinished, &ended, &QEventLoop::quit);
  if (tool.Open(QStringLiteral("stepper_check.yaml")) && tool.Run()) ended.exec();
  QApplication::processEvents();
  QDir::setCurrent(outputFolder);
  return Framed(tool);
}

// Watch on CMD13 every 20 ms, the board's stepper changing under it unless at rest.
QPixmap WatchShot(tarnwick::app::CTarnwickDlg& dialog, tarnwick::sim::BoardServer& board, bool stacked, bool rest) {
  dialog.OnWatch();
  auto& watch = *dialog.findChild<tarnwick::app::CWatchWindow*>();
  using Layout = tarnwick::app::CWatchWindow::PlotLayout;
  watch.SetPlotLayout(stacked ? Layout::AxisPerField : Layout::SharedAxis);
  watch.SetIntervalMs(20);
  QElapsedTimer running;
  running.start();
  double steps = rest ? 0 : 1'500'000'000;  // a long run's count: far above the frequency and duty
  const auto move = [&] {
    const double seconds = running.elapsed() / 1000.0;
    const double frequency = rest ? 0 : 2500 + 1500 * std::sin(seconds * 2.1);
    steps += frequency * 0.02;
    tarnwick::sim::BoardState state = board.State();
    state.Store("frequency", static_cast<std::uint32_t>(frequency));
    state.Store("step-count", static_cast<std::uint32_t>(steps));
    state.Store("pulse-duty", rest ? 0 : static_cast<std::uint32_t>(50 + 30 * std::sin(seconds * 3.3)));
    board.SetState(state);
  };
  move();
  watch.Start();
  QTimer stepper;
  QObject::connect(&stepper, &QTimer::timeout, move);
  stepper.start(20);
  for (const int silentAt : {1200, 2100})
    QTimer::singleShot(silentAt, [&] { board.SetFault({tarnwick::sim::FaultKind::NoReply, 2, {}, 1}); });
  while (running.elapsed() < 3000) QApplication::processEvents(QEventLoop::AllEvents, 10);
  watch.Stop();
  QApplication::processEvents();
  watch.AutoScale();
  QApplication::processEvents();
  return Framed(watch);
}

// The dialog with the traffic log window beside it, as on a wide screen.
QPixmap WithTrafficLog(tarnwick::app::CTarnwickDlg& dialog) {
  const QPixmap shot = Framed(dialog);
  dialog.OnShowTrafficLog();
  auto& log = dialog.TrafficLogWindow();
  log.resize(log.WantedSize().width(), dialog.height());
  QApplication::processEvents();
  const QPixmap logShot = Framed(log);
  constexpr int kGap = 8;
  QPixmap both(shot.width() + kGap + logShot.width(), std::max(shot.height(), logShot.height()));
  both.fill(Qt::white);
  QPainter painter(&both);
  painter.drawPixmap(0, 0, shot);
  painter.drawPixmap(shot.width() + kGap, 0, logShot);
  painter.end();
  return both;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s OUTPUT.png [TAB] [log|line|find|watch|sequence|URL|BOARD.yaml]\n", argv[0]);
    return 2;
  }
  QApplication application(argc, argv);
  if (argc > 3 && std::string_view(argv[3]).ends_with(".yaml") && !UseBoardFile(argv[3])) return 2;
  const int tab = argc > 2 ? std::atoi(argv[2]) : tarnwick::pages::kTabCmd12;
  const bool withLog = argc > 3 && std::string(argv[3]) == "log";
  if (argc > 3 && std::string(argv[3]) == "line") {
    using tarnwick::link::DirectionControl;
    tarnwick::app::CLineSettingsDlg line(QStringLiteral("ttyS1"), {{DirectionControl::Kernel, 5, 0}, {}});
    line.show();
    QApplication::processEvents();
    return Framed(line).save(QString::fromLocal8Bit(argv[1])) ? 0 : 1;
  }

  const bool find = argc > 3 && std::string(argv[3]) == "find";
  std::string why;
  const auto board = find ? tarnwick::sim::BoardServer::OnPseudoTerminal(
                                *tarnwick::sim::ParseBoards("01@9600:stepper,05@19200:d-c,2A@115200", why))
                          : tarnwick::sim::BoardServer::OnPseudoTerminal();
  // Listed as a running simulator lists it, so the log names it as the port list does.
  const tarnwick::sim::PortRegistration registration(tarnwick::link::SimRegistryDir(), board->PortPath());
  const std::string listed = (tarnwick::link::SimRegistryDir() / registration.Name()).string();
  tarnwick::app::CTarnwickDlg dialog(
      [&] { return std::vector<tarnwick::link::PortEntry>{{registration.Name(), listed}}; });
  auto& strip = *dialog.findChild<tarnwick::pages::TabStrip*>();
  dialog.SetAddressText("01");
  if (find) return SaveFindShot(dialog, argv[1]);
  if (argc > 3 && tarnwick::link::IsNetworkPortName(argv[3]) && !dialog.AddNetworkPort(argv[3])) return 2;
  dialog.show();
  QApplication::processEvents();
  if (argc > 3 && std::string(argv[3]) == "sequence") return SequenceShot(dialog).save(argv[1]) ? 0 : 1;
  if (argc > 3 && std::string(argv[3]) == "watch") {
    const auto given = [&](const char* word) { return std::find_if(argv + 4, argv + argc, [&](const char* arg) {
                                                 return std::string(arg) == word;
                                               }) != argv + argc; };
    return WatchShot(dialog, *board, given("stacked"), given("rest")).save(QString::fromLocal8Bit(argv[1])) ? 0 : 1;
  }
  if (withLog) SendSome(dialog, strip);
  strip.setCurrentIndex(tab);
  SendAndWait(dialog);
  QApplication::processEvents();

  const QPixmap shot = withLog ? WithTrafficLog(dialog) : Framed(dialog);
  if (!shot.save(QString::fromLocal8Bit(argv[1]))) {
    std::fprintf(stderr, "cannot write %s\n", argv[1]);
    return 1;
  }
  return 0;
}
