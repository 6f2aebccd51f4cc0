#pragma once
// A file the tools keep their records in: the traffic log, which several programs
// may append to at once, and a report written whole at the end of a run. Only a
// regular file is taken, so a FIFO, a terminal or a device is never written to or
// waited on; every failure names the file and the reason.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tarnwick::link {

// The whole text of the file at path; nothing, with why in reason ("no such file",
// "it is a FIFO, not a regular file", "larger than 224 KB"), when it is no regular
// file, cannot be read at once (a FIFO or /proc/kmsg is refused, never waited on)
// or holds more than maxBytes.
std::optional<std::string> ReadWholeFile(const std::string& path, std::size_t maxBytes, std::string& reason);

class RecordFile {
 public:
  // The file at path, created when missing and left as it is; nothing, with why
  // in error, when it is not a regular file or cannot be opened for writing.
  // what names it in messages: "the log", "the report".
  static std::optional<RecordFile> Open(const std::string& path, const std::string& what, std::string& error);

  RecordFile(RecordFile&& other) noexcept;
  RecordFile& operator=(RecordFile&& other) noexcept;
  RecordFile(const RecordFile&) = delete;
  RecordFile& operator=(const RecordFile&) = delete;
  ~RecordFile();

  // An exclusive lock on the file, which other programs that write it take too.
  bool Lock();
  void Unlock();

  std::uint64_t Size() const;
  // Up to the last most bytes; empty when the file cannot be read.
  std::string Tail(std::size_t most) const;
  // The whole text at the end of the file, in one write when the disk allows.
  bool Append(std::string_view text);
  // Cuts what follows size away: the part of a line a full disk took.
  void TruncateTo(std::uint64_t size);
  // The whole text in place of what the file held.
  bool Replace(std::string_view text);
  bool Close();

  // Why the last call failed: "cannot write the log PATH: No space left on device".
  const std::string& Error() const { return error_; }

 private:
  RecordFile(int fd, std::string path, std::string what) : fd_(fd), path_(std::move(path)), what_(std::move(what)) {}
  bool Fail(int errorNumber);

  int fd_ = -1;
  std::string path_, what_, error_;
};

}  // namespace tarnwick::link
