#pragma once
// One open serial port, held for a single exchange. Each platform implements it
// in its own file: posix_serial_port.cpp (termios), win32_serial_port.cpp.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "frame.h"
#include "framing.h"

namespace tarnwick::link {

struct ReadResult {
  bool ok = false;        // false: the read call itself failed (hang-up, I/O error)
  std::size_t count = 0;  // bytes that arrived, at most the buffer's 20
  std::string detail = {};  // when not ok, where the port can tell: "the server closed the connection"
};

// Read time-outs: a reply ends after this much silence once a byte arrived...
inline constexpr int kInterByteGapMs = 25;
// ...or this long after the read began.
inline constexpr int kReadTotalMs = 12 * static_cast<int>(kFrameBufferSize) + 25;

// An adapter unplugged mid-frame may never report an empty transmit queue; this
// long past the frame's wire time the wait gives up and the frame counts as not sent.
inline constexpr int kDrainMarginMs = 200;

struct TransmitResult {
  bool sent = false;   // every byte written and gone from the driver's queue in time
  std::string detail;  // when not sent: what stopped it, in the system's words
};

// When a read ends. The gap rule ends a reply after kInterByteGapMs of silence;
// the frame rule also ends it as soon as the bytes form one whole verified frame
// (bytes that cannot be one fall back to the gap). kReadTotalMs bounds both.
enum class ReadEnd { Gap, Frame };

struct ReadRule {
  ReadEnd end = ReadEnd::Gap;
  int firstByteMs = kReadTotalMs;  // how long to wait for the first byte; never beyond kReadTotalMs
  std::size_t byteLimit = kFrameBufferSize;  // the read takes no more bytes than this (an echo, not the reply after it)
};

// True when a read under rule may end now, before any gap, with these bytes.
inline bool ReadIsComplete(std::span<const std::uint8_t> bytes, const ReadRule& rule) {
  return rule.end == ReadEnd::Frame && FramingInUse().Judge(bytes) == FrameProgress::Complete;
}

class LineControl;

class SerialPort {
 public:
  virtual ~SerialPort() = default;  // closes the port

  // Writes the bytes, waits until they have left the line, then settles. A write
  // that fails or stops short, or a frame still queued when the wait runs out,
  // ends it at once: no settle delay, and the result says why.
  [[nodiscard]] virtual TransmitResult TransmitFrame(std::span<const std::uint8_t> bytes, int baudRate) = 0;
  // One read of at most 20 bytes, ended as rule says.
  virtual ReadResult ReadReply(FrameBuffer& buffer, const ReadRule& rule) = 0;
  ReadResult ReadReply(FrameBuffer& buffer) { return ReadReply(buffer, ReadRule{}); }
  // The driver's direction calls on this port (line_control.h), valid while the
  // port is open; none where the port has no such calls.
  virtual std::unique_ptr<LineControl> MakeLineControl();
};

enum class OpenFailure {
  None,
  NotFound,
  PermissionDenied,
  Busy,
  NotASerialPort,
  OwnTerminal,   // the terminal this program runs in: never a board's line
  BoardStopped,  // a simulated board's entry whose board no longer runs
  Other
};

struct OpenError {
  OpenFailure kind = OpenFailure::None;
  std::string detail;  // the system's own words
  std::string holder = {};  // for Busy, where it can be found out: "tarnwick-cli, process 4416"
};

// Why path must not be opened as a port, or kind None: the entry of a simulated
// board that has stopped (its pseudo-terminal may belong to another program by
// now), something that is no character device (a directory, a file), or the
// terminal this program runs in (/dev/tty, or the device of standard input,
// output or error). Nothing is opened for writing. OpenPort checks it itself.
OpenError CheckPortTarget(const std::string& path);

// Opens and configures the port at path for one exchange: 8 data bits, no parity,
// one stop bit, no flow control, the input queue discarded, held exclusively
// until the port is destroyed.
// Returns nullptr and fills error when any step fails; nothing stays open then.
std::unique_ptr<SerialPort> OpenPort(const std::string& path, int baudRate, OpenError* error = nullptr);

// Holds an open terminal for this process alone: an exclusive flock for programs
// that take one, the terminal's exclusive mode for those that do not. Waits up to
// 200 ms for a holder to let go. Returns 0, or the errno value of the failure
// (EBUSY when another program holds the line).
int HoldLineExclusively(int fd);
// Lets other programs open the terminal again; the flock ends with the descriptor.
void ReleaseLineExclusively(int fd);

// A sentence for a person: what went wrong and what to do.
std::string DescribeOpenError(const std::string& path, const OpenError& error);

}  // namespace tarnwick::link
