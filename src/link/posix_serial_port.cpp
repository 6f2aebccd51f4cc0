// The serial port on POSIX systems: termios in raw mode, held exclusively (an flock
// and the terminal's exclusive mode) so two programs never interleave frames on one
// line, and poll-driven reads that keep the 25 ms gap and the 265 ms limit.
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <thread>

#include "bounded_write.h"
#include "line_holders.h"
#include "network_port.h"
#include "posix_line_control.h"
#include "posix_port_list.h"
#include "serial_port.h"
#include "sim_registry.h"
#include "termios_speed.h"
#include "timed_read.h"
#include "unique_fd.h"

namespace tarnwick::link {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// Another program may hold a line for a moment (a modem manager probing a new
// adapter does): an open waits this long for it before calling the port busy.
constexpr milliseconds kBusyWait{200};
// Short: two tools taking turns on one line leave it free only between exchanges.
constexpr std::chrono::microseconds kBusyRetry{250};

class PosixSerialPort final : public SerialPort {
 public:
  explicit PosixSerialPort(UniqueFd fd) : line_(std::move(fd)), fd_(line_.Get()) {}
  ~PosixSerialPort() override { ReleaseLineExclusively(fd_); }
  PosixSerialPort(const PosixSerialPort&) = delete;
  PosixSerialPort& operator=(const PosixSerialPort&) = delete;

  TransmitResult TransmitFrame(std::span<const std::uint8_t> bytes, int baudRate) override {
    const auto deadline = Clock::now() + WireTime(bytes.size(), baudRate) + milliseconds(kDrainMarginMs);
    if (std::string why = WriteBefore(fd_, bytes, deadline); !why.empty()) return {false, std::move(why)};
    if (std::string why = WaitTransmitEmpty(deadline); !why.empty()) return {false, std::move(why)};
    std::this_thread::sleep_for(milliseconds(SettleDelayMs(bytes.size(), baudRate)));
    return {true, {}};
  }

  ReadResult ReadReply(FrameBuffer& buffer, const ReadRule& rule) override { return ReadByRule(fd_, buffer, rule); }

  std::unique_ptr<LineControl> MakeLineControl() override { return MakeTerminalLineControl(fd_); }

 private:
  // Polls the driver's output queue rather than calling tcdrain, which has no
  // time-out. Falls back to tcdrain where the queue cannot be asked. Returns why
  // the frame did not leave, or "".
  std::string WaitTransmitEmpty(Clock::time_point deadline) {
    auto pause = std::chrono::microseconds(100);
    for (;;) {
      int queued = 0;
      if (::ioctl(fd_, TIOCOUTQ, &queued) < 0) {
        if (errno != ENOTTY && errno != EINVAL) return std::string("the line failed: ") + std::strerror(errno);
        return ::tcdrain(fd_) == 0 ? std::string() : std::string("the line failed: ") + std::strerror(errno);
      }
      if (queued <= 0) return {};
      if (Clock::now() >= deadline) return std::to_string(queued) + " bytes had not left the line in time";
      std::this_thread::sleep_for(pause);
      pause = std::min(pause * 2, std::chrono::microseconds(2000));
    }
  }

  UniqueFd line_;
  int fd_;  // line_'s descriptor, for the many system calls
};

OpenError ErrorFromErrno(int err) {
  OpenError e;
  e.detail = std::strerror(err);
  switch (err) {
    case ENOENT: case ENXIO: case ENODEV: e.kind = OpenFailure::NotFound; break;
    case EACCES: case EPERM: e.kind = OpenFailure::PermissionDenied; break;
    case EBUSY: case EWOULDBLOCK: e.kind = OpenFailure::Busy; break;
    case ENOTTY: e.kind = OpenFailure::NotASerialPort; break;
    default: e.kind = OpenFailure::Other; break;
  }
  return e;
}

bool Configure(int fd, int baudRate) {
  termios tio{};
  if (::tcgetattr(fd, &tio) < 0) return false;
  ::cfmakeraw(&tio);
  tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB | CRTSCTS);
  tio.c_cflag |= CS8 | CREAD | CLOCAL;
  tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
  tio.c_cc[VMIN] = 0;
  tio.c_cc[VTIME] = 0;
  const speed_t speed = TermiosSpeedOf(baudRate);
  if (speed == B0 || ::cfsetispeed(&tio, speed) < 0 || ::cfsetospeed(&tio, speed) < 0) {
    errno = EINVAL;
    return false;
  }
  if (::tcsetattr(fd, TCSANOW, &tio) < 0) return false;
  // Discard what arrived before this exchange (a late reply to an earlier one).
  // The output side needs no discarding: closing a port waits until its output
  // has left, and on a pseudo-terminal discarding it would throw away the last
  // frame before the board at the other end has read it.
  return ::tcflush(fd, TCIFLUSH) == 0;
}

}  // namespace

int HoldLineExclusively(int fd) {
  const auto deadline = Clock::now() + kBusyWait;
  while (::flock(fd, LOCK_EX | LOCK_NB) < 0) {
    if (errno != EWOULDBLOCK && errno != EINTR) return errno;
    if (Clock::now() >= deadline) return EBUSY;
    std::this_thread::sleep_for(kBusyRetry);
  }
  // Programs that take no flock are kept out by the terminal itself (root excepted).
  if (::ioctl(fd, TIOCEXCL) < 0) return errno;
  RememberHeldLine(fd);
  return 0;
}

void ReleaseLineExclusively(int fd) {
  ::ioctl(fd, TIOCNXCL);
  ForgetHeldLine(fd);
}

namespace {

// A terminal in exclusive mode refuses a second open with EBUSY: wait for its
// holder as HoldLineExclusively waits for a flock.
UniqueFd OpenLine(const std::string& path) {
  const auto deadline = Clock::now() + kBusyWait;
  for (;;) {
    UniqueFd fd(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (fd || (errno != EBUSY && errno != EINTR) || Clock::now() >= deadline) return fd;
    std::this_thread::sleep_for(kBusyRetry);
  }
}

}  // namespace

std::unique_ptr<SerialPort> OpenPort(const std::string& path, int baudRate, OpenError* error) {
  auto fail = [&](OpenError why) -> std::unique_ptr<SerialPort> {
    if (why.kind == OpenFailure::Busy) why.holder = DescribeLockHolder(path);
    if (error) *error = std::move(why);
    return nullptr;
  };
  if (IsNetworkPortName(path)) return OpenNetworkPort(path, baudRate, error);
  if (OpenError refused = CheckPortTarget(path); refused.kind != OpenFailure::None) return fail(std::move(refused));
  UniqueFd fd = OpenLine(path);
  if (!fd) return fail(ErrorFromErrno(errno));
  if (!::isatty(fd.Get())) return fail(ErrorFromErrno(ENOTTY));  // /dev/null and other devices
  // A board that stopped just before the open may have left its pseudo-terminal to another program.
  if (OpenError refused = CheckPortTarget(path); refused.kind != OpenFailure::None) return fail(std::move(refused));
  // Held before anything changes, so a refused open never touches the holder's line.
  if (const int err = HoldLineExclusively(fd.Get())) return fail(ErrorFromErrno(err));
  const int line = fd.Get();
  auto port = std::make_unique<PosixSerialPort>(std::move(fd));
  if (!Configure(line, baudRate)) return fail(ErrorFromErrno(errno));
  if (error) *error = {};
  return port;
}

std::string DescribeOpenError(const std::string& path, const OpenError& error) {
  if (IsNetworkPortName(path)) return DescribeNetworkOpenError(path, error);
  const std::filesystem::path asPath(path);
  if (error.kind == OpenFailure::NotFound && asPath.parent_path() == SimRegistryDir())
    return "no simulated board " + asPath.filename().string() + " is running";
  switch (error.kind) {
    case OpenFailure::BoardStopped: {
      const std::filesystem::path entry = RegistryEntryOf(asPath, SimRegistryDir());
      return "the simulated board " + (entry.empty() ? asPath : entry).filename().string() + " has stopped";
    }
    case OpenFailure::OwnTerminal:
      return "will not use " + path + ": it is the terminal this program runs in, not a serial port";
    case OpenFailure::NotFound:
      return "cannot open " + path + ": no such port (is the adapter plugged in, or the simulator running?)";
    case OpenFailure::PermissionDenied:
      return "cannot open " + path + ": permission denied (add yourself to the dialout group: "
             "sudo usermod -aG dialout $USER, then log in again)";
    case OpenFailure::Busy:
      return "cannot open " + path + ": port busy (" +
             (error.holder.empty() ? std::string("another program holds it") : "held by " + error.holder) + ")";
    case OpenFailure::NotASerialPort:
      return "cannot open " + path + ": not a serial port";
    default:
      return "cannot open " + path + ": " + error.detail;
  }
}

}  // namespace tarnwick::link
