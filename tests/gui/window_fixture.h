#pragma once
// The main window against a simulated board on a pseudo-terminal, listed as the
// only port, with every frame the board hears recorded; the one fixture of the
// window's tests.

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "board/board.h"
#include "link/hex_text.h"
#include "pages/control_ids.h"
#include "pages/tab_strip.h"
#include "sim/board_server.h"
#include "testing/needs_pty.h"
#include "tools/watch_window.h"
#include "window/main_window.h"

namespace tarnwick::gui_test {

constexpr int kMain = -1;

// One QApplication for the whole test binary, with a configuration folder of its
// own so that no test reads or writes the user's settings.
class QtEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    qputenv("XDG_CONFIG_HOME", configHome_.path().toLocal8Bit());
    app_ = std::make_unique<QApplication>(argc_, argv_);
  }
  void TearDown() override { app_.reset(); }

 private:
  QTemporaryDir configHome_;
  int argc_ = 1;
  char name_[10] = "gui_tests";
  char* argv_[2] = {name_, nullptr};
  std::unique_ptr<QApplication> app_;
};

// Starts Send (a click, Enter, OnOK) and returns once the window shows what its
// exchange came to; at once when it started none (the port lent to a tool).
inline void SendAndWait(app::CTarnwickDlg& window, const std::function<void()>& start) {
  QSignalSpy ended(&window, &app::CTarnwickDlg::SendEnded);
  start();
  if (window.Sending()) {
    EXPECT_TRUE(ended.wait(30'000)) << "Send's exchange did not end";
  }
}

// Watch opened for address 01, polling every intervalMs.
inline app::CWatchWindow& OpenWatch(app::CTarnwickDlg& window, int intervalMs = 0) {
  window.SetAddressText("01");
  window.OnWatch();
  auto* watch = window.findChild<app::CWatchWindow*>();
  if (!watch) throw std::runtime_error("no Watch window");
  watch->SetIntervalMs(intervalMs);
  return *watch;
}

class WindowFixture : public ::testing::Test {
 public:
  void SetUp() override {
    TARNWICK_NEEDS_PTY();
    board_ = sim::BoardServer::OnPseudoTerminal();
    board_->ObserveTraffic([this](const sim::Bytes& bytes, bool heard) {
      if (!heard) return;
      std::lock_guard lock(mutex_);
      heard_.push_back(link::FormatHexDump(bytes));
    });
    ports_ = {{"sim0", board_->PortPath()}};
    NewWindow();
  }

  // A new window over the ports listed now, as the program starts one.
  void NewWindow() { window_ = std::make_unique<app::CTarnwickDlg>([this] { return ports_; }); }
  // Shown and active, as the keyboard needs it.
  void ShowActive() {
    window_->show();
    window_->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window_.get()));
  }

  app::CTarnwickDlg& Window() { return *window_; }
  // A control that is missing, or not of the kind asked for, ends the test by an
  // exception rather than crashing every test after it.
  QWidget* Control(int tab, int id) {  // tab kMain: the window's own controls
    QWidget* control = tab == kMain ? window_->Controls().find(id) : window_->Panel(tab).controls().find(id);
    if (!control) throw std::runtime_error("tab " + std::to_string(tab) + " has no control " + std::to_string(id));
    return control;
  }
  template <class W>
  W* Get(int tab, int id) {
    W* control = qobject_cast<W*>(Control(tab, id));
    if (!control) throw std::runtime_error(std::to_string(id) + " is no " + W::staticMetaObject.className());
    return control;
  }
  // Types an edit's text, picks a list's entry by its text, or clicks a button.
  void Set(int tab, int id, const char* value) {
    QWidget* control = Control(tab, id);
    if (auto* edit = qobject_cast<QLineEdit*>(control)) edit->setText(QString::fromUtf8(value));
    if (auto* list = qobject_cast<QComboBox*>(control)) list->setCurrentIndex(list->findText(value));
    if (auto* button = qobject_cast<QAbstractButton*>(control)) button->click();
  }
  // An edit's, list's or push button's text; "checked" or "" for a check box or radio button.
  std::string Value(int tab, int id) {
    QWidget* control = Control(tab, id);
    if (auto* edit = qobject_cast<QLineEdit*>(control)) return edit->text().toStdString();
    if (auto* list = qobject_cast<QComboBox*>(control)) return list->currentText().toStdString();
    if (auto* button = qobject_cast<QAbstractButton*>(control)) {
      if (!button->isCheckable()) return button->text().toStdString();
      return button->isChecked() ? "checked" : "";
    }
    return "?";
  }
  void Send() {
    SendAndWait(*window_, [this] { Get<QPushButton>(kMain, pages::ids::window::kSend)->click(); });
  }
  // Send on tab with the address given; the traffic log's rows are in its table afterwards.
  void SendOn(int tab, const char* address) {
    SelectTab(tab);
    Set(kMain, pages::ids::window::kAddress, address);
    Send();
    window_->LogModel().Flush();
  }
  std::string Result() { return Get<QLabel>(kMain, pages::ids::window::kResult)->text().toStdString(); }
  pages::TabStrip* Strip() { return Get<pages::TabStrip>(kMain, pages::ids::window::kTabStrip); }
  void SelectTab(int tab) { Strip()->setCurrentIndex(tab); }

  // The frames the board heard, after waiting up to ten seconds for count of them.
  std::vector<std::string> Heard(std::size_t count = 0) {
    for (int tries = 0;; ++tries) {
      {
        std::lock_guard lock(mutex_);
        if (heard_.size() >= count || tries == 1000) return heard_;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }

  std::vector<link::PortEntry> ports_;  // what the port list's enumeration finds
  std::unique_ptr<sim::BoardServer> board_;
  std::unique_ptr<app::CTarnwickDlg> window_;

 private:
  std::mutex mutex_;
  std::vector<std::string> heard_;
};

}  // namespace tarnwick::gui_test
