#include "bench/live_test_logic.h"

#include <algorithm>
#include <array>
#include <optional>
#include <span>
#include <string_view>

#include "board/board.h"
#include "board/codec.h"
#include "link/field_text.h"
#include "link/frame.h"

namespace tarnwick::bench {
namespace {

constexpr int kMaxFrameFrequency = 0xFFFF;

// The value of a live field when it lies in [min, max]; otherwise nullopt, and
// reason says why in the panel's words.
std::optional<int> ReadLiveField(std::string_view text, std::string_view label, int min, int max,
                                 std::string& reason) {
  const std::string trimmed = link::TrimFieldText(text);
  if (trimmed.empty()) {
    reason = std::string(label) + " is empty";
    return std::nullopt;
  }
  const std::int64_t value = *link::ReadFieldNumber(trimmed, link::NumberForm::Decimal, link::Reading::AsTyped);
  if (value < min || value > max) {
    reason = std::string(label) + " must be " + std::to_string(min) + " to " + std::to_string(max);
    return std::nullopt;
  }
  return static_cast<int>(value);
}

// Appends one broadcast frame without the reply flag for each command the board
// in use sends for test, encoded by the codec the command pages use, so the live
// tests and the pages never differ.
void AppendBroadcastFrames(std::vector<std::uint8_t>& bytes, board::LiveTest test, const board::FieldTexts& texts) {
  const board::Board& board = board::Current();
  const board::LiveTestUse* use = board.FindLiveTest(test);
  if (use == nullptr) return;
  for (const std::string& name : use->sends) {
    const auto encoded = board::Encode(*board.FindNamed(name), texts, false);
    if (!encoded) continue;
    const link::Bytes frame = board.framing.Make(link::kBroadcastAddress, *encoded);
    bytes.insert(bytes.end(), frame.begin(), frame.end());
  }
}

template <typename Last>
LiveTestSend<Last> StopSend(const Last& last) {
  return {StopFrame(), last, {}};
}

template <typename Last>
LiveTestSend<Last> NothingToSend(const Last& last, std::string reason) {
  return {{}, last, std::move(reason)};
}

std::string StartMode(int duty, bool reverse) {
  if (reverse) return "Reversal";
  return duty > 0 ? "Forward" : "Stop";
}

}  // namespace

std::vector<std::uint8_t> StopFrame() {
  const board::Command* stop = board::Current().StopCommand();
  const auto encoded = stop ? board::Encode(*stop, {}, false) : std::nullopt;
  return encoded ? board::Current().framing.Make(link::kBroadcastAddress, *encoded) : link::Bytes{};
}

StepperTestSend BuildStepperTestSend(const StepperTestFields& fields, bool stop, bool force,
                                     const StepperTestLast& last) {
  if (stop) return StopSend(last);
  std::string reason;
  const auto duty = ReadLiveField(fields.duty, "Duty", 0, kMaxDuty, reason);
  if (!duty) return NothingToSend(last, reason);
  const auto frequency = ReadLiveField(fields.frequency, "Freq", kLiveTestMinFrequency, kStepperTestMaxFrequency, reason);
  if (!frequency) return NothingToSend(last, reason);

  const StepperTestLast now{static_cast<std::uint16_t>(*frequency), static_cast<std::uint8_t>(*duty)};
  if (!force && now == last) return NothingToSend(last, "Freq and Duty are unchanged");

  StepperTestSend send{StopFrame(), now, {}};
  AppendBroadcastFrames(send.bytes, board::LiveTest::Stepper,
                        {{"reverse", fields.reverse ? "1" : "0"},
                         {"not-limit", "1"},
                         {"frequency", std::to_string(*frequency)},
                         {"pulse-duty", std::to_string(*duty)}});
  return send;
}

DcTestSend BuildDcTestSend(const DcTestFields& fields, bool stop, bool force, const DcTestLast& last) {
  if (stop) return StopSend(last);
  std::string reason;
  const auto leftDuty = ReadLiveField(fields.leftDuty, "Left Duty", 0, kMaxDuty, reason);
  if (!leftDuty) return NothingToSend(last, reason);
  const auto rightDuty = ReadLiveField(fields.rightDuty, "Right Duty", 0, kMaxDuty, reason);
  if (!rightDuty) return NothingToSend(last, reason);
  const auto leftFrequency = ReadLiveField(fields.leftFrequency, "Left Freq", kLiveTestMinFrequency, kDcTestMaxFrequency, reason);
  if (!leftFrequency) return NothingToSend(last, reason);
  const auto rightFrequency = ReadLiveField(fields.rightFrequency, "Right Freq", kLiveTestMinFrequency, kDcTestMaxFrequency, reason);
  if (!rightFrequency) return NothingToSend(last, reason);

  // The frame's frequency fields hold 16 bits; the trackbar's top range goes out
  // as the largest frequency they can carry.
  const auto frameFrequency = [](int hz) { return static_cast<std::uint16_t>(std::min(hz, kMaxFrameFrequency)); };
  const DcTestLast now{static_cast<std::uint8_t>(*leftDuty), static_cast<std::uint8_t>(*rightDuty),
                       frameFrequency(*leftFrequency), frameFrequency(*rightFrequency)};
  if (!force && now == last) return NothingToSend(last, "Freq and Duty are unchanged");

  DcTestSend send{{}, now, {}};
  AppendBroadcastFrames(send.bytes, board::LiveTest::Dc,
                        {{"left-frequency", std::to_string(now.leftFrequency)},
                         {"left-pulse-duty", std::to_string(now.leftDuty)},
                         {"right-frequency", std::to_string(now.rightFrequency)},
                         {"right-pulse-duty", std::to_string(now.rightDuty)},
                         {"left-mode", StartMode(*leftDuty, fields.leftReverse)},
                         {"right-mode", StartMode(*rightDuty, fields.rightReverse)}});
  return send;
}

}  // namespace tarnwick::bench
