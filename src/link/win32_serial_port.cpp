// The serial port on Windows: a synchronous handle opened without sharing, the
// driver's own read time-outs for the 25 ms gap and the 265 ms limit, and a 1 ms
// timer period while the port is open, so that the settle delay is not stretched
// to the default 15.6 ms tick.
#include <windows.h>
#include <mmsystem.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <memory>

#include "baud_rates.h"
#include "line_control.h"
#include "network_port.h"
#include "serial_port.h"
#include "win32_text.h"

namespace tarnwick::link {
namespace {

using Clock = std::chrono::steady_clock;

constexpr DWORD kQueueBytes = 1024;

int RemainingMs(Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left > 0 ? static_cast<int>(left) : 0;
}

// The driver ends one read of the whole buffer after the gap or the limit.
COMMTIMEOUTS ReplyTimeouts() {
  COMMTIMEOUTS timeouts{};
  timeouts.ReadIntervalTimeout = kInterByteGapMs;
  timeouts.ReadTotalTimeoutMultiplier = 12;
  timeouts.ReadTotalTimeoutConstant = kReadTotalMs - 12 * static_cast<DWORD>(kFrameBufferSize);
  timeouts.WriteTotalTimeoutMultiplier = 12;
  timeouts.WriteTotalTimeoutConstant = 25;
  return timeouts;
}

// How many more bytes a read should ask for: under the frame rule those that
// complete the announced frame (the length byte first); otherwise all that fit.
std::size_t BytesWanted(std::span<const std::uint8_t> bytes, const ReadRule& rule, std::size_t capacity) {
  if (rule.end == ReadEnd::Frame) {
    const std::optional<std::size_t> announced = Framing::AnnouncedSize(bytes);
    if (!announced) return kLengthOffset + 1 - bytes.size();
    if (*announced <= capacity && *announced > bytes.size()) return *announced - bytes.size();
  }
  return capacity - bytes.size();
}

struct HandleCloser {
  void operator()(HANDLE handle) const { ::CloseHandle(handle); }
};
using UniqueHandle = std::unique_ptr<void, HandleCloser>;

std::string SystemMessage(DWORD code) {
  wchar_t* text = nullptr;
  const DWORD length = ::FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
      reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::wstring message = length ? std::wstring(text, length) : L"Windows error " + std::to_wstring(code);
  if (text) ::LocalFree(text);
  while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r' || message.back() == L'.'))
    message.pop_back();
  return Utf8FromWide(message);
}

// Windows has no driver RS-485 mode (ENOSYS); RTS is either switched by the
// program or handed to the driver's toggle, raised while bytes go out.
class Win32LineControl final : public LineControl {
 public:
  explicit Win32LineControl(HANDLE handle) : handle_(handle) {}
  int GetRs485(Rs485Config&) override { return ENOSYS; }
  int SetRs485(Rs485Config&) override { return ENOSYS; }
  int SetRts(bool raised) override { return ::EscapeCommFunction(handle_, raised ? SETRTS : CLRRTS) ? 0 : EIO; }
  int LetDriverToggleRts() override {
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!::GetCommState(handle_, &dcb)) return EIO;
    dcb.fRtsControl = RTS_CONTROL_TOGGLE;
    return ::SetCommState(handle_, &dcb) ? 0 : ENOTSUP;
  }

 private:
  HANDLE handle_;
};

class Win32SerialPort final : public SerialPort {
 public:
  explicit Win32SerialPort(UniqueHandle handle) : handle_(std::move(handle)) { ::timeBeginPeriod(1); }
  ~Win32SerialPort() override { ::timeEndPeriod(1); }
  Win32SerialPort(const Win32SerialPort&) = delete;
  Win32SerialPort& operator=(const Win32SerialPort&) = delete;

  TransmitResult TransmitFrame(std::span<const std::uint8_t> bytes, int baudRate) override {
    const auto deadline = Clock::now() + WireTime(bytes.size(), baudRate) + std::chrono::milliseconds(kDrainMarginMs);
    if (std::string why = WriteAll(bytes, deadline); !why.empty()) return {false, std::move(why)};
    if (std::string why = WaitTransmitEmpty(deadline); !why.empty()) return {false, std::move(why)};
    ::Sleep(static_cast<DWORD>(SettleDelayMs(bytes.size(), baudRate)));
    return {true, {}};
  }

  ReadResult ReadReply(FrameBuffer& buffer, const ReadRule& rule) override {
    if (rule.end == ReadEnd::Gap && rule.firstByteMs >= kReadTotalMs && rule.byteLimit >= buffer.size())
      return ReadWithOpeningTimeouts(buffer);
    return ReadPieceByPiece(buffer, rule);
  }

  std::unique_ptr<LineControl> MakeLineControl() override { return std::make_unique<Win32LineControl>(handle_.get()); }

 private:
  // The time-outs set at opening end this one call after the gap or the limit.
  ReadResult ReadWithOpeningTimeouts(FrameBuffer& buffer) {
    if (timeoutsChanged_) {
      COMMTIMEOUTS timeouts = ReplyTimeouts();
      if (!::SetCommTimeouts(handle_.get(), &timeouts)) return {false, 0};
      timeoutsChanged_ = false;
    }
    DWORD got = 0;
    const BOOL ok = ::ReadFile(handle_.get(), buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr);
    return {ok != FALSE, std::min<std::size_t>(got, buffer.size())};
  }

  // The first byte within the rule's wait, then the rest with the gap as the
  // driver's interval time-out. Under the frame rule each read asks for just the
  // bytes that complete the frame the length byte announces, so the driver
  // returns as soon as they are in; the bytes are judged after every read with
  // the same rule as the POSIX read loop.
  ReadResult ReadPieceByPiece(FrameBuffer& buffer, const ReadRule& rule) {
    const auto overall = Clock::now() + std::chrono::milliseconds(kReadTotalMs);
    const std::size_t limit = std::min(buffer.size(), rule.byteLimit);
    timeoutsChanged_ = true;
    std::size_t count = 0;
    bool ok = limit == 0 || ReadMore(buffer, count, 1, 0, std::clamp(rule.firstByteMs, 0, kReadTotalMs));
    while (ok && count > 0 && count < limit && !ReadIsComplete(std::span(buffer).first(count), rule)) {
      const int leftMs = RemainingMs(overall);
      const std::size_t wanted = BytesWanted(std::span(buffer).first(count), rule, limit);
      const std::size_t before = count;
      if (leftMs == 0) break;
      ok = ReadMore(buffer, count, wanted, kInterByteGapMs, leftMs);
      if (count - before < wanted) break;  // the gap, or the limit
    }
    return {ok, count};
  }

  // One ReadFile of up to wanted bytes after count; gapMs 0: no interval time-out.
  bool ReadMore(FrameBuffer& buffer, std::size_t& count, std::size_t wanted, int gapMs, int totalMs) {
    COMMTIMEOUTS timeouts = ReplyTimeouts();
    timeouts.ReadIntervalTimeout = static_cast<DWORD>(gapMs);
    timeouts.ReadTotalTimeoutMultiplier = 0;
    timeouts.ReadTotalTimeoutConstant = static_cast<DWORD>(totalMs);
    // No time at all: what has arrived, at once (all three zero would wait forever).
    if (totalMs == 0) timeouts.ReadIntervalTimeout = MAXDWORD;
    DWORD got = 0;
    wanted = std::min(wanted, buffer.size() - count);
    const bool ok = ::SetCommTimeouts(handle_.get(), &timeouts) &&
                    ::ReadFile(handle_.get(), buffer.data() + count, static_cast<DWORD>(wanted), &got, nullptr);
    count += std::min<std::size_t>(got, wanted);
    return ok;
  }

  // Writes every byte by the deadline; returns why not, or "".
  std::string WriteAll(std::span<const std::uint8_t> bytes, Clock::time_point deadline) {
    const std::size_t total = bytes.size();
    const auto stoppedShort = [&](const std::string& why) {
      return why + " after " + std::to_string(total - bytes.size()) + " of " + std::to_string(total) + " bytes";
    };
    DWORD pauseMs = 1;
    while (!bytes.empty()) {
      if (Clock::now() >= deadline) return stoppedShort("the line took no more bytes in time");
      DWORD put = 0;
      if (!::WriteFile(handle_.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &put, nullptr))
        return stoppedShort("write failed: " + SystemMessage(::GetLastError()));
      if (put == 0) {  // a driver that takes nothing: wait a little, longer each time, rather than spin
        ::Sleep(std::min<DWORD>(pauseMs, static_cast<DWORD>(RemainingMs(deadline))));
        pauseMs = std::min<DWORD>(pauseMs * 2, 16);
        continue;
      }
      bytes = bytes.subspan(std::min<std::size_t>(put, bytes.size()));
      pauseMs = 1;
    }
    return {};
  }

  // Polls the output queue's count. Waiting for EV_TXEMPTY instead has no
  // time-out of its own, and some drivers never signal it. Returns why the frame
  // did not leave, or "".
  std::string WaitTransmitEmpty(Clock::time_point deadline) {
    for (;;) {
      DWORD errors = 0;
      COMSTAT status{};
      if (!::ClearCommError(handle_.get(), &errors, &status))
        return ::FlushFileBuffers(handle_.get()) ? std::string()
                                                 : "the line failed: " + SystemMessage(::GetLastError());
      if (status.cbOutQue == 0) return {};
      if (Clock::now() >= deadline) return std::to_string(status.cbOutQue) + " bytes had not left the line in time";
      ::Sleep(1);
    }
  }

  UniqueHandle handle_;
  bool timeoutsChanged_ = false;  // a piecewise read left its own time-outs set
};

OpenError ErrorFromCode(DWORD code) {
  OpenError e{OpenFailure::Other, SystemMessage(code)};
  switch (code) {
    case ERROR_FILE_NOT_FOUND: case ERROR_PATH_NOT_FOUND: case ERROR_INVALID_NAME: case ERROR_BAD_NETPATH:
      e.kind = OpenFailure::NotFound;
      break;
    // A COM port is never shared: another program holding it is what refuses access.
    case ERROR_ACCESS_DENIED: case ERROR_SHARING_VIOLATION: case ERROR_BUSY:
      e.kind = OpenFailure::Busy;
      break;
    default:
      break;
  }
  return e;
}

// 8 data bits, no parity, one stop bit, and nothing that holds back, drops or
// rewrites a byte: no flow control, no null stripping, no stop on a line error.
void SetLineFormat(DCB& dcb, int baudRate) {
  dcb.BaudRate = static_cast<DWORD>(baudRate);
  dcb.fBinary = TRUE;
  dcb.fParity = FALSE;
  dcb.ByteSize = 8;
  dcb.Parity = NOPARITY;
  dcb.StopBits = ONESTOPBIT;
  dcb.fOutxCtsFlow = FALSE;
  dcb.fOutxDsrFlow = FALSE;
  dcb.fDsrSensitivity = FALSE;
  dcb.fOutX = FALSE;
  dcb.fInX = FALSE;
  dcb.fErrorChar = FALSE;
  dcb.fNull = FALSE;
  dcb.fAbortOnError = FALSE;
  if (dcb.fDtrControl == DTR_CONTROL_HANDSHAKE) dcb.fDtrControl = DTR_CONTROL_ENABLE;
  // A toggle left by an earlier --rs485 rts starts afresh: each exchange asks again.
  if (dcb.fRtsControl == RTS_CONTROL_HANDSHAKE || dcb.fRtsControl == RTS_CONTROL_TOGGLE)
    dcb.fRtsControl = RTS_CONTROL_ENABLE;
}

// Returns the failing step's error code, 0 when the port is ready.
DWORD Configure(HANDLE handle, int baudRate) {
  COMMTIMEOUTS timeouts = ReplyTimeouts();
  DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  if (!::GetCommState(handle, &dcb)) return ::GetLastError();
  SetLineFormat(dcb, baudRate);
  if (!::SetCommState(handle, &dcb) || !::SetupComm(handle, kQueueBytes, kQueueBytes) ||
      !::SetCommTimeouts(handle, &timeouts))
    return ::GetLastError();
  // Discard what arrived before this exchange (a late reply to an earlier one).
  return ::PurgeComm(handle, PURGE_RXCLEAR) ? 0 : ::GetLastError();
}

}  // namespace

// A COM port cannot be the console, and CreateFileW refuses what is not one below.
OpenError CheckPortTarget(const std::string&) { return {}; }

std::unique_ptr<SerialPort> OpenPort(const std::string& path, int baudRate, OpenError* error) {
  auto fail = [&](OpenError e) -> std::unique_ptr<SerialPort> {
    if (error) *error = std::move(e);
    return nullptr;
  };
  if (IsNetworkPortName(path)) return OpenNetworkPort(path, baudRate, error);
  if (!BaudIndexOf(baudRate)) return fail({OpenFailure::Other, "unsupported line speed"});
  const HANDLE raw = ::CreateFileW(WideFromUtf8(path).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
  if (raw == INVALID_HANDLE_VALUE) return fail(ErrorFromCode(::GetLastError()));
  UniqueHandle handle(raw);
  if (::GetFileType(raw) != FILE_TYPE_CHAR) return fail({OpenFailure::NotASerialPort, {}});
  if (const DWORD code = Configure(raw, baudRate)) {
    // A character device that refuses the port settings (NUL, CON) is no serial port.
    if (code == ERROR_INVALID_FUNCTION || code == ERROR_INVALID_HANDLE || code == ERROR_NOT_SUPPORTED)
      return fail({OpenFailure::NotASerialPort, SystemMessage(code)});
    return fail(ErrorFromCode(code));
  }
  if (error) *error = {};
  return std::make_unique<Win32SerialPort>(std::move(handle));
}

std::string DescribeOpenError(const std::string& path, const OpenError& error) {
  if (IsNetworkPortName(path)) return DescribeNetworkOpenError(path, error);
  // People know their ports as COM3, not by the device namespace's name.
  const std::string prefix = R"(\\.\)";
  const std::string port = path.starts_with(prefix) ? path.substr(prefix.size()) : path;
  switch (error.kind) {
    case OpenFailure::NotFound:
      return "cannot open " + port + ": no such port (is the adapter plugged in? Device Manager lists the COM ports "
             "under Ports)";
    case OpenFailure::Busy:
      return "cannot open " + port + ": port busy (another program holds it)";
    case OpenFailure::NotASerialPort:
      return "cannot open " + port + ": not a serial port";
    default:
      return "cannot open " + port + ": " + error.detail;
  }
}

}  // namespace tarnwick::link
