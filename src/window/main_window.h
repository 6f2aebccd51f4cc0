#pragma once
// The main window: the tab strip with a page per command of the board description
// and, for the built-in board, the two live test pages, over the shared bottom area (port, line speed,
// address, "Res", Send Data, Recv Data, result line). It is a thin host of the
// exchange: Send hands the exchange these controls' values and the texts of the
// page on display, runs it on a BenchJob (a network port may take seconds to
// connect), and shows the record that comes back.

#include <QDialog>
#include <functional>
#include <map>
#include <optional>
#include <vector>

#include "tools/bench_host.h"
#include "tools/bench_job.h"
#include "tools/traffic_log_model.h"
#include "window/line_settings_dialog.h"

#include "board/exchange.h"
#include "link/port_list.h"
#include "link/transaction.h"
#include "pages/command_page.h"
#include "pages/dialog_builder.h"
#include "pages/dialog_templates.h"
#include "pages/live_test_pages.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace tarnwick::pages {
class TabStrip;
}

namespace tarnwick::app {

class CTrafficLogWindow;

// The Log button's text, and with the mark of an error not yet seen in the log.
inline constexpr std::string_view kLogButtonText = "Log";
inline constexpr std::string_view kLogButtonUnreadText = "Log \u2022";
// The program's icon, built into it (the same file the package installs).
inline constexpr const char* kWindowIconPath = ":/icons/tarnwick.svg";

class CTarnwickDlg : public QDialog, public BenchHost {
  Q_OBJECT

 public:
  using PortEnumerator = std::function<std::vector<link::PortEntry>()>;

  // enumeratePorts lists the ports at start and on "..."; tests hand in their own.
  explicit CTarnwickDlg(PortEnumerator enumeratePorts = [] { return link::EnumeratePorts(); },
                        QWidget* parent = nullptr);
  ~CTarnwickDlg() override;

  // The rate of the baud list's selected entry; 0 when it has none.
  int GetSelectedBaudRate() const override;
  // The port, rate, address and "Res" as the window's controls stand.
  link::LineSettings CurrentLineSettings() const override;
  int CurrentTab() const { return m_currentTab; }
  // The tabs: one per command of the board description, then the built-in board's two live tests.
  int TabCount() const { return static_cast<int>(m_panels.size()); }
  int CommandTabCount() const { return static_cast<int>(m_commandPages.size()); }
  std::string TabName(int tab) const;

  pages::PanelWidget& Panel(int tab) const { return *m_panels.at(static_cast<std::size_t>(tab)); }
  const pages::BuiltControls& Controls() const { return m_controls; }
  TrafficLogModel& LogModel() override { return m_trafficLog; }
  CTrafficLogWindow& TrafficLogWindow() const { return *m_logWindow; }

  // For the remembered settings and the command line's presets.
  std::string SelectedPortName() const override;
  bool SelectPortNamed(const std::string& name) override;  // false, changing nothing, when no listed port has it
  void SetReplyWanted(bool wanted);
  void SelectTab(int tab);
  // Each port's line settings, by port name; a port never set has the defaults.
  PortLine LineOfPort(const std::string& name) const;
  void SetLineOfPort(const std::string& name, const PortLine& line);
  const std::map<std::string, PortLine>& PortLines() const { return m_portLines; }

  // Network ports the user added (rfc2217://HOST:PORT, socket://HOST:PORT), listed
  // after the ports found and remembered in the settings.
  const std::vector<std::string>& NetworkPorts() const { return m_networkPorts; }
  // Lists a network port (once) and selects it; false, with why, for a name that is none.
  bool AddNetworkPort(const std::string& name, std::string* why = nullptr);
  void ForgetNetworkPort(const std::string& name);

  void SetAddressText(const std::string& text) override;
  void SelectBaudIndex(int index) override;

  // The tool the port is lent to (LendPort); empty while it is the window's own.
  const std::string& PortBorrower() const { return m_portBorrower; }

  // Send's exchange is under way: Send is off until it is shown.
  bool Sending() const { return m_sendJob.Running(); }

 signals:
  // The window is closing: tools stop their work and close the port.
  void Closing();
  // Send's exchange has ended and the window shows what it came to.
  void SendEnded();

 public slots:
  void OnOK();  // Send: one exchange for the page on display, off the window's thread
  void OnTabSelChange(int tab);
  void OnPortOrBaudChange();
  void OnRescanPorts();
  void OnShowTrafficLog();  // the Log button
  void OnToggleTrafficLog();  // Ctrl+L
  void OnLineSettings();      // the port list's context menu, Ctrl+Shift+L
  void OnAddNetworkPort();    // the port list's context menu: a name typed in
  void OnFindBoards();        // the window's context menu, Ctrl+F
  void OnWatch();             // the window's context menu, Ctrl+W
  void OnRunSequence();       // the window's context menu, Ctrl+R
  // Every way the window closes (Exit, Esc, Alt+X, the window manager) ends here:
  // a running live test is stopped first, while its port is still selected.
  void done(int result) override;

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void OnInitDialog();
  void ConnectTrafficLog();
  void MarkLogButton(bool unread);
  void FillPortList(const std::string& previousName);
  void HandPortTo(pages::LiveTestPanel& panel) const;
  std::string SelectedPortPath() const;
  std::optional<int> SelectedBaudIndex() const;
  void AddPages();
  void OnSendFinished();
  void ShowSending(bool sending);
  void ShowRecord(const board::ExchangeRecord& record, const std::string& port, int tab);
  std::string RefusalDetail(const board::ExchangeRecord& record) const;
  void InstallTabShortcuts();
  void InstallLineSettingsMenu();
  void InstallToolsMenu();
  void ShowPortBusy();
  std::optional<std::string> TakePortFor(const std::string& borrower) override;
  void TakePortBack() override;

  PortEnumerator m_enumeratePorts;
  pages::BuiltControls m_controls;

  pages::TabStrip* m_tabStrip = nullptr;
  QComboBox* m_comboBaud = nullptr;
  QComboBox* m_comboPort = nullptr;
  QLineEdit* m_editAddress = nullptr;
  QCheckBox* m_chkReply = nullptr;
  QLabel* m_labelResult = nullptr;
  QLabel* m_labelNotice = nullptr;
  QLineEdit* m_editSendData = nullptr;
  QLineEdit* m_editRecvData = nullptr;

  std::vector<pages::CommandPage*> m_commandPages;  // children of the window, in tab order
  std::vector<pages::LiveTestPanel*> m_livePanels;  // children of the window, after the command pages
  std::vector<pages::PanelWidget*> m_panels;  // every tab's page
  TrafficLogModel m_trafficLog;
  CTrafficLogWindow* m_logWindow = nullptr;  // a window of its own, owned by this one
  QPushButton* m_buttonLog = nullptr;
  int m_currentTab = 0;
  std::map<std::string, PortLine> m_portLines;
  std::vector<std::string> m_networkPorts;
  std::string m_portBorrower;  // empty: the window's own
  // Send's exchange: the tab and port it was sent from, and its record once it ends.
  int m_sendTab = 0;
  std::string m_sendPort;
  board::ExchangeRecord m_sentRecord;
  bool m_sendHadFocus = false;
  bool m_closing = false;
  BenchJob m_sendJob;  // last: its work records into m_trafficLog
};

}  // namespace tarnwick::app
