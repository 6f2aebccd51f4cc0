#pragma once
// What a bench tool (Find boards, Watch, Run sequence) needs of the window it
// works for: the line its controls stand for, its traffic log, and its port, lent
// for as long as the tool runs. While the port is out on loan, Send and the live
// tests leave the line alone and say it is busy; the loan ends when its PortLoan
// goes, so no path through a tool can keep the port from the window.

#include <optional>
#include <string>
#include <utility>

#include "link/transaction.h"

namespace tarnwick::app {

class BenchHost;
class TrafficLogModel;

// The window's port, held by one tool. Move-only; gives the port back when it is
// destroyed, assigned over or told to (GiveBack). A refused loan holds nothing and says why.
class PortLoan {
 public:
  PortLoan() = default;
  PortLoan(PortLoan&& other) noexcept;
  PortLoan& operator=(PortLoan&& other) noexcept;
  PortLoan(const PortLoan&) = delete;
  PortLoan& operator=(const PortLoan&) = delete;
  ~PortLoan() { GiveBack(); }

  explicit operator bool() const { return host_ != nullptr; }
  const std::string& WhyRefused() const { return whyRefused_; }
  void GiveBack();

 private:
  friend class BenchHost;
  explicit PortLoan(BenchHost& host) : host_(&host) {}
  explicit PortLoan(std::string whyRefused) : whyRefused_(std::move(whyRefused)) {}

  BenchHost* host_ = nullptr;
  std::string whyRefused_;
};

class BenchHost {
 public:
  // The port for borrower (named in "Port busy: ..."); refused, saying why, while
  // a live test, Send or another tool has it.
  PortLoan LendPort(const std::string& borrower);

  virtual link::LineSettings CurrentLineSettings() const = 0;
  virtual std::string SelectedPortName() const = 0;
  virtual int GetSelectedBaudRate() const = 0;
  virtual TrafficLogModel& LogModel() = 0;
  // Find's Use: the board found becomes the window's.
  virtual bool SelectPortNamed(const std::string& name) = 0;
  virtual void SelectBaudIndex(int index) = 0;
  virtual void SetAddressText(const std::string& text) = 0;

 protected:
  ~BenchHost() = default;

 private:
  friend class PortLoan;
  // Why not when the port is in use; otherwise it is borrower's from now on.
  virtual std::optional<std::string> TakePortFor(const std::string& borrower) = 0;
  virtual void TakePortBack() = 0;
};

}  // namespace tarnwick::app
