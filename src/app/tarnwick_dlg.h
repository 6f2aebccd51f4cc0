#pragma once
// The main window: the tab strip with its sixteen pages over the shared bottom area
// (port, line speed, address, "Res", Send Data, Recv Data, result line). It is a
// thin host of the exchange: Send hands the exchange these controls' values and the
// page on display, and shows what comes back.

#include <QDialog>
#include <array>
#include <functional>
#include <map>
#include <optional>
#include <vector>

#include "app/line_settings_dialog.h"
#include "app/traffic_log_model.h"

#include "link/port_list.h"
#include "link/transaction.h"
#include "panels/widgets/command_panels.h"
#include "res/dialog_builder.h"
#include "res/dialog_templates.h"
#include "testpanels/live_test_panels.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace tarnwick::res {
class TabStrip;
}

namespace tarnwick::app {

class CTrafficLogWindow;

// The Log button's text, and with the mark of an error not yet seen in the log.
inline constexpr std::string_view kLogButtonText = "Log";
inline constexpr std::string_view kLogButtonUnreadText = "Log \u2022";
// The program's icon, built into it (the same file the package installs).
inline constexpr const char* kWindowIconPath = ":/icons/tarnwick.svg";

class CTarnwickDlg : public QDialog, public link::TransactionHost {
  Q_OBJECT

 public:
  using PortEnumerator = std::function<std::vector<link::PortEntry>()>;

  // enumeratePorts lists the ports at start and on "..."; tests hand in their own.
  explicit CTarnwickDlg(PortEnumerator enumeratePorts = [] { return link::EnumeratePorts(); },
                        QWidget* parent = nullptr);
  ~CTarnwickDlg() override;

  // The rate of the baud list's selected entry; 0 when it has none.
  int GetSelectedBaudRate() const;
  // The port, rate, address and "Res" as the window's controls stand.
  link::LineSettings CurrentLineSettings() const;
  int CurrentTab() const { return m_currentTab; }

  panels::PanelWidget& Panel(int tab) const { return *m_panels.at(static_cast<std::size_t>(tab)); }
  const res::BuiltControls& Controls() const { return m_controls; }
  TrafficLogModel& LogModel() { return m_trafficLog; }
  CTrafficLogWindow& TrafficLogWindow() const { return *m_logWindow; }

  // For the remembered settings and the command line's presets.
  std::string SelectedPortName() const;
  bool SelectPortNamed(const std::string& name);  // false, changing nothing, when no listed port has it
  void SetReplyWanted(bool wanted);
  void SelectTab(int tab);
  // Each port's line settings, by port name; a port never set has the defaults.
  PortLine LineOfPort(const std::string& name) const;
  void SetLineOfPort(const std::string& name, const PortLine& line);
  const std::map<std::string, PortLine>& PortLines() const { return m_portLines; }

  // link::TransactionHost
  std::uint8_t BuildCommand(link::CommandCode code, std::uint8_t replyFlag, std::span<std::uint8_t> out) override;
  bool ShowReply(link::CommandCode command, std::span<const std::uint8_t> data) override;
  void ClearOutputs() override;
  void ShowFrameBytes(std::span<const std::uint8_t> bytes, bool sent) override;
  void SetResultText(std::string_view text) override;
  void SetAddressText(const std::string& text) override;
  void SelectBaudIndex(int index) override;
  void ShowInvalidParameter() override;
  link::TrafficLog* Traffic() override { return &m_trafficLog; }
  std::vector<std::string> DescribeReply(link::CommandCode command, std::span<const std::uint8_t> data) override;

 public slots:
  void OnOK();  // Send: one exchange for the page on display
  void OnTabSelChange(int tab);
  void OnPortOrBaudChange();
  void OnRescanPorts();
  void OnShowTrafficLog();  // the Log button
  void OnToggleTrafficLog();  // Ctrl+L
  void OnLineSettings();      // the port list's context menu, Ctrl+Shift+L
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
  void HandPortTo(testpanels::LiveTestPanel& panel) const;
  std::string SelectedPortPath() const;
  std::optional<int> SelectedBaudIndex() const;
  panels::CommandFieldSet PanelFields() const;
  void InstallTabShortcuts();
  void InstallLineSettingsMenu();

  PortEnumerator m_enumeratePorts;
  res::BuiltControls m_controls;

  res::TabStrip* m_tabStrip = nullptr;
  QComboBox* m_comboBaud = nullptr;
  QComboBox* m_comboPort = nullptr;
  QLineEdit* m_editAddress = nullptr;
  QCheckBox* m_chkReply = nullptr;
  QLabel* m_labelResult = nullptr;
  QLineEdit* m_editSendData = nullptr;
  QLineEdit* m_editRecvData = nullptr;

  panels::CCMD00Panel m_panelCmd00;
  panels::CCMD11Panel m_panelCmd11;
  panels::CCMD12Panel m_panelCmd12;
  panels::CCMD13Panel m_panelCmd13;
  panels::CCMD21Panel m_panelCmd21;
  panels::CCMD22Panel m_panelCmd22;
  panels::CCMD23Panel m_panelCmd23;
  panels::CCMD24Panel m_panelCmd24;
  panels::CCMD38Panel m_panelCmd38;
  panels::CCMD3FPanel m_panelCmd3F;
  panels::CCMD40Panel m_panelCmd40;
  panels::CCMD41Panel m_panelCmd41;
  panels::CCMD42Panel m_panelCmd42;
  panels::CCMD43Panel m_panelCmd43;
  testpanels::CStepperTestPanel m_panelStepperTest;
  testpanels::CDCTestPanel m_panelDcTest;
  std::array<panels::PanelWidget*, res::kTabCount> m_panels;
  TrafficLogModel m_trafficLog;
  CTrafficLogWindow* m_logWindow = nullptr;  // a window of its own, owned by this one
  QPushButton* m_buttonLog = nullptr;
  int m_currentTab = res::kTabCmd00;
  std::map<std::string, PortLine> m_portLines;

  // Set while an exchange runs; the message box waits until the port is closed.
  bool m_invalidParameter = false;
};

}  // namespace tarnwick::app
