#pragma once
// The main window against a simulated board on a pseudo-terminal, listed as the
// only port, with every frame the board hears recorded.

#include <gtest/gtest.h>

#include <QApplication>
#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/tarnwick_dlg.h"
#include "link/hex_text.h"
#include "res/tab_strip.h"
#include "sim/board_server.h"

namespace tarnwick::gui_test {

// One QApplication for the whole test binary.
class QtEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    static int argc = 1;
    static char name[] = "gui_tests";
    static char* argv[] = {name, nullptr};
    app_ = std::make_unique<QApplication>(argc, argv);
  }
  void TearDown() override { app_.reset(); }

 private:
  std::unique_ptr<QApplication> app_;
};

class WindowFixture : public ::testing::Test {
 public:
  void SetUp() override {
    board_ = sim::BoardServer::OnPseudoTerminal();
    board_->ObserveTraffic([this](const sim::Bytes& bytes, bool heard) {
      if (!heard) return;
      std::lock_guard lock(mutex_);
      heard_.push_back(link::FormatHexDump(bytes));
    });
    ports_ = {{"sim0", board_->PortPath()}};
    window_ = std::make_unique<app::CTarnwickDlg>([this] { return ports_; });
  }

  app::CTarnwickDlg& Window() { return *window_; }
  template <class W>
  W* MainControl(int id) {
    return window_->Controls().get<W>(id);
  }
  template <class W>
  W* PanelControl(int tab, int id) {
    return window_->Panel(tab).controls().get<W>(id);
  }
  res::TabStrip* Strip() { return MainControl<res::TabStrip>(1000); }
  void SelectTab(int tab) { Strip()->setCurrentIndex(tab); }

  // The frames the board heard, after waiting up to a second for count of them.
  std::vector<std::string> Heard(std::size_t count = 0) {
    for (int i = 0; i < 100; ++i) {
      {
        std::lock_guard lock(mutex_);
        if (heard_.size() >= count) return heard_;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    std::lock_guard lock(mutex_);
    return heard_;
  }

  std::vector<link::PortEntry> ports_;  // what the port list's enumeration finds
  std::unique_ptr<sim::BoardServer> board_;
  std::unique_ptr<app::CTarnwickDlg> window_;

 private:
  std::mutex mutex_;
  std::vector<std::string> heard_;
};

}  // namespace tarnwick::gui_test
