#pragma once
// Every control identifier of the window's dialog templates, under a name each.
// Templates, pages, tests and benchmarks all take them from here. Pages that share
// a layout share its identifiers.

namespace tarnwick::pages::ids {

// Every command page's title label: the description's title is shown in it.
inline constexpr int kPageTitle = 1099;

namespace window {
inline constexpr int kSend = 1;
inline constexpr int kExit = 2;
inline constexpr int kRescan = 3;
inline constexpr int kTabStrip = 1000;
inline constexpr int kPortList = 1001;
inline constexpr int kBaudList = 1002;
inline constexpr int kAddress = 1003;
inline constexpr int kSendData = 1004;
inline constexpr int kRecvData = 1005;
inline constexpr int kReply = 1006;  // "Res"
inline constexpr int kResult = 1007;
inline constexpr int kLog = 1008;  // opens the traffic log
inline constexpr int kNotice = 1009;  // why the last Send reached no board
}  // namespace window

// CMD11, CMD12 and CMD13: the step word, frequency and pulse duty.
namespace stepper {
inline constexpr int kStepCount = 1018;
inline constexpr int kReverse = 1019;
inline constexpr int kNotLimit = 1020;  // not on CMD13
inline constexpr int kFrequency = 1021;  // not on CMD11
inline constexpr int kPulseDuty = 1022;  // not on CMD11
}  // namespace stepper

namespace cmd21 {
inline constexpr int kLeftDuty = 1006;
inline constexpr int kRightDuty = 1008;
inline constexpr int kLeftReverse = 1009;
inline constexpr int kRightReverse = 1010;
}  // namespace cmd21

namespace cmd22 {
inline constexpr int kLeftForward = 1010;
inline constexpr int kLeftReversal = 1011;
inline constexpr int kLeftStop = 1012;
inline constexpr int kRightForward = 1013;
inline constexpr int kRightReversal = 1014;
inline constexpr int kRightStop = 1015;
inline constexpr int kLeftShortBrake = 1016;
inline constexpr int kRightShortBrake = 1017;
}  // namespace cmd22

// CMD23 and CMD42: a frequency and a pulse duty per motor; CMD42 adds the motor type.
namespace parameters {
inline constexpr int kMotorType = 1004;  // CMD42 only
inline constexpr int kLeftFrequency = 1005;
inline constexpr int kLeftPulseDuty = 1006;
inline constexpr int kRightFrequency = 1007;
inline constexpr int kRightPulseDuty = 1008;
}  // namespace parameters

namespace cmd24 {
inline constexpr int kLeft = 1017;
inline constexpr int kRight = 1018;
}  // namespace cmd24

namespace cmd40 {
inline constexpr int kNewAddress = 1011;
}  // namespace cmd40

namespace cmd41 {
inline constexpr int kBaudrate = 1002;
}  // namespace cmd41

// The set-up read back, all read-only.
namespace cmd43 {
inline constexpr int kMotorType = 1009;
inline constexpr int kLeftFrequency = 1013;
inline constexpr int kLeftPulseDuty = 1014;
inline constexpr int kRightFrequency = 1015;
inline constexpr int kRightPulseDuty = 1016;
}  // namespace cmd43

namespace stepper_test {
inline constexpr int kReverse = 1019;
inline constexpr int kFrequency = 1024;
inline constexpr int kFrequencySlider = 1025;
inline constexpr int kDuty = 1026;
inline constexpr int kDutySlider = 1027;
inline constexpr int kBeginStop = 1028;
}  // namespace stepper_test

namespace dc_test {
inline constexpr int kLeftReverse = 1009;
inline constexpr int kRightReverse = 1010;
inline constexpr int kBeginStop = 1028;
inline constexpr int kLeftFrequency = 1030;
inline constexpr int kLeftDuty = 1031;
inline constexpr int kLeftDutySlider = 1032;
inline constexpr int kLeftFrequencySlider = 1033;
inline constexpr int kRightFrequencySlider = 1034;
inline constexpr int kRightFrequency = 1035;
inline constexpr int kRightDuty = 1036;
inline constexpr int kRightDutySlider = 1037;
}  // namespace dc_test

}  // namespace tarnwick::pages::ids
