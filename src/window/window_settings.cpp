#include "window/window_settings.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QLineEdit>
#include <QRadioButton>
#include <algorithm>

#include "link/baud_rates.h"
#include "link/network_port.h"
#include "pages/dialog_templates.h"
#include "window/main_window.h"
#include "window/window_options.h"

namespace tarnwick::app {
namespace {

QString Utf8(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

QString TabName(const CTarnwickDlg& window, int tab) { return Utf8(window.TabName(tab)); }

// The fields a user fills in on a command page: edits, lists, check boxes and radio
// buttons, leaving out the read-only ones that show a reply.
template <class Visit>
void ForEachCommandField(const CTarnwickDlg& window, Visit visit) {
  for (int tab = 0; tab < window.CommandTabCount(); ++tab) {
    for (const pages::BuiltControls::Entry& entry : window.Panel(tab).controls().entries()) {
      if (entry.row->id == pages::kStaticId || (entry.row->style & (pages::kReadOnly | pages::kDisabled))) continue;
      visit(TabName(window, tab) + '/' + QString::number(entry.row->id), entry.widget);
    }
  }
}

QVariant FieldValue(const QWidget* field) {
  if (auto* edit = qobject_cast<const QLineEdit*>(field)) return edit->text();
  if (auto* list = qobject_cast<const QComboBox*>(field)) return list->currentText();
  if (auto* button = qobject_cast<const QAbstractButton*>(field); button && button->isCheckable())
    return button->isChecked();
  return {};
}

void SetFieldValue(QWidget* field, const QVariant& value) {
  if (auto* edit = qobject_cast<QLineEdit*>(field)) {
    edit->setText(value.toString());
  } else if (auto* list = qobject_cast<QComboBox*>(field)) {
    if (const int index = list->findText(value.toString()); index >= 0) list->setCurrentIndex(index);
  } else if (auto* radio = qobject_cast<QRadioButton*>(field)) {
    // A click, as the user's, so the page learns its new choice.
    if (value.toBool()) radio->click();
  } else if (auto* box = qobject_cast<QAbstractButton*>(field); box && box->isCheckable()) {
    box->setChecked(value.toBool());
  }
}

// Each port's line settings under lines/NAME/: rs485, delay_before, delay_after, echo.
void SavePortLines(const CTarnwickDlg& window, QSettings& settings) {
  settings.remove("lines");
  for (const auto& [name, line] : window.PortLines()) {
    if (link::IsNetworkPortName(name)) continue;  // a URL's slashes would make groups of it
    const QString key = "lines/" + Utf8(name) + '/';
    settings.setValue(key + "rs485", Utf8(link::NameOf(line.direction.control)));
    settings.setValue(key + "delay_before", line.direction.delayBeforeMs);
    settings.setValue(key + "delay_after", line.direction.delayAfterMs);
    settings.setValue(key + "echo", Utf8(link::NameOf(line.echo)));
  }
}

// A value that names nothing leaves that setting's default.
void RestorePortLines(CTarnwickDlg& window, const QSettings& settings) {
  const QString suffix = QStringLiteral("/rs485");
  for (const QString& key : settings.allKeys()) {
    if (!key.startsWith("lines/") || !key.endsWith(suffix)) continue;
    const QString group = key.chopped(suffix.size());
    const auto number = [&](const char* name) { return std::clamp(settings.value(group + name).toInt(), 0, 1000); };
    PortLine line;
    line.direction.control =
        link::DirectionControlNamed(settings.value(key).toString().toStdString()).value_or(link::DirectionControl::Off);
    line.direction.delayBeforeMs = number("/delay_before");
    line.direction.delayAfterMs = number("/delay_after");
    line.echo = link::EchoHandlingNamed(settings.value(group + "/echo").toString().toStdString())
                    .value_or(link::EchoHandling::Off);
    window.SetLineOfPort(group.mid(6).toStdString(), line);
  }
}

void ApplyLineOptions(CTarnwickDlg& window, const WindowOptions& options) {
  const std::string port = window.SelectedPortName();
  if (port.empty()) return;
  PortLine line = window.LineOfPort(port);
  if (options.rs485) line.direction.control = *options.rs485;
  if (options.rs485DelayBeforeMs) line.direction.delayBeforeMs = *options.rs485DelayBeforeMs;
  if (options.rs485DelayAfterMs) line.direction.delayAfterMs = *options.rs485DelayAfterMs;
  if (options.echo) line.echo = *options.echo;
  window.SetLineOfPort(port, line);
}

// "board-" and the board's words of letters and digits, in lower case, joined by
// hyphens: a file name whatever the board is called.
QString SettingsNameOf(const board::Board& board) {
  if (board::IsBuiltIn(board)) return QStringLiteral("tarnwick");
  QString name = QStringLiteral("board");
  bool betweenWords = true;
  for (const QChar c : Utf8(board.name).toLower()) {
    if (!c.isLetterOrNumber()) {
      betweenWords = true;
      continue;
    }
    if (betweenWords) name += '-';
    name += c;
    betweenWords = false;
  }
  return name;
}

}  // namespace

std::unique_ptr<QSettings> OpenUserSettings(const board::Board& board) {
  return std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("tarnwick"),
                                     SettingsNameOf(board));
}

void SaveWindowSettings(const CTarnwickDlg& window, QSettings& settings, const WindowOptions& presets) {
  const link::LineSettings line = window.CurrentLineSettings();
  // A value still as the command line preset it was for this start only.
  const auto keep = [&settings](const char* key, const auto& preset, const auto& shown, const QVariant& value) {
    if (!preset || *preset != shown) settings.setValue(key, value);
  };
  QStringList networkPorts;
  for (const std::string& name : window.NetworkPorts()) networkPorts << Utf8(name);
  settings.setValue("window/network_ports", networkPorts);
  keep("window/port", presets.portName, window.SelectedPortName(), Utf8(window.SelectedPortName()));
  keep("window/baud", presets.baudIndex, line.baudIndex, window.GetSelectedBaudRate());
  keep("window/address", presets.address, line.addressText, Utf8(line.addressText));
  settings.setValue("window/res", line.replyWanted);
  keep("window/tab", presets.tab, window.CurrentTab(), TabName(window, window.CurrentTab()));
  SavePortLines(window, settings);
  ForEachCommandField(window, [&settings](const QString& key, const QWidget* field) {
    if (const QVariant value = FieldValue(field); value.isValid()) settings.setValue("pages/" + key, value);
  });
  settings.sync();
}

void RestoreWindowSettings(CTarnwickDlg& window, const QSettings& settings) {
  const std::string firstListed = window.SelectedPortName();
  for (const QString& name : settings.value("window/network_ports").toStringList())
    window.AddNetworkPort(name.toStdString());
  window.SelectPortNamed(firstListed);
  if (settings.contains("window/port")) window.SelectPortNamed(settings.value("window/port").toString().toStdString());
  if (const auto index = link::BaudIndexOf(settings.value("window/baud").toInt())) window.SelectBaudIndex(*index);
  if (settings.contains("window/address")) window.SetAddressText(settings.value("window/address").toString().toStdString());
  if (settings.contains("window/res")) window.SetReplyWanted(settings.value("window/res").toBool());
  RestorePortLines(window, settings);
  ForEachCommandField(window, [&settings](const QString& key, QWidget* field) {
    if (settings.contains("pages/" + key)) SetFieldValue(field, settings.value("pages/" + key));
  });
  // Last, so that a live test page shown at start is handed the restored port.
  if (const auto tab = TabNamed(settings.value("window/tab").toString().toStdString())) window.SelectTab(*tab);
}

void ApplyWindowOptions(CTarnwickDlg& window, const WindowOptions& options) {
  if (options.portName && !window.SelectPortNamed(*options.portName)) window.AddNetworkPort(*options.portName);
  if (options.baudIndex) window.SelectBaudIndex(*options.baudIndex);
  if (options.portName || options.baudIndex) window.OnPortOrBaudChange();
  if (options.address) window.SetAddressText(*options.address);
  if (options.tab) window.SelectTab(*options.tab);
  if (options.rs485 || options.rs485DelayBeforeMs || options.rs485DelayAfterMs || options.echo)
    ApplyLineOptions(window, options);
}

}  // namespace tarnwick::app
