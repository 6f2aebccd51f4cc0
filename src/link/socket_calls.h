#pragma once
// The few socket calls a network port makes, alike on POSIX and Winsock: a
// non-blocking TCP socket owned by one object, poll, send and receive, and the
// system's error codes told apart by what they mean.

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#endif

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>

namespace tarnwick::link::sockets {

#ifdef _WIN32
using Handle = SOCKET;
inline constexpr Handle kNone = INVALID_SOCKET;
inline int LastError() { return ::WSAGetLastError(); }
inline bool WouldBlock(int error) { return error == WSAEWOULDBLOCK; }
inline bool Interrupted(int error) { return error == WSAEINTR; }
inline bool ConnectPending(int error) { return error == WSAEWOULDBLOCK || error == WSAEINPROGRESS; }
inline bool Refused(int error) { return error == WSAECONNREFUSED; }
inline void Close(Handle socket) { ::closesocket(socket); }
inline int Poll(pollfd* fds, unsigned count, int timeoutMs) { return ::WSAPoll(fds, count, timeoutMs); }
inline constexpr int kSendFlags = 0;
inline std::string ErrorText(int error) {
  char text[256] = {};
  const DWORD length = ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                        static_cast<DWORD>(error), 0, text, sizeof text, nullptr);
  std::string message(text, length);
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == '.'))
    message.pop_back();
  return message.empty() ? "error " + std::to_string(error) : message;
}
inline std::string AddressErrorText(int code) { return ErrorText(code); }
// Winsock works only after WSAStartup; once per process is enough.
inline bool Start() {
  static const bool started = [] {
    WSADATA data;
    return ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }();
  return started;
}
inline Handle OpenNonBlocking(int family, int type, int protocol) {
  const Handle socket = ::socket(family, type, protocol);
  u_long on = 1;
  if (socket != kNone && ::ioctlsocket(socket, FIONBIO, &on) != 0) {
    ::closesocket(socket);
    return kNone;
  }
  return socket;
}
#else
using Handle = int;
inline constexpr Handle kNone = -1;
inline int LastError() { return errno; }
inline bool WouldBlock(int error) { return error == EAGAIN || error == EWOULDBLOCK; }
inline bool Interrupted(int error) { return error == EINTR; }
inline bool ConnectPending(int error) { return error == EINPROGRESS; }
inline bool Refused(int error) { return error == ECONNREFUSED; }
inline void Close(Handle socket) { ::close(socket); }
inline int Poll(pollfd* fds, unsigned count, int timeoutMs) { return ::poll(fds, count, timeoutMs); }
inline constexpr int kSendFlags = MSG_NOSIGNAL;  // a closed connection is an error, not SIGPIPE
inline std::string ErrorText(int error) { return std::strerror(error); }
inline std::string AddressErrorText(int code) { return ::gai_strerror(code); }
inline bool Start() { return true; }
inline Handle OpenNonBlocking(int family, int type, int protocol) {
  return ::socket(family, type | SOCK_NONBLOCK | SOCK_CLOEXEC, protocol);
}
#endif

// Owns one socket and closes it when it goes.
class Socket {
 public:
  Socket() = default;
  explicit Socket(Handle handle) : handle_(handle) {}
  ~Socket() {
    if (handle_ != kNone) Close(handle_);
  }
  Socket(Socket&& other) noexcept : handle_(std::exchange(other.handle_, kNone)) {}
  Socket& operator=(Socket&& other) noexcept {
    if (this != &other) {
      if (handle_ != kNone) Close(handle_);
      handle_ = std::exchange(other.handle_, kNone);
    }
    return *this;
  }
  Socket(const Socket&) = delete;
  Socket& operator=(const Socket&) = delete;

  Handle Get() const { return handle_; }
  explicit operator bool() const { return handle_ != kNone; }

 private:
  Handle handle_ = kNone;
};

// The bytes sent or received, or -1 with LastError() saying why.
inline long Send(Handle socket, const std::uint8_t* data, std::size_t size) {
  return static_cast<long>(::send(socket, reinterpret_cast<const char*>(data), static_cast<int>(size), kSendFlags));
}
inline long Receive(Handle socket, std::uint8_t* data, std::size_t size) {
  return static_cast<long>(::recv(socket, reinterpret_cast<char*>(data), static_cast<int>(size), 0));
}

// Nagle off: a frame leaves at once, in one segment.
inline void SendAtOnce(Handle socket) {
  const int on = 1;
  ::setsockopt(socket, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
}

// A non-blocking connect's outcome once the socket is writable: 0, or the error.
inline int ConnectResult(Handle socket) {
  int result = 0;
  socklen_t length = sizeof result;
  if (::getsockopt(socket, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&result), &length) != 0) return LastError();
  return result;
}

}  // namespace tarnwick::link::sockets
