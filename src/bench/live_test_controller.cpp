#include "bench/live_test_controller.h"

#include <algorithm>
#include <utility>

#include "board/board.h"
#include "link/field_text.h"
#include "link/transaction.h"

namespace tarnwick::bench {
namespace {

LiveTestChannel StartChannel(int maxValue, int value) { return {maxValue, std::to_string(value), value}; }

}  // namespace

LiveTestController::LiveTestController(std::string_view source, std::vector<LiveTestChannel> channels,
                                       std::size_t reverseBoxes)
    : source_(source), channels_(std::move(channels)), reverse_(reverseBoxes, false) {}

void LiveTestController::SetPort(std::string path, int baudRate) {
  portPath_ = std::move(path);
  baudRate_ = baudRate;
}

void LiveTestController::BeginStopClicked() {
  if (portPath_.empty()) return;
  running_ = !running_;
  SendTestCommand(!running_, true);
}

void LiveTestController::StopIfRunning() {
  if (running_) BeginStopClicked();
}

void LiveTestController::SliderMoved(int channel, int value) {
  LiveTestChannel& c = Channel(channel);
  c.sliderValue = std::clamp(value, 0, c.maxValue);
  c.text = std::to_string(c.sliderValue);
  if (running_) SendTestCommand(false, false);
}

void LiveTestController::EditTyped(int channel, std::string text) { Channel(channel).text = std::move(text); }

bool LiveTestController::EditLostFocus(int channel, std::string text) {
  LiveTestChannel& c = Channel(channel);
  c.text = std::move(text);
  const std::string trimmed = link::TrimFieldText(c.text);
  if (trimmed.empty()) return false;
  const std::int64_t value = *link::ReadFieldNumber(trimmed, link::NumberForm::Decimal, link::Reading::AsTyped);
  if (value < 0 || value > c.maxValue) return false;
  c.sliderValue = static_cast<int>(value);
  if (running_) SendTestCommand(false, false);
  return true;
}

void LiveTestController::ReverseClicked(int box, bool checked) {
  reverse_.at(static_cast<std::size_t>(box)) = checked;
  if (running_) SendTestCommand(false, true);
}

void LiveTestController::SendTestCommand(bool stop, bool force) {
  // A board that declares no live tests never hears their frames.
  if (board::Current().liveTests.empty()) return;
  const std::vector<std::uint8_t> bytes = stop ? StopFrame() : BuildUpdate(force);
  if (bytes.empty() || portPath_.empty()) return;
  // A port that cannot be opened, or a frame that does not leave, drops this
  // update; only the log says so. Its values are not taken as sent, so the next
  // move, even one that changes nothing, brings the board up to date.
  const link::ExchangeStage stage = link::SendFrames(portPath_, baudRate_, bytes, source_, log_, nullptr, direction_).stage;
  if (stage == link::ExchangeStage::Sent && !stop) RecordUpdateSent();
}

StepperTestController::StepperTestController()
    : LiveTestController("Stepper Test", {StartChannel(kStepperTestMaxFrequency, 2500), StartChannel(kMaxDuty, 100)}, 1) {}

std::vector<std::uint8_t> StepperTestController::BuildUpdate(bool force) {
  const StepperTestFields fields{EditText(kStepperFreq), EditText(kStepperDuty), Reverse(0)};
  StepperTestSend send = BuildStepperTestSend(fields, false, force, last_);
  built_ = send.last;
  return std::move(send.bytes);
}

DcTestController::DcTestController()
    : LiveTestController("D-C Test", {StartChannel(kDcTestMaxFrequency, 10000), StartChannel(kMaxDuty, 100),
                          StartChannel(kDcTestMaxFrequency, 10000), StartChannel(kMaxDuty, 100)},
                         2) {}

std::vector<std::uint8_t> DcTestController::BuildUpdate(bool force) {
  const DcTestFields fields{EditText(kLeftFreq),       EditText(kLeftDuty),        EditText(kRightFreq),
                            EditText(kRightDuty),      Reverse(kLeftReverseBox), Reverse(kRightReverseBox)};
  DcTestSend send = BuildDcTestSend(fields, false, force, last_);
  built_ = send.last;
  return std::move(send.bytes);
}

}  // namespace tarnwick::bench
