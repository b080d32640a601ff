#include "core/Streams.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "core/Errors.h"

namespace hv {

void TStream::ReadBuffer(void* buffer, std::size_t count) {
  if (Read(buffer, count) != count) throw EReadError(kStreamReadError);
}

TFileStream::TFileStream(const std::string& fileName, TMode mode) : Name(fileName) {
  int flags = O_CLOEXEC;
  switch (mode) {
    case TMode::OpenRead: flags |= O_RDONLY; break;
    case TMode::OpenReadWrite: flags |= O_RDWR; break;
    case TMode::Create: flags |= O_RDWR | O_CREAT | O_TRUNC; break;
  }
  // Without waiting: opening a FIFO for reading would otherwise block until a writer comes.
  Fd = ::open(fileName.c_str(), flags | O_NONBLOCK, 0644);
  if (Fd < 0) {
    const int err = errno;
    using R = EFileOpenError::TReason;
    const R reason = err == ENOENT || err == ENOTDIR ? R::NotFound
                     : err == EACCES || err == EPERM ? R::NoPermission
                     : err == EISDIR                 ? R::Folder
                     : err == ENXIO                  ? R::NotRegular
                                                     : R::Other;
    throw EFileOpenError(reason, "Cannot open file \"" + fileName + "\". " + std::strerror(err));
  }
  struct stat st{};
  // Folders never, and for reading only regular files: pipes and devices never end or never hold
  // a file's bytes (writing to a device, such as a full disk in tests, stays possible).
  if (::fstat(Fd, &st) != 0 || S_ISDIR(st.st_mode) || (mode == TMode::OpenRead && !S_ISREG(st.st_mode))) {
    const bool folder = S_ISDIR(st.st_mode);
    ::close(Fd);
    Fd = -1;
    throw EFileOpenError(folder ? EFileOpenError::TReason::Folder : EFileOpenError::TReason::NotRegular,
                         "Cannot open file \"" + fileName + (folder ? "\". Is a directory" : "\". Not a regular file"));
  }
  const int fdFlags = ::fcntl(Fd, F_GETFL);
  if (fdFlags >= 0) ::fcntl(Fd, F_SETFL, fdFlags & ~O_NONBLOCK);
}

TFileStream::~TFileStream() {
  if (Fd >= 0) ::close(Fd);
}

std::size_t TStream::ReadAt(std::int64_t, void*, std::size_t) const {
  throw EInOutError("This stream cannot be read at a position");
}

std::size_t TFileStream::Read(void* buffer, std::size_t count) {
  const std::size_t done = ReadAt(Pos, buffer, count);
  Pos += static_cast<std::int64_t>(done);
  return done;
}

std::size_t TFileStream::ReadAt(std::int64_t position, void* buffer, std::size_t count) const {
  std::size_t done = 0;
  auto* out = static_cast<char*>(buffer);
  while (done < count && position >= 0) {
    const ssize_t n = ::pread(Fd, out + done, count - done, position + static_cast<std::int64_t>(done));
    if (n < 0) {
      if (errno == EINTR) continue;
      throw EInOutError("Read error on \"" + Name + "\": " + std::strerror(errno));
    }
    if (n == 0) break;
    done += static_cast<std::size_t>(n);
  }
  return done;
}

void TFileStream::Write(const void* buffer, std::size_t count) {
  std::size_t done = 0;
  const auto* in = static_cast<const char*>(buffer);
  while (done < count) {
    const ssize_t n = ::pwrite(Fd, in + done, count - done, Pos);
    if (n < 0) {
      if (errno == EINTR) continue;
      throw EInOutError("Write error on \"" + Name + "\": " + std::strerror(errno));
    }
    done += static_cast<std::size_t>(n);
    Pos += n;
  }
}

std::int64_t TFileStream::Seek(std::int64_t position) { return Pos = position < 0 ? 0 : position; }

std::int64_t TFileStream::SeekEnd() { return Pos = Size(); }

std::int64_t TFileStream::Size() const {
  struct stat st{};
  if (::fstat(Fd, &st) != 0) throw EInOutError("Cannot read the size of \"" + Name + "\"");
  return st.st_size;
}

void TFileStream::Flush() {
  if (::fsync(Fd) != 0) throw EInOutError("Write error on \"" + Name + "\": " + std::strerror(errno));
}

bool TFileStream::TryLockExclusive() { return ::flock(Fd, LOCK_EX | LOCK_NB) == 0; }

TMemoryStream::TMemoryStream(const void* data, std::size_t size)
    : Bytes(static_cast<const std::uint8_t*>(data), static_cast<const std::uint8_t*>(data) + size) {}

std::size_t TMemoryStream::Read(void* buffer, std::size_t count) {
  const std::size_t n = ReadAt(Pos, buffer, count);
  Pos += static_cast<std::int64_t>(n);
  return n;
}

std::size_t TMemoryStream::ReadAt(std::int64_t position, void* buffer, std::size_t count) const {
  const std::int64_t size = Size();
  if (position < 0 || position >= size) return 0;
  const std::size_t n = std::min<std::size_t>(count, static_cast<std::size_t>(size - position));
  std::memcpy(buffer, Bytes.data() + position, n);
  return n;
}

void TMemoryStream::Write(const void* buffer, std::size_t count) {
  const std::size_t end = static_cast<std::size_t>(Pos) + count;
  if (end > Bytes.size()) Bytes.resize(end);
  if (count > 0) std::memcpy(Bytes.data() + Pos, buffer, count);
  Pos = static_cast<std::int64_t>(end);
}

std::int64_t TMemoryStream::Seek(std::int64_t position) { return Pos = position < 0 ? 0 : position; }

bool FileExists(const std::string& fileName) {
  struct stat st{};
  return !fileName.empty() && ::stat(fileName.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

}  // namespace hv
