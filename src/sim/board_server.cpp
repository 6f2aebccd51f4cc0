#include "board_server.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/eventfd.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

#include "link/termios_speed.h"

namespace tarnwick::sim {
namespace {

// Silence after which a partial frame is judged as it stands.
constexpr int kBurstGapMs = 20;

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

void WriteFully(int fd, const Bytes& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t put = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (put > 0) {
      done += static_cast<std::size_t>(put);
    } else if (put < 0 && errno == EAGAIN) {
      pollfd p{fd, POLLOUT, 0};
      if (::poll(&p, 1, 100) <= 0) return;  // nobody drains the line: drop the rest
    } else if (!(put < 0 && errno == EINTR)) {
      return;
    }
  }
}

}  // namespace

std::unique_ptr<BoardServer> BoardServer::OnPseudoTerminal(BoardState initial) {
  const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (master < 0) ThrowErrno("posix_openpt");
  if (::grantpt(master) < 0 || ::unlockpt(master) < 0) {
    const int err = errno;
    ::close(master);
    throw std::system_error(err, std::generic_category(), "unlockpt");
  }
  char name[64];
  if (::ptsname_r(master, name, sizeof name) != 0) {
    ::close(master);
    ThrowErrno("ptsname_r");
  }
  const int slave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (slave < 0) {
    const int err = errno;
    ::close(master);
    throw std::system_error(err, std::generic_category(), name);
  }
  MakeRaw(slave, SpeedOf(initial.baudIndex));
  return std::unique_ptr<BoardServer>(new BoardServer(master, slave, name, true, initial));
}

std::unique_ptr<BoardServer> BoardServer::OnSerialPort(const std::string& path, BoardState initial) {
  const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) ThrowErrno(path.c_str());
  MakeRaw(fd, SpeedOf(initial.baudIndex));
  return std::unique_ptr<BoardServer>(new BoardServer(fd, -1, path, false, initial));
}

BoardServer::BoardServer(int lineFd, int slaveFd, std::string portPath, bool pseudoTerminal, BoardState initial)
    : lineFd_(lineFd),
      slaveFd_(slaveFd),
      wakeFd_(::eventfd(0, EFD_CLOEXEC)),
      portPath_(std::move(portPath)),
      pseudoTerminal_(pseudoTerminal),
      appliedBaudIndex_(initial.baudIndex),
      board_(initial) {
  if (wakeFd_ < 0) {
    const int err = errno;
    ::close(lineFd_);
    if (slaveFd_ >= 0) ::close(slaveFd_);
    throw std::system_error(err, std::generic_category(), "eventfd");
  }
  thread_ = std::jthread([this](std::stop_token stop) { Serve(stop); });
}

BoardServer::~BoardServer() {
  thread_.request_stop();
  const std::uint64_t one = 1;
  (void)!::write(wakeFd_, &one, sizeof one);
  if (thread_.joinable()) thread_.join();
  ::close(wakeFd_);
  ::close(lineFd_);
  if (slaveFd_ >= 0) ::close(slaveFd_);
}

void BoardServer::SetFault(const Fault& fault) {
  std::lock_guard lock(mutex_);
  fault_ = fault;
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

BoardState BoardServer::State() const {
  std::lock_guard lock(mutex_);
  return board_.State();
}

void BoardServer::SetState(const BoardState& state) {
  std::lock_guard lock(mutex_);
  board_.MutableState() = state;
}

// On a pseudo-terminal the tool's line settings are visible from this side; a frame
// sent at another speed would be noise on a real line, so the board ignores it.
bool BoardServer::HeardAtBoardSpeed() const {
  if (!pseudoTerminal_) return true;
  termios tio{};
  if (::tcgetattr(slaveFd_, &tio) < 0) return true;
  std::lock_guard lock(mutex_);
  return ::cfgetospeed(&tio) == SpeedOf(board_.BaudIndex());
}

void BoardServer::ApplyLineSpeed() {
  if (pseudoTerminal_) return;
  int index;
  {
    std::lock_guard lock(mutex_);
    index = board_.BaudIndex();
  }
  if (index == appliedBaudIndex_) return;
  // After the reply that announced it has left at the old rate.
  MakeRaw(lineFd_, SpeedOf(index), TCSADRAIN);
  appliedBaudIndex_ = index;
}

void BoardServer::Serve(std::stop_token stop) {
  std::uint8_t chunk[256];
  while (!stop.stop_requested()) {
    pollfd fds[2] = {{lineFd_, POLLIN, 0}, {wakeFd_, POLLIN, 0}};
    const int ready = ::poll(fds, 2, pending_.empty() ? -1 : kBurstGapMs);
    if (ready < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if (fds[1].revents) return;
    if (ready == 0) {  // the line went quiet with a partial frame
      HandleBytes(true);
      continue;
    }
    const ssize_t got = (fds[0].revents & POLLIN) ? ::read(lineFd_, chunk, sizeof chunk) : -1;
    if (got > 0) {
      if (HeardAtBoardSpeed()) pending_.insert(pending_.end(), chunk, chunk + got);
      HandleBytes(false);
    } else if (!(got < 0 && (errno == EAGAIN || errno == EINTR))) {
      // A hung-up or unplugged line: wait for it to come back rather than spin.
      ::poll(fds + 1, 1, 10);
    }
  }
}

void BoardServer::HandleBytes(bool atBurstEnd) {
  while (!pending_.empty()) {
    Board::Result taken;
    {
      std::lock_guard lock(mutex_);
      taken = board_.TakeFrame(pending_, atBurstEnd);
    }
    if (!taken.complete || taken.consumed == 0) return;
    const auto end = pending_.begin() + static_cast<long>(taken.consumed);
    Notify(Bytes(pending_.begin(), end), true);
    pending_.erase(pending_.begin(), end);
    ++framesHeard_;
    if (!taken.reply.empty()) SendReply(taken.reply);
    ApplyLineSpeed();
  }
}

void BoardServer::SendReply(const Bytes& reply) {
  Fault fault;
  {
    std::lock_guard lock(mutex_);
    fault = fault_;
    if (fault_.count > 0 && --fault_.count == 0) fault_ = Fault{};
  }
  if (fault.replyDelay.count() > 0) std::this_thread::sleep_for(fault.replyDelay);
  const auto chunks = ShapeReply(reply, fault);
  for (const ReplyChunk& c : chunks) {
    WriteFully(lineFd_, c.bytes);
    Notify(c.bytes, false);
    if (c.pauseAfter.count() > 0) std::this_thread::sleep_for(c.pauseAfter);
  }
  if (!chunks.empty()) ++repliesSent_;
}

}  // namespace tarnwick::sim
