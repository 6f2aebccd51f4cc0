#include "posix_line_control.h"

#include <sys/ioctl.h>
#include <termios.h>

#include <cerrno>

#if defined(__linux__)
#include <linux/serial.h>
#endif

namespace tarnwick::link {
namespace {

#if defined(__linux__) && defined(TIOCSRS485)
static_assert(rs485_flag::kEnabled == SER_RS485_ENABLED && rs485_flag::kRtsOnSend == SER_RS485_RTS_ON_SEND &&
              rs485_flag::kRtsAfterSend == SER_RS485_RTS_AFTER_SEND && rs485_flag::kRxDuringTx == SER_RS485_RX_DURING_TX);

Rs485Config ConfigOf(const serial_rs485& raw) { return {raw.flags, raw.delay_rts_before_send, raw.delay_rts_after_send}; }

serial_rs485 RawOf(const Rs485Config& config) {
  serial_rs485 raw{};
  raw.flags = config.flags;
  raw.delay_rts_before_send = config.delayBeforeMs;
  raw.delay_rts_after_send = config.delayAfterMs;
  return raw;
}
#endif

class TerminalLineControl final : public LineControl {
 public:
  explicit TerminalLineControl(int fd) : fd_(fd) {}

  int GetRs485(Rs485Config& config) override { return Rs485Call(kGet, config); }
  // The driver writes what it applied back into the struct.
  int SetRs485(Rs485Config& config) override { return Rs485Call(kSet, config); }

  int SetRts(bool raised) override {
    const int bits = TIOCM_RTS;
    return ::ioctl(fd_, raised ? TIOCMBIS : TIOCMBIC, &bits) < 0 ? errno : 0;
  }

 private:
  enum Rs485Request { kGet, kSet };

  // Both requests leave in config what the driver holds.
  int Rs485Call(Rs485Request request, Rs485Config& config) {
#if defined(__linux__) && defined(TIOCSRS485)
    serial_rs485 raw = RawOf(config);
    if (::ioctl(fd_, request == kGet ? TIOCGRS485 : TIOCSRS485, &raw) < 0) return errno;
    config = ConfigOf(raw);
    return 0;
#else
    (void)request;
    (void)config;
    return ENOTTY;
#endif
  }

  int fd_;
};

}  // namespace

std::unique_ptr<LineControl> MakeTerminalLineControl(int fd) { return std::make_unique<TerminalLineControl>(fd); }

}  // namespace tarnwick::link
