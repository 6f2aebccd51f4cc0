#include "window/main_window.h"

#include <QAbstractItemView>
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QShortcut>

#include "bench/option_values.h"
#include "link/baud_rates.h"
#include "link/field_text.h"
#include "link/hex_text.h"
#include "link/network_port.h"
#include "link/serial_port.h"
#include "pages/control_ids.h"
#include "pages/tab_strip.h"
#include "tools/find_boards_dialog.h"
#include "tools/sequence_window.h"
#include "tools/traffic_log_window.h"
#include "tools/watch_window.h"
#include "window/add_network_port_dialog.h"
#include "window/window_options.h"

namespace tarnwick::app {
namespace {

namespace window = pages::ids::window;

QString Utf8(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// A tool window, made on first use as a child of the window; it stops its work
// when the window closes.
template <class Tool>
void OpenTool(CTarnwickDlg& window) {
  auto* tool = window.findChild<Tool*>(QString(), Qt::FindDirectChildrenOnly);
  if (!tool) {
    tool = new Tool(window, window);
    QObject::connect(&window, &CTarnwickDlg::Closing, tool, &Tool::OnWindowClosing);
  }
  tool->show();
  tool->raise();
  tool->activateWindow();
}

}  // namespace

CTarnwickDlg::CTarnwickDlg(PortEnumerator enumeratePorts, QWidget* parent)
    : QDialog(parent),
      m_enumeratePorts(std::move(enumeratePorts)),
      m_controls(pages::BuildControls(pages::FindDialogTemplate(pages::kMainDialogTemplate), this)) {
  m_tabStrip = m_controls.get<pages::TabStrip>(window::kTabStrip);
  m_editAddress = m_controls.get<QLineEdit>(window::kAddress);
  m_comboBaud = m_controls.get<QComboBox>(window::kBaudList);
  m_comboPort = m_controls.get<QComboBox>(window::kPortList);
  m_chkReply = m_controls.get<QCheckBox>(window::kReply);
  m_labelResult = m_controls.get<QLabel>(window::kResult);
  m_labelNotice = m_controls.get<QLabel>(window::kNotice);
  m_labelNotice->setStyleSheet("QLabel { color: #b00000; font-weight: bold; }");
  m_labelNotice->setWordWrap(true);
  m_labelNotice->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  m_editSendData = m_controls.get<QLineEdit>(window::kSendData);
  m_editRecvData = m_controls.get<QLineEdit>(window::kRecvData);
  m_buttonLog = m_controls.get<QPushButton>(window::kLog);
  AddPages();
  OnInitDialog();
  ConnectTrafficLog();
}

// The log window goes before the model it shows, Watch (and its worker) before the log it writes.
CTarnwickDlg::~CTarnwickDlg() {
  m_sendJob.StopAndWait();
  // The tools go while the window is whole: a port they still hold comes back to it.
  delete findChild<CFindBoardsDlg*>(QString(), Qt::FindDirectChildrenOnly);
  delete findChild<CWatchWindow*>(QString(), Qt::FindDirectChildrenOnly);
  delete findChild<CSequenceWindow*>(QString(), Qt::FindDirectChildrenOnly);
  delete m_logWindow;
}

void CTarnwickDlg::ConnectTrafficLog() {
  // A child of the dialog, so the modal dialog leaves it usable.
  m_logWindow = new CTrafficLogWindow(m_trafficLog, this);
  for (pages::LiveTestPanel* live : m_livePanels) live->SetTrafficLog(&m_trafficLog);
  connect(m_buttonLog, &QPushButton::clicked, this, &CTarnwickDlg::OnShowTrafficLog);
  for (QWidget* window : {static_cast<QWidget*>(this), static_cast<QWidget*>(m_logWindow)}) {
    auto* key = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_L), window);
    connect(key, &QShortcut::activated, this, &CTarnwickDlg::OnToggleTrafficLog);
  }
  connect(&m_trafficLog, &TrafficLogModel::OpenFailureRecorded, this, [this] {
    if (!m_logWindow->isVisible()) MarkLogButton(true);
  });
}

void CTarnwickDlg::OnInitDialog() {
  const pages::DialogTemplate& dialog = pages::FindDialogTemplate(pages::kMainDialogTemplate);
  setWindowTitle(Utf8(board::BuiltInInUse() ? dialog.caption : board::Current().name));
  setWindowIcon(QIcon(QString::fromLatin1(kWindowIconPath)));
  setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
  setFixedSize(pages::DialogPixelSize(dialog));

  for (int tab = 0; tab < TabCount(); ++tab) m_tabStrip->addTab(Utf8(TabName(tab)));

  FillPortList({});

  for (std::size_t i = 0; i < link::kBaudRates.size(); ++i) {
    m_comboBaud->addItem(QString::number(link::kBaudRates[i]), static_cast<int>(i));
    if (static_cast<int>(i) == link::kDefaultBaudIndex) m_comboBaud->setCurrentIndex(static_cast<int>(i));
  }

  m_editAddress->setText(QStringLiteral("FF"));
  m_chkReply->setChecked(true);

  // The pages lie over the tab strip's display area, above the strip itself.
  const QRect pageArea = m_tabStrip->displayRect().translated(m_tabStrip->pos());
  for (pages::PanelWidget* panel : m_panels) {
    panel->setParent(this);
    panel->setGeometry(pageArea);
    panel->hide();
  }
  m_tabStrip->setCurrentIndex(m_currentTab);
  m_panels[static_cast<std::size_t>(m_currentTab)]->show();

  auto* send = m_controls.get<QPushButton>(window::kSend);
  send->setDefault(true);
  connect(send, &QPushButton::clicked, this, &CTarnwickDlg::OnOK);
  connect(&m_sendJob, &BenchJob::Finished, this, &CTarnwickDlg::OnSendFinished);
  connect(m_controls.get<QPushButton>(window::kExit), &QPushButton::clicked, this, &QDialog::reject);
  connect(m_controls.get<QPushButton>(window::kRescan), &QPushButton::clicked, this, &CTarnwickDlg::OnRescanPorts);
  connect(m_tabStrip, &pages::TabStrip::currentChanged, this, &CTarnwickDlg::OnTabSelChange);
  // Only the user's choices reach the live test pages; a CMD41 reply moving the
  // baud list does not.
  connect(m_comboPort, &QComboBox::activated, this, &CTarnwickDlg::OnPortOrBaudChange);
  // The box is as narrow as the original dialog's; a network port's URL shows
  // whole in its tooltip.
  connect(m_comboPort, &QComboBox::currentIndexChanged, this,
          [this] { m_comboPort->setToolTip(m_comboPort->currentData().toString()); });
  connect(m_comboBaud, &QComboBox::activated, this, &CTarnwickDlg::OnPortOrBaudChange);
  InstallTabShortcuts();
  InstallLineSettingsMenu();
  InstallToolsMenu();
}

// The bench tools live in a context menu and behind shortcuts, so the window's
// own layout stays as it is.
void CTarnwickDlg::InstallToolsMenu() {
  struct Tool {
    const char* text;
    QKeyCombination key;
    void (CTarnwickDlg::*open)();
  };
  static const Tool tools[] = {{"Find boards...", Qt::CTRL | Qt::Key_F, &CTarnwickDlg::OnFindBoards},
                               {"Watch...", Qt::CTRL | Qt::Key_W, &CTarnwickDlg::OnWatch},
                               {"Run sequence...", Qt::CTRL | Qt::Key_R, &CTarnwickDlg::OnRunSequence}};
  for (const Tool& tool : tools) {
    auto* action = new QAction(tr(tool.text), this);
    action->setShortcut(QKeySequence(tool.key));
    action->setShortcutContext(Qt::WindowShortcut);
    connect(action, &QAction::triggered, this, tool.open);
    addAction(action);
  }
  setContextMenuPolicy(Qt::ActionsContextMenu);
}

std::optional<std::string> CTarnwickDlg::TakePortFor(const std::string& borrower) {
  if (!m_portBorrower.empty()) return m_portBorrower + " is using the port";
  if (Sending()) return "Send is using the port";
  for (const pages::LiveTestPanel* live : m_livePanels)
    if (live->controller().Running()) return "a live test is running: stop it first";
  m_portBorrower = borrower;
  for (pages::LiveTestPanel* live : m_livePanels) live->setEnabled(false);
  ShowPortBusy();
  return std::nullopt;
}

void CTarnwickDlg::TakePortBack() {
  m_portBorrower.clear();
  for (pages::LiveTestPanel* live : m_livePanels) live->setEnabled(true);
  m_labelResult->clear();
}

void CTarnwickDlg::ShowPortBusy() {
  m_labelResult->setText(tr("Port busy: %1").arg(Utf8(m_portBorrower)));
}

void CTarnwickDlg::OnFindBoards() { OpenTool<CFindBoardsDlg>(*this); }

void CTarnwickDlg::OnWatch() { OpenTool<CWatchWindow>(*this); }

void CTarnwickDlg::OnRunSequence() { OpenTool<CSequenceWindow>(*this); }

void CTarnwickDlg::InstallLineSettingsMenu() {
  m_comboPort->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(m_comboPort, &QComboBox::customContextMenuRequested, this, [this](const QPoint& at) {
    QMenu menu(this);
    QAction* lineSettings = menu.addAction(tr("Line settings..."));
    lineSettings->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_L));
    lineSettings->setEnabled(m_comboPort->currentIndex() >= 0);
    QAction* addNetwork = menu.addAction(tr("Add network port..."));
    const std::string selected = SelectedPortName();
    QAction* forget = menu.addAction(tr("Forget this network port"));
    forget->setEnabled(link::IsNetworkPortName(selected));
    QAction* chosen = menu.exec(m_comboPort->mapToGlobal(at));
    if (chosen == lineSettings) OnLineSettings();
    if (chosen == addNetwork) OnAddNetworkPort();
    if (chosen == forget) ForgetNetworkPort(selected);
  });
  auto* shortcut = new QShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_L), this);
  connect(shortcut, &QShortcut::activated, this, &CTarnwickDlg::OnLineSettings);
}

PortLine CTarnwickDlg::LineOfPort(const std::string& name) const {
  const auto found = m_portLines.find(name);
  return found == m_portLines.end() ? PortLine{} : found->second;
}

void CTarnwickDlg::SetLineOfPort(const std::string& name, const PortLine& line) {
  if (line == PortLine{}) {
    m_portLines.erase(name);
  } else {
    m_portLines[name] = line;
  }
  OnPortOrBaudChange();
}

void CTarnwickDlg::OnLineSettings() {
  const std::string name = SelectedPortName();
  if (name.empty()) return;
  CLineSettingsDlg dialog(Utf8(name), LineOfPort(name), this);
  if (dialog.exec() == QDialog::Accepted) SetLineOfPort(name, dialog.Line());
}

void CTarnwickDlg::OnAddNetworkPort() {
  CAddNetworkPortDlg dialog(this);
  if (dialog.exec() == QDialog::Accepted) AddNetworkPort(dialog.Name());
}

bool CTarnwickDlg::AddNetworkPort(const std::string& name, std::string* why) {
  if (!link::ParseNetworkPortName(name, why)) return false;
  if (std::find(m_networkPorts.begin(), m_networkPorts.end(), name) == m_networkPorts.end()) {
    m_networkPorts.push_back(name);
    FillPortList(SelectedPortName());
  }
  SelectPortNamed(name);
  OnPortOrBaudChange();
  return true;
}

void CTarnwickDlg::ForgetNetworkPort(const std::string& name) {
  if (std::erase(m_networkPorts, name) == 0) return;
  FillPortList(SelectedPortName());
  OnPortOrBaudChange();
}

// A page per command of the board in use, in the description's order; the live
// test pages the board declares follow.
void CTarnwickDlg::AddPages() {
  for (const board::Command& command : board::Current().commands) {
    m_commandPages.push_back(new pages::CommandPage(command, this));
    m_panels.push_back(m_commandPages.back());
  }
  for (const int tab : LiveTestTabs(board::Current())) {
    if (tab == pages::kTabStepperTest) m_livePanels.push_back(new pages::CStepperTestPanel(this));
    if (tab == pages::kTabDcTest) m_livePanels.push_back(new pages::CDCTestPanel(this));
  }
  m_panels.insert(m_panels.end(), m_livePanels.begin(), m_livePanels.end());
}

std::string CTarnwickDlg::TabName(int tab) const {
  if (tab >= 0 && tab < CommandTabCount()) return m_commandPages[static_cast<std::size_t>(tab)]->Command().name;
  const auto live = static_cast<std::size_t>(tab - CommandTabCount());
  return std::string(pages::kTabPages.at(static_cast<std::size_t>(LiveTestTabs(board::Current()).at(live))).text);
}

// Ctrl+Tab and Ctrl+PgDn step to the next tab, with Shift or PgUp to the one
// before, wrapping round, wherever the focus is in the window.
void CTarnwickDlg::InstallTabShortcuts() {
  const auto step = [this](QKeyCombination keys, int by) {
    auto* shortcut = new QShortcut(QKeySequence(keys), this);
    connect(shortcut, &QShortcut::activated, this, [this, by] {
      SelectTab((m_currentTab + by + TabCount()) % TabCount());
    });
  };
  step(Qt::CTRL | Qt::Key_Tab, 1);
  step(Qt::CTRL | Qt::Key_PageDown, 1);
  step(Qt::CTRL | Qt::SHIFT | Qt::Key_Backtab, -1);  // what Shift+Tab arrives as
  step(Qt::CTRL | Qt::SHIFT | Qt::Key_Tab, -1);
  step(Qt::CTRL | Qt::Key_PageUp, -1);
}

void CTarnwickDlg::FillPortList(const std::string& previousName) {
  m_comboPort->clear();
  std::vector<link::PortEntry> listed = m_enumeratePorts();
  for (const std::string& network : m_networkPorts) listed.push_back({network, network});
  for (const link::PortEntry& port : listed) {
    m_comboPort->addItem(Utf8(port.name), Utf8(port.path));
    m_comboPort->setItemData(m_comboPort->count() - 1, Utf8(port.path), Qt::ToolTipRole);
  }
  m_comboPort->setCurrentIndex(link::SelectionAfterRescan(listed, previousName));
  m_comboPort->setToolTip(m_comboPort->currentData().toString());
  // A network port's name is longer than the list is wide: its entries show whole when it opens.
  m_comboPort->view()->setMinimumWidth(m_comboPort->view()->sizeHintForColumn(0) + 24);
}

int CTarnwickDlg::GetSelectedBaudRate() const {
  const std::optional<int> index = SelectedBaudIndex();
  return index ? link::BaudRateAt(*index).value_or(0) : 0;
}

void CTarnwickDlg::HandPortTo(pages::LiveTestPanel& panel) const {
  panel.SetPort(SelectedPortPath(), GetSelectedBaudRate());
  panel.SetDirection(LineOfPort(SelectedPortName()).direction);
}

// ---- Handlers ----

// What the exchange reads is taken from the controls now; it runs on m_sendJob, its
// log entries going straight to the (thread-safe) log, and is shown once it ends.
void CTarnwickDlg::OnOK() {
  if (Sending()) return;
  if (!m_portBorrower.empty()) {
    ShowPortBusy();
    return;
  }
  const link::LineSettings line = CurrentLineSettings();
  m_sendTab = m_currentTab;
  m_sendPort = line.portPath;
  std::optional<board::Command> command;
  board::FieldTexts texts;
  if (m_sendTab < CommandTabCount()) {
    const pages::CommandPage& page = *m_commandPages[static_cast<std::size_t>(m_sendTab)];
    command = page.Command();
    texts = page.Texts();
  }
  ShowSending(true);
  m_sendJob.Start([this, line, command = std::move(command), texts = std::move(texts)](const std::atomic<bool>&) {
    board::ExchangeRecord record =
        command ? board::SendCommand(line, *command, texts, &m_trafficLog) : board::SendNothing(line, &m_trafficLog);
    m_sendJob.Post([this, record = std::move(record)]() mutable { m_sentRecord = std::move(record); });
  });
}

void CTarnwickDlg::OnSendFinished() {
  ShowRecord(m_sentRecord, m_sendPort, m_sendTab);
  ShowSending(false);
  // Shown once the port is closed again; not to a window that is closing.
  if (m_sentRecord.outcome.stage == link::ExchangeStage::InvalidParameter && !m_closing) {
    QMessageBox box(QMessageBox::NoIcon, Utf8(link::kInvalidParameterCaption), Utf8(link::kInvalidParameterMessage),
                    QMessageBox::Ok, this);
    box.setInformativeText(Utf8(RefusalDetail(m_sentRecord)));
    box.exec();
  }
  emit SendEnded();
}

// While Send's exchange runs, Send is off and the live tests leave the line alone.
void CTarnwickDlg::ShowSending(bool sending) {
  auto* send = m_controls.get<QPushButton>(window::kSend);
  if (sending) {
    // A button turned off hands its focus on to the next control (Exit), where a key
    // meant for Send would land: the window itself holds it meanwhile.
    m_sendHadFocus = focusWidget() == send;
    if (m_sendHadFocus) setFocus();
  }
  send->setEnabled(!sending);
  for (pages::LiveTestPanel* live : m_livePanels) live->setEnabled(!sending);
  if (!sending && m_sendHadFocus && focusWidget() == this) send->setFocus();
}

// The refused field and what it takes, as the command line words it for the same text.
std::string CTarnwickDlg::RefusalDetail(const board::ExchangeRecord& record) const {
  if (m_sendTab >= CommandTabCount()) return record.refusal;
  const pages::CommandPage& page = *m_commandPages[static_cast<std::size_t>(m_sendTab)];
  const board::Field* field = page.Command().request.Find(record.refusedField);
  if (!field) return record.refusal;
  const board::FieldTexts texts = page.Texts();
  const auto typed = texts.find(field->name);
  const std::string detail =
      bench::OptionRefusal(*field, link::TrimFieldText(typed != texts.end() ? typed->second : field->defaultText));
  return detail.empty() ? record.refusal : detail;
}

// The result line stays empty for a port that will not open; the notice under it
// says why until an exchange opens the port again.
void CTarnwickDlg::ShowRecord(const board::ExchangeRecord& record, const std::string& port, int tab) {
  const bool unreachable = record.outcome.stage == link::ExchangeStage::PortUnavailable;
  m_labelNotice->setText(unreachable ? tr("Not sent: %1").arg(Utf8(link::DescribeOpenError(port, record.openError)))
                                     : QString());
  m_labelNotice->setToolTip(m_labelNotice->text());
  const auto hex = [](const std::optional<link::Bytes>& bytes) {
    return bytes ? Utf8(link::FormatHexDump(*bytes)) : QString();
  };
  m_editSendData->setText(hex(record.sent));
  m_editRecvData->setText(hex(record.received));
  m_labelResult->setText(Utf8(record.outcome.result));
  if (record.address) SetAddressText(link::FormatHexByte(*record.address));
  if (record.baudIndex) SelectBaudIndex(*record.baudIndex);
  if (tab < CommandTabCount()) m_commandPages[static_cast<std::size_t>(tab)]->ShowReply(record.fields);
}

void CTarnwickDlg::OnTabSelChange(int tab) {
  if (tab == m_currentTab || tab < 0 || tab >= TabCount()) return;
  m_currentTab = tab;
  for (pages::PanelWidget* panel : m_panels) panel->hide();
  if (tab >= CommandTabCount()) HandPortTo(*m_livePanels[static_cast<std::size_t>(tab - CommandTabCount())]);
  m_panels[static_cast<std::size_t>(tab)]->show();
}

void CTarnwickDlg::OnPortOrBaudChange() {
  for (pages::LiveTestPanel* live : m_livePanels) HandPortTo(*live);
}

void CTarnwickDlg::OnRescanPorts() { FillPortList(m_comboPort->currentText().toStdString()); }

void CTarnwickDlg::OnShowTrafficLog() {
  m_trafficLog.Flush();
  m_logWindow->ShowBeside(*this);
  MarkLogButton(false);
}

void CTarnwickDlg::OnToggleTrafficLog() {
  if (m_logWindow->isVisible()) {
    m_logWindow->hide();
  } else {
    OnShowTrafficLog();
  }
}

// An exchange under way is waited for and shown first: the settings saved after
// closing keep a rate or address it changed, and a live test's stop frame finds
// the port free.
void CTarnwickDlg::done(int result) {
  {
    const QScopedValueRollback closing(m_closing, true);
    m_sendJob.FinishNow();
  }
  emit Closing();
  for (pages::LiveTestPanel* live : m_livePanels) live->StopIfRunning();
  QDialog::done(result);
}

void CTarnwickDlg::MarkLogButton(bool unread) {
  m_buttonLog->setText(Utf8(unread ? kLogButtonUnreadText : kLogButtonText));
}

void CTarnwickDlg::keyPressEvent(QKeyEvent* event) {
  // Enter in the window's own controls sends; a focused push button has already
  // taken its own Enter. Escape ends the program.
  if (event->modifiers() == Qt::NoModifier || event->modifiers() == Qt::KeypadModifier) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
      OnOK();
      return;
    }
  }
  QDialog::keyPressEvent(event);
}

// ---- Settings and presets ----

std::string CTarnwickDlg::SelectedPortName() const { return m_comboPort->currentText().toStdString(); }

bool CTarnwickDlg::SelectPortNamed(const std::string& name) {
  const int index = m_comboPort->findText(Utf8(name), Qt::MatchFixedString | Qt::MatchCaseSensitive);
  if (index >= 0) m_comboPort->setCurrentIndex(index);
  return index >= 0;
}

void CTarnwickDlg::SetReplyWanted(bool wanted) { m_chkReply->setChecked(wanted); }

void CTarnwickDlg::SelectTab(int tab) { m_tabStrip->setCurrentIndex(tab); }

// ---- What the exchange reads ----

std::string CTarnwickDlg::SelectedPortPath() const {
  return m_comboPort->currentIndex() < 0 ? std::string() : m_comboPort->currentData().toString().toStdString();
}

std::optional<int> CTarnwickDlg::SelectedBaudIndex() const {
  if (m_comboBaud->currentIndex() < 0) return std::nullopt;
  return m_comboBaud->currentData().toInt();
}

link::LineSettings CTarnwickDlg::CurrentLineSettings() const {
  const PortLine portLine = LineOfPort(SelectedPortName());
  return {SelectedPortPath(), SelectedBaudIndex().value_or(-1), m_editAddress->text().toStdString(),
          m_chkReply->isChecked(), {}, portLine.direction, portLine.echo};
}

// ---- What the exchange shows ----

void CTarnwickDlg::SetAddressText(const std::string& text) { m_editAddress->setText(Utf8(text)); }

void CTarnwickDlg::SelectBaudIndex(int index) { m_comboBaud->setCurrentIndex(index); }

}  // namespace tarnwick::app
