#pragma once
// The command line's side of an exchange: it holds what the window's controls
// would hold and records what the exchange shows, for printing afterwards.

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "link/transaction.h"
#include "panels/command_logic.h"

namespace tarnwick::cli {

struct LineSettings {
  std::string portPath;
  int baudIndex = link::kDefaultBaudIndex;
  std::string addressText = "FF";
  bool replyWanted = true;
};

// What one run produced, in the order it is printed.
struct Report {
  std::optional<std::string> sendData, recvData, result;
  std::vector<std::pair<std::string, std::string>> fields;  // label, value
  std::string error;                                        // for standard error
  int exitStatus = 0;
};

class CliHost final : public link::TransactionHost {
 public:
  CliHost(LineSettings line, int tab, panels::CommandFieldSet fields)
      : line_(std::move(line)), tab_(tab), fields_(std::move(fields)) {}

  const Report& GetReport() const { return report_; }
  Report& MutableReport() { return report_; }

  std::string SelectedPortPath() const override { return line_.portPath; }
  std::optional<int> SelectedBaudIndex() const override { return line_.baudIndex; }
  std::string AddressText() const override { return line_.addressText; }
  bool ReplyWanted() const override { return line_.replyWanted; }
  int CurrentTab() const override { return tab_; }

  std::uint8_t BuildCommand(int tab, std::uint8_t replyFlag, std::span<std::uint8_t> out) override;
  std::uint8_t LeftMode() const override { return fields_.cmd22.leftMode; }
  std::uint8_t RightMode() const override { return fields_.cmd22.rightMode; }
  int NewBaudIndex() const override { return fields_.cmd41.baudIndex; }
  bool ShowReply(std::uint8_t command, std::span<const std::uint8_t> data) override;

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
  LineSettings line_;
  int tab_;
  panels::CommandFieldSet fields_;
  Report report_;
};

// Exit status: 0 sent (and, where a reply was awaited, "Success"); 1 any other
// result; 2 invalid or missing parameters; 3 no port or the port cannot be opened.
int ExitStatusOf(const link::ExchangeOutcome& outcome);

std::string FormatText(const Report& report);
std::string FormatJson(const Report& report);

}  // namespace tarnwick::cli
