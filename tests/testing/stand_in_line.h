#pragma once
// A port and its driver's direction calls without a device: every call is recorded
// with its time, and the RS-485 settings follow the rules of Linux's serial core
// (unsupported flags dropped, delays capped at 100 ms, or zeroed where the driver
// has none).

#include <algorithm>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "link/line_control.h"

namespace tarnwick::testing {

struct LineCall {
  std::string what;  // "get", "set", "rts on", "rts off", "write", "drained"
  std::chrono::steady_clock::time_point at;
  link::Rs485Config config;  // for "set": as asked
};

struct StandInDriver {
  std::uint32_t supportedFlags = link::rs485_flag::kEnabled | link::rs485_flag::kRtsOnSend |
                                 link::rs485_flag::kRtsAfterSend | link::rs485_flag::kRxDuringTx;
  bool hasDelays = true;
  int rs485Error = 0;  // what every RS-485 call answers (ENOTTY: no such mode)
  bool transmitFails = false;
  link::Rs485Config current{link::rs485_flag::kRtsAfterSend, 3, 4};
  std::vector<LineCall> calls;

  void Record(std::string what, link::Rs485Config config = {}) {
    calls.push_back({std::move(what), std::chrono::steady_clock::now(), config});
  }
  link::Rs485Config Sanitized(link::Rs485Config c) const {
    c.flags &= supportedFlags;
    c.delayBeforeMs = hasDelays ? std::min(c.delayBeforeMs, 100u) : 0;
    c.delayAfterMs = hasDelays ? std::min(c.delayAfterMs, 100u) : 0;
    return c;
  }
  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (const LineCall& call : calls) names.push_back(call.what);
    return names;
  }
};

class StandInLineControl final : public link::LineControl {
 public:
  explicit StandInLineControl(StandInDriver& driver) : d_(driver) {}
  int GetRs485(link::Rs485Config& config) override {
    d_.Record("get");
    if (d_.rs485Error == 0) config = d_.current;
    return d_.rs485Error;
  }
  int SetRs485(link::Rs485Config& config) override {
    d_.Record("set", config);
    if (d_.rs485Error) return d_.rs485Error;
    d_.current = d_.Sanitized(config);  // left as asked, as some drivers do: a read-back tells
    return 0;
  }
  int SetRts(bool raised) override {
    d_.Record(raised ? "rts on" : "rts off");
    return 0;
  }

 private:
  StandInDriver& d_;
};

class StandInPort final : public link::SerialPort {
 public:
  explicit StandInPort(StandInDriver& driver, bool hasControl = true) : d_(driver), hasControl_(hasControl) {}
  link::TransmitResult TransmitFrame(std::span<const std::uint8_t>, int) override {
    d_.Record("write");
    std::this_thread::sleep_for(std::chrono::milliseconds(2));  // the frame on the wire
    d_.Record("drained");
    return {!d_.transmitFails, d_.transmitFails ? "write failed" : ""};
  }
  link::ReadResult ReadReply(link::FrameBuffer&, const link::ReadRule&) override { return {true, 0}; }
  std::unique_ptr<link::LineControl> MakeLineControl() override {
    return hasControl_ ? std::make_unique<StandInLineControl>(d_) : nullptr;
  }

 private:
  StandInDriver& d_;
  bool hasControl_;
};

}  // namespace tarnwick::testing
