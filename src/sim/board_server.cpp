#include "board_server.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <optional>
#include <stdexcept>
#include <system_error>
#include <utility>

#include "link/baud_rates.h"
#include "link/bounded_write.h"
#include "link/line_holders.h"
#include "link/posix_line_control.h"
#include "link/serial_port.h"
#include "link/termios_speed.h"

namespace tarnwick::sim {
namespace {

using link::UniqueFd;
using Clock = std::chrono::steady_clock;

// Silence after which a partial frame is judged as it stands.
constexpr int kBurstGapMs = 20;
// How often an idle board looks for a pty left in exclusive mode.
constexpr int kIdleCheckMs = 1000;
// No frame is longer than this (a length byte of 255), so a byte further back than
// this from the newest one can no longer begin a frame.
constexpr std::size_t kLongestFrame = 255 + link::Framing::kOverhead;

[[noreturn]] void ThrowErrno(const char* what) { throw std::system_error(errno, std::generic_category(), what); }

speed_t SpeedOf(int baudIndex) { return link::kTermiosSpeeds.at(static_cast<std::size_t>(baudIndex)); }

void MakeRaw(int fd, speed_t speed, int when = TCSANOW) {
  termios tio{};
  if (::tcgetattr(fd, &tio) < 0) return;
  ::cfmakeraw(&tio);
  tio.c_cflag |= CLOCAL | CREAD;
  ::cfsetispeed(&tio, speed);
  ::cfsetospeed(&tio, speed);
  ::tcsetattr(fd, when, &tio);
}

// A reader that stops draining the line loses the rest of the reply, after at most
// the time the reply takes at the slowest rate and the margin a sender allows.
void WriteFully(int fd, const Bytes& bytes) {
  const auto bound =
      link::WireTime(bytes.size(), link::kBaudRates.front()) + std::chrono::milliseconds(link::kDrainMarginMs);
  (void)link::WriteBefore(fd, bytes, std::chrono::steady_clock::now() + bound);
}

}  // namespace

std::unique_ptr<BoardServer> BoardServer::OnPseudoTerminal(BoardState initial) {
  return OnPseudoTerminal(std::vector<BoardState>{initial});
}

std::unique_ptr<BoardServer> BoardServer::OnPseudoTerminal(std::vector<BoardState> boards) {
  if (boards.empty()) throw std::invalid_argument("a line needs a board");
  UniqueFd master(::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
  if (!master) ThrowErrno("posix_openpt");
  if (::grantpt(master.Get()) < 0 || ::unlockpt(master.Get()) < 0) ThrowErrno("unlockpt");
  char name[64];
  if (const int err = ::ptsname_r(master.Get(), name, sizeof name)) throw std::system_error(err, std::generic_category(), "ptsname_r");
  UniqueFd slave(::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC));
  if (!slave) ThrowErrno(name);
  MakeRaw(slave.Get(), SpeedOf(boards.front().baudIndex));
  return std::unique_ptr<BoardServer>(new BoardServer(std::move(master), std::move(slave), name, true, std::move(boards)));
}

std::unique_ptr<BoardServer> BoardServer::OnSerialPort(const std::string& path, BoardState initial,
                                                       const link::DirectionSettings& direction) {
  UniqueFd fd(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
  if (!fd) ThrowErrno(path.c_str());
  // The same hold the tool takes: a board and the tool (or two boards) never share a line by accident.
  if (const int err = link::HoldLineExclusively(fd.Get()))
    throw std::system_error(err, std::generic_category(), err == EBUSY ? path + ": another program holds it" : path);
  MakeRaw(fd.Get(), SpeedOf(initial.baudIndex));
  std::unique_ptr<link::LineControl> control = link::MakeTerminalLineControl(fd.Get());
  link::DirectionSetup setup = link::SetUpDirection(*control, direction);
  if (!setup.refusal.empty()) throw std::runtime_error(path + ": " + setup.refusal);
  return std::unique_ptr<BoardServer>(
      new BoardServer(std::move(fd), UniqueFd(), path, false, {initial}, std::move(control), std::move(setup)));
}

BoardServer::BoardServer(UniqueFd line, UniqueFd slave, std::string portPath, bool pseudoTerminal,
                         std::vector<BoardState> boards, std::unique_ptr<link::LineControl> lineControl,
                         link::DirectionSetup direction)
    : line_(std::move(line)),
      slave_(std::move(slave)),
      wake_(::eventfd(0, EFD_CLOEXEC)),
      portPath_(std::move(portPath)),
      pseudoTerminal_(pseudoTerminal),
      lineControl_(std::move(lineControl)),
      direction_(std::move(direction)),
      appliedBaudIndex_(boards.front().baudIndex),
      boardCount_(boards.size()),
      bus_(std::move(boards)) {
  if (!wake_) ThrowErrno("eventfd");
  thread_ = std::jthread([this](std::stop_token stop) { Serve(stop); });
}

BoardServer::~BoardServer() {
  thread_.request_stop();
  const std::uint64_t one = 1;
  (void)!::write(wake_.Get(), &one, sizeof one);
  if (thread_.joinable()) thread_.join();
  if (direction_.restore) lineControl_->SetRs485(*direction_.restore);
  if (!pseudoTerminal_) link::ReleaseLineExclusively(line_.Get());
}

void BoardServer::SetFault(std::size_t board, const Fault& fault) {
  std::lock_guard lock(mutex_);
  bus_.SetFault(board, fault);
}

void BoardServer::SetFaultOnEvery(const Fault& fault) {
  std::lock_guard lock(mutex_);
  bus_.SetFaultOnEvery(fault);
}

void BoardServer::AnswerFrom(ReplayBoard recording) {
  std::lock_guard lock(mutex_);
  bus_.AnswerFrom(std::move(recording));
}

void BoardServer::ObserveTraffic(TrafficObserver observer) {
  std::lock_guard lock(mutex_);
  observer_ = std::move(observer);
}

void BoardServer::Notify(const Bytes& bytes, bool heard) {
  TrafficObserver observer;
  {
    std::lock_guard lock(mutex_);
    observer = observer_;
  }
  if (observer) observer(bytes, heard);
}

BoardState BoardServer::State(std::size_t board) const {
  std::lock_guard lock(mutex_);
  return bus_.State(board);
}

void BoardServer::SetState(std::size_t board, const BoardState& state) {
  std::lock_guard lock(mutex_);
  bus_.SetState(board, state);
}

// On a pseudo-terminal the tool's line settings are visible from this side; a frame
// sent at another speed would be noise on a real line, so only the boards at the
// tool's speed hear it. A real port runs at its one board's speed.
int BoardServer::LineSpeedIndex() const {
  termios tio{};
  if (!pseudoTerminal_ || ::tcgetattr(slave_.Get(), &tio) < 0) return kEveryBoardHears;
  const auto& speeds = link::kTermiosSpeeds;
  const auto found = std::find(speeds.begin(), speeds.end(), ::cfgetospeed(&tio));
  return found == speeds.end() ? static_cast<int>(speeds.size()) : static_cast<int>(found - speeds.begin());
}

void BoardServer::ApplyLineSpeed() {
  if (pseudoTerminal_) return;
  int index;
  {
    std::lock_guard lock(mutex_);
    index = bus_.State(0).baudIndex;
  }
  if (index == appliedBaudIndex_) return;
  // After the reply that announced it has left at the old rate.
  MakeRaw(line_.Get(), SpeedOf(index), TCSADRAIN);
  appliedBaudIndex_ = index;
}

// A tool that dies during an exchange leaves the pty in exclusive mode, and since
// this side keeps the pty open nothing would ever clear it: every later open by an
// ordinary user would fail. Its flock died with it, which tells the two cases apart.
// The kernel's list of locks is read rather than a lock taken: taking one, even for
// a moment, would make a tool opening the line just then find it busy.
void BoardServer::ReleaseAbandonedExclusiveMode() {
  if (!pseudoTerminal_) return;
  int exclusive = 0;
  if (::ioctl(slave_.Get(), TIOCGEXCL, &exclusive) < 0 || !exclusive) return;
  const auto holders = link::LockHoldersOf(slave_.Get());
  if (!holders || !holders->empty()) return;  // a live exchange holds it, or nobody can tell
  ::ioctl(slave_.Get(), TIOCNXCL);
}

void BoardServer::Serve(std::stop_token stop) {
  std::uint8_t chunk[256];
  while (!stop.stop_requested()) {
    pollfd fds[2] = {{line_.Get(), POLLIN, 0}, {wake_.Get(), POLLIN, 0}};
    const int ready = ::poll(fds, 2, HasPending() ? kBurstGapMs : kIdleCheckMs);
    if (ready < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if (fds[1].revents) return;
    if (ready == 0) {  // the line went quiet, perhaps with a partial frame
      HandleBytes(true);
      ReleaseAbandonedExclusiveMode();
      continue;
    }
    const ssize_t got = (fds[0].revents & POLLIN) ? ::read(line_.Get(), chunk, sizeof chunk) : -1;
    if (got > 0) {
      {
        const int speed = LineSpeedIndex();
        std::lock_guard lock(mutex_);
        bus_.Hear(std::span(chunk, static_cast<std::size_t>(got)), speed);
      }
      HandleBytes(false);
      ForgetWhatCannotBeginAFrame();
    } else if (!(got < 0 && (errno == EAGAIN || errno == EINTR))) {
      // A hung-up or unplugged line: wait for it to come back rather than spin.
      ::poll(fds + 1, 1, 10);
    }
  }
}

bool BoardServer::HasPending() const {
  std::lock_guard lock(mutex_);
  return bus_.HasPending();
}

void BoardServer::HandleBytes(bool atBurstEnd) {
  for (;;) {
    std::optional<Bus::Turn> turn;
    {
      std::lock_guard lock(mutex_);
      turn = bus_.TakeTurn(atBurstEnd);
    }
    if (!turn) return;
    ++framesHeard_;
    SendReply(*turn);
    ApplyLineSpeed();
  }
}

// A line that never falls quiet and never forms a frame would otherwise grow the
// pending bytes without end.
void BoardServer::ForgetWhatCannotBeginAFrame() {
  std::lock_guard lock(mutex_);
  bus_.KeepNewestPending(kLongestFrame - 1, kLongestFrame);
}

// The reply leaves before the observer hears of the frame: an observer printing to
// a slow terminal must not make the reply late for the tool's read.
void BoardServer::SendReply(const Bus::Turn& turn) {
  bool told = false;
  const auto tellHeard = [&] {
    if (!std::exchange(told, true)) Notify(turn.heard, true);
  };
  if (!turn.echo.empty()) Transmit(turn.echo);
  if (turn.reply.empty() || turn.delay.count() > 0) tellHeard();
  if (turn.reply.empty()) return;
  if (turn.delay.count() > 0) std::this_thread::sleep_for(turn.delay);
  std::vector<std::chrono::microseconds> pauses;
  std::optional<Clock::time_point> previousBegan;
  for (const ReplyChunk& c : turn.reply) {
    const auto began = Clock::now();
    Transmit(c.bytes);
    if (previousBegan)
      pauses.push_back(std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - *previousBegan));
    previousBegan = began;
    tellHeard();
    Notify(c.bytes, false);
    if (c.pauseAfter.count() > 0) std::this_thread::sleep_for(c.pauseAfter);
  }
  tellHeard();
  {
    std::lock_guard lock(mutex_);
    lastReplyPauses_ = std::move(pauses);
  }
  ++repliesSent_;
}

std::vector<std::chrono::microseconds> BoardServer::PausesInLastReply() const {
  std::lock_guard lock(mutex_);
  return lastReplyPauses_;
}

// Under RTS control the board drives the line only while its bytes go out.
void BoardServer::Transmit(const Bytes& bytes) {
  if (!direction_.togglesRts) return WriteFully(line_.Get(), bytes);
  lineControl_->SetRts(true);
  WriteFully(line_.Get(), bytes);
  ::tcdrain(line_.Get());
  lineControl_->SetRts(false);
}

}  // namespace tarnwick::sim
