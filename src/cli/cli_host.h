#pragma once
// The command line's side of an exchange: it holds what the window's panels would
// hold and records what the exchange shows, for printing afterwards.

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "link/transaction.h"
#include "panels/command_logic.h"

namespace tarnwick::cli {

// What one run produced, in the order it is printed.
struct Report {
  std::optional<std::string> sendData, recvData, result;
  std::vector<std::pair<std::string, std::string>> fields;  // label, value
  std::string error;                                        // for standard error
  int exitStatus = 0;
};

class CliHost final : public link::TransactionHost {
 public:
  explicit CliHost(panels::CommandFieldSet fields) : fields_(std::move(fields)) {}

  const Report& GetReport() const { return report_; }
  Report& MutableReport() { return report_; }

  std::uint8_t BuildCommand(link::CommandCode code, std::uint8_t replyFlag, std::span<std::uint8_t> out) override;
  bool ShowReply(link::CommandCode command, std::span<const std::uint8_t> data) override;

  void ClearOutputs() override { report_ = {}; }
  void ShowFrameBytes(std::span<const std::uint8_t> bytes, bool sent) override;
  void SetResultText(std::string_view text) override { report_.result = std::string(text); }
  void SetAddressText(const std::string& text) override { report_.fields.emplace_back("Addr", text); }
  void SelectBaudIndex(int index) override;
  void ShowInvalidParameter() override { report_.error = std::string(link::kInvalidParameterMessage); }
  void PortUnavailable(const std::string& path, const link::OpenError& error) override {
    report_.error = link::DescribeOpenError(path, error);
  }

 private:
  panels::CommandFieldSet fields_;
  Report report_;
};

// Exit status: 0 sent (and, where a reply was awaited, "Success"); 1 any other
// result; 2 invalid or missing parameters; 3 no port or the port cannot be opened.
int ExitStatusOf(const link::ExchangeOutcome& outcome);

std::string FormatText(const Report& report);
std::string FormatJson(const Report& report);

}  // namespace tarnwick::cli
