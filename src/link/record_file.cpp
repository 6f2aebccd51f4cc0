#include "record_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>

#include <cerrno>
#include <cstring>
#include <utility>

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <sys/file.h>
#include <unistd.h>
#endif

namespace tarnwick::link {
namespace {

#ifdef _WIN32
using FileStatus = struct _stat64;
int StatusOf(const std::string& path, FileStatus& status) { return ::_stat64(path.c_str(), &status); }
int StatusOf(int fd, FileStatus& status) { return ::_fstat64(fd, &status); }
int OpenForRecords(const std::string& path) {
  return ::_open(path.c_str(), _O_RDWR | _O_APPEND | _O_CREAT | _O_BINARY | _O_NOINHERIT, _S_IREAD | _S_IWRITE);
}
int OpenForReading(const std::string& path) { return ::_open(path.c_str(), _O_RDONLY | _O_BINARY | _O_NOINHERIT); }
long ReadSome(int fd, char* into, std::size_t most) { return ::_read(fd, into, static_cast<unsigned>(most)); }
void CloseFile(int fd) { ::_close(fd); }
bool IsRegular(const FileStatus& status) { return (status.st_mode & _S_IFMT) == _S_IFREG; }
const char* KindOf(const FileStatus& status) {
  return (status.st_mode & _S_IFMT) == _S_IFDIR ? "a directory" : "a device";
}
#else
using FileStatus = struct stat;
int StatusOf(const std::string& path, FileStatus& status) { return ::stat(path.c_str(), &status); }
int StatusOf(int fd, FileStatus& status) { return ::fstat(fd, &status); }
// O_NONBLOCK: a FIFO is refused at once instead of waiting for a reader.
int OpenForRecords(const std::string& path) {
  constexpr int kFlags = O_APPEND | O_CREAT | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
  const int fd = ::open(path.c_str(), O_RDWR | kFlags, 0666);
  return fd >= 0 || errno != EACCES ? fd : ::open(path.c_str(), O_WRONLY | kFlags, 0666);
}
// O_NONBLOCK: a FIFO opens at once, and a file that would wait for data says so.
int OpenForReading(const std::string& path) { return ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC); }
long ReadSome(int fd, char* into, std::size_t most) { return ::read(fd, into, most); }
void CloseFile(int fd) { ::close(fd); }
bool IsRegular(const FileStatus& status) { return S_ISREG(status.st_mode); }
const char* KindOf(const FileStatus& status) {
  if (S_ISDIR(status.st_mode)) return "a directory";
  if (S_ISFIFO(status.st_mode)) return "a FIFO";
  if (S_ISSOCK(status.st_mode)) return "a socket";
  return "a device";
}
#endif

// The file's text up to limit bytes and one more, or nothing with why in reason.
std::optional<std::string> ReadUpTo(int fd, std::size_t limit, std::string& reason) {
  std::string text(limit + 1, '\0');
  std::size_t got = 0;
  while (got < text.size()) {
    const long count = ReadSome(fd, text.data() + got, text.size() - got);
    if (count == 0) break;
    if (count > 0) got += static_cast<std::size_t>(count);
    else if (errno == EAGAIN) reason = "it cannot be read without waiting";
    else if (errno != EINTR) reason = std::string("cannot be read: ") + std::strerror(errno);
    if (!reason.empty()) return std::nullopt;
  }
  text.resize(got);
  return text;
}

}  // namespace

std::optional<std::string> ReadWholeFile(const std::string& path, std::size_t maxBytes, std::string& reason) {
  const int fd = OpenForReading(path);
  if (fd < 0) {
    reason = errno == ENOENT ? std::string("no such file") : std::string("cannot be read: ") + std::strerror(errno);
    return std::nullopt;
  }
  FileStatus status{};
  const bool regular = StatusOf(fd, status) == 0 && IsRegular(status);
  std::string text = regular ? ReadUpTo(fd, maxBytes, reason).value_or("") : "";
  CloseFile(fd);
  if (!regular) reason = std::string("it is ") + KindOf(status) + ", not a regular file";
  else if (text.size() > maxBytes) reason = "larger than " + std::to_string(maxBytes / 1024) + " KB";
  if (!reason.empty()) return std::nullopt;
  return text;
}

std::optional<RecordFile> RecordFile::Open(const std::string& path, const std::string& what, std::string& error) {
  const std::string prefix = "cannot write " + what + " " + path + ": ";
  FileStatus status{};
  if (StatusOf(path, status) == 0 && !IsRegular(status)) {
    error = prefix + "it is " + KindOf(status) + ", not a regular file";
    return std::nullopt;
  }
  const int fd = OpenForRecords(path);
  if (fd < 0) {
    error = prefix + std::strerror(errno);
    return std::nullopt;
  }
  RecordFile file(fd, path, what);
  if (StatusOf(fd, status) != 0 || !IsRegular(status)) {
    error = prefix + "it is " + KindOf(status) + ", not a regular file";
    return std::nullopt;
  }
  return file;
}

RecordFile::RecordFile(RecordFile&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)),
      path_(std::move(other.path_)),
      what_(std::move(other.what_)),
      error_(std::move(other.error_)) {}

RecordFile& RecordFile::operator=(RecordFile&& other) noexcept {
  if (this == &other) return *this;
  if (fd_ >= 0) Close();
  fd_ = std::exchange(other.fd_, -1);
  path_ = std::move(other.path_);
  what_ = std::move(other.what_);
  error_ = std::move(other.error_);
  return *this;
}

RecordFile::~RecordFile() {
  if (fd_ >= 0) Close();
}

bool RecordFile::Fail(int errorNumber) {
  error_ = "cannot write " + what_ + " " + path_ + ": " + std::strerror(errorNumber);
  return false;
}

#ifdef _WIN32
bool RecordFile::Lock() {
  OVERLAPPED whole{};
  const auto handle = reinterpret_cast<HANDLE>(::_get_osfhandle(fd_));
  if (::LockFileEx(handle, LOCKFILE_EXCLUSIVE_LOCK, 0, MAXDWORD, MAXDWORD, &whole)) return true;
  return Fail(EIO);
}

void RecordFile::Unlock() {
  OVERLAPPED whole{};
  ::UnlockFileEx(reinterpret_cast<HANDLE>(::_get_osfhandle(fd_)), 0, MAXDWORD, MAXDWORD, &whole);
}

std::string RecordFile::Tail(std::size_t most) const {
  const std::uint64_t size = Size();
  const std::uint64_t count = size < most ? size : most;
  std::string text(static_cast<std::size_t>(count), '\0');
  if (::_lseeki64(fd_, static_cast<__int64>(size - count), SEEK_SET) < 0) return {};
  const int got = ::_read(fd_, text.data(), static_cast<unsigned>(count));
  text.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
  return text;
}

bool RecordFile::Append(std::string_view text) {
  while (!text.empty()) {
    const int put = ::_write(fd_, text.data(), static_cast<unsigned>(text.size()));
    if (put <= 0) return Fail(put < 0 ? errno : ENOSPC);
    text.remove_prefix(static_cast<std::size_t>(put));
  }
  return true;
}

void RecordFile::TruncateTo(std::uint64_t size) { ::_chsize_s(fd_, static_cast<__int64>(size)); }

bool RecordFile::Replace(std::string_view text) {
  if (::_chsize_s(fd_, 0) != 0) return Fail(errno);
  return Append(text) && (::_commit(fd_) == 0 || Fail(errno));
}

bool RecordFile::Close() {
  const int fd = std::exchange(fd_, -1);
  return fd < 0 || ::_close(fd) == 0 || Fail(errno);
}
#else
bool RecordFile::Lock() {
  while (::flock(fd_, LOCK_EX) < 0)
    if (errno != EINTR) return Fail(errno);
  return true;
}

void RecordFile::Unlock() { ::flock(fd_, LOCK_UN); }

std::string RecordFile::Tail(std::size_t most) const {
  const std::uint64_t size = Size();
  const std::uint64_t count = size < most ? size : most;
  std::string text(static_cast<std::size_t>(count), '\0');
  const ssize_t got = ::pread(fd_, text.data(), text.size(), static_cast<off_t>(size - count));
  text.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
  return text;
}

bool RecordFile::Append(std::string_view text) {
  while (!text.empty()) {
    const ssize_t put = ::write(fd_, text.data(), text.size());
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) return Fail(put < 0 ? errno : ENOSPC);
    text.remove_prefix(static_cast<std::size_t>(put));
  }
  return true;
}

void RecordFile::TruncateTo(std::uint64_t size) {
  if (::ftruncate(fd_, static_cast<off_t>(size)) < 0) return;  // the next writer ends the line instead
}

bool RecordFile::Replace(std::string_view text) {
  if (::ftruncate(fd_, 0) < 0) return Fail(errno);
  return Append(text) && (::fsync(fd_) == 0 || Fail(errno));
}

bool RecordFile::Close() {
  const int fd = std::exchange(fd_, -1);
  return fd < 0 || ::close(fd) == 0 || Fail(errno);
}
#endif

std::uint64_t RecordFile::Size() const {
  FileStatus status{};
  return StatusOf(fd_, status) == 0 ? static_cast<std::uint64_t>(status.st_size) : 0;
}

}  // namespace tarnwick::link
