#include "tools/bench_host.h"

#include <utility>

namespace tarnwick::app {

PortLoan::PortLoan(PortLoan&& other) noexcept
    : host_(std::exchange(other.host_, nullptr)), whyRefused_(std::move(other.whyRefused_)) {}

PortLoan& PortLoan::operator=(PortLoan&& other) noexcept {
  if (this != &other) {
    GiveBack();
    host_ = std::exchange(other.host_, nullptr);
    whyRefused_ = std::move(other.whyRefused_);
  }
  return *this;
}

void PortLoan::GiveBack() {
  if (BenchHost* host = std::exchange(host_, nullptr)) host->TakePortBack();
}

PortLoan BenchHost::LendPort(const std::string& borrower) {
  if (std::optional<std::string> refused = TakePortFor(borrower)) return PortLoan(std::move(*refused));
  return PortLoan(*this);
}

}  // namespace tarnwick::app
