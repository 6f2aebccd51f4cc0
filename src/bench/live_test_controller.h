#pragma once
// What the Stepper Test and D-C Test pages do, without any widget: they hold the
// texts of their edits, the values their trackbars show, the Reverse boxes and the
// Begin/Stop state, and send each effective change straight to the port that the
// main window handed them. Every send opens the port, writes once, waits for the
// line to empty and settle, and closes the port again, all inside the call.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "bench/live_test_logic.h"
#include "link/line_control.h"
#include "link/traffic_log.h"

namespace tarnwick::bench {

inline constexpr std::string_view kBeginText = "Begin";
inline constexpr std::string_view kStopText = "Stop";

// One edit and the trackbar that follows it. The trackbar shows values 0..maxValue
// (for the vertical ones, the top is maxValue).
struct LiveTestChannel {
  int maxValue = 0;
  std::string text;  // the edit's text, verbatim as typed
  int sliderValue = 0;
};

class LiveTestController {
 public:
  virtual ~LiveTestController() = default;

  // The main window's handover: an empty path means no port is selected.
  void SetPort(std::string path, int baudRate);
  const std::string& PortPath() const { return portPath_; }
  // Where every send and every port that could not be opened is recorded; none by default.
  void SetTrafficLog(link::TrafficLog* log) { log_ = log; }
  int BaudRate() const { return baudRate_; }
  // Who turns the port's line round while the test sends.
  void SetDirection(const link::DirectionSettings& direction) { direction_ = direction; }

  bool Running() const { return running_; }
  std::string_view ButtonText() const { return running_ ? kStopText : kBeginText; }
  const std::string& EditText(int channel) const { return Channel(channel).text; }
  int SliderValue(int channel) const { return Channel(channel).sliderValue; }
  int SliderMaximum(int channel) const { return Channel(channel).maxValue; }
  bool Reverse(int box) const { return reverse_.at(static_cast<std::size_t>(box)); }

  // Begin or Stop. Without a port nothing happens at all; otherwise starting always
  // sends an update and stopping always sends the stop frame.
  void BeginStopClicked();
  // Any scroll action of a trackbar (drag, keyboard, page, click, end of drag), with
  // the value it now shows: the edit follows, and a running test sends the change.
  void SliderMoved(int channel, int value);
  // Typing only keeps the text; it takes effect when the edit loses the focus.
  void EditTyped(int channel, std::string text);
  // An in-range value moves the trackbar and, while running, is sent; returns
  // whether the trackbar was moved. Empty or out-of-range text changes nothing.
  bool EditLostFocus(int channel, std::string text);
  // While running the direction is sent even when the values are unchanged.
  void ReverseClicked(int box, bool checked);
  // The window is closing: a running test sends the stop frame, as Stop would, so
  // the motor does not outlive the tool. A stopped test sends nothing.
  void StopIfRunning();

 protected:
  // source: the page's name in the log.
  LiveTestController(std::string_view source, std::vector<LiveTestChannel> channels, std::size_t reverseBoxes);

  // The update for the current texts and boxes, or nothing: nothing also when,
  // without force, its values equal the last ones that went out.
  virtual std::vector<std::uint8_t> BuildUpdate(bool force) = 0;
  // The update last built went out on an open port: its values become the last.
  virtual void RecordUpdateSent() = 0;

 private:
  const LiveTestChannel& Channel(int channel) const { return channels_.at(static_cast<std::size_t>(channel)); }
  LiveTestChannel& Channel(int channel) { return channels_.at(static_cast<std::size_t>(channel)); }
  void SendTestCommand(bool stop, bool force);

  std::string_view source_;
  link::TrafficLog* log_ = nullptr;
  std::vector<LiveTestChannel> channels_;
  std::vector<bool> reverse_;
  bool running_ = false;
  std::string portPath_;
  int baudRate_ = 0;
  link::DirectionSettings direction_;
};

enum StepperTestChannel : int { kStepperFreq, kStepperDuty };

class StepperTestController final : public LiveTestController {
 public:
  StepperTestController();
  const StepperTestLast& Last() const { return last_; }

 private:
  std::vector<std::uint8_t> BuildUpdate(bool force) override;
  void RecordUpdateSent() override { last_ = built_; }
  StepperTestLast last_, built_;
};

enum DcTestChannel : int { kLeftFreq, kLeftDuty, kRightFreq, kRightDuty };
enum DcTestReverseBox : int { kLeftReverseBox, kRightReverseBox };

class DcTestController final : public LiveTestController {
 public:
  DcTestController();
  const DcTestLast& Last() const { return last_; }

 private:
  std::vector<std::uint8_t> BuildUpdate(bool force) override;
  void RecordUpdateSent() override { last_ = built_; }
  DcTestLast last_, built_;
};

}  // namespace tarnwick::bench
