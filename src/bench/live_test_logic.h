#pragma once
// The bytes that the live Stepper Test and D-C Test panels send, built without any
// window or port: from the edit texts, the Reverse flags, whether the send is
// forced, and the values of the last update built.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace tarnwick::bench {

// The board's stop command to the broadcast address without the reply flag (FF 01
// 3F 3F 01 for the motor driver); empty for a board without one.
std::vector<std::uint8_t> StopFrame();

inline constexpr int kLiveTestMinFrequency = 1;  // Hz: a live run never asks for 0
inline constexpr int kStepperTestMaxFrequency = 10000;
inline constexpr int kDcTestMaxFrequency = 80000;  // the trackbar's top; the frame carries at most 65535
inline constexpr int kMaxDuty = 100;               // a duty is a percentage

struct StepperTestFields {
  std::string frequency = "2500";  // Hz
  std::string duty = "100";        // %
  bool reverse = false;
};

struct StepperTestLast {
  std::uint16_t frequency = 0;
  std::uint8_t duty = 0;
  bool operator==(const StepperTestLast&) const = default;
};

struct DcTestFields {
  std::string leftFrequency = "10000";
  std::string leftDuty = "100";
  std::string rightFrequency = "10000";
  std::string rightDuty = "100";
  bool leftReverse = false;
  bool rightReverse = false;
};

struct DcTestLast {
  std::uint8_t leftDuty = 0;
  std::uint8_t rightDuty = 0;
  std::uint16_t leftFrequency = 0;  // as sent, so at most 65535
  std::uint16_t rightFrequency = 0;
  bool operator==(const DcTestLast&) const = default;
};

template <typename Last>
struct LiveTestSend {
  std::vector<std::uint8_t> bytes;  // empty: nothing to send
  Last last;                        // the last values after this call
  std::string reason;               // why nothing is sent, in the panel's words
};
using StepperTestSend = LiveTestSend<StepperTestLast>;
using DcTestSend = LiveTestSend<DcTestLast>;

// stop: the stop frame, last unchanged. Otherwise the stop frame followed by the
// unlimited-count CMD12 run frame (17 bytes), unless Duty is empty or outside
// 0..100, Freq is empty or outside 1..10000, or, without force, both equal last.
StepperTestSend BuildStepperTestSend(const StepperTestFields& fields, bool stop, bool force,
                                     const StepperTestLast& last);

// stop: the stop frame, last unchanged. Otherwise the CMD23 parameter frame
// followed by the CMD22 start frame (17 bytes), unless a duty is empty or outside
// 0..100, a frequency is empty or outside 1..80000, or, without force, all four
// values as sent equal last. Frequencies above 65535 go out as 65535.
DcTestSend BuildDcTestSend(const DcTestFields& fields, bool stop, bool force, const DcTestLast& last);

}  // namespace tarnwick::bench
