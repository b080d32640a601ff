#pragma once
// Streams and files that the core tests share: a stream that fails after N bytes and a
// temporary file that removes itself.
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <string>

#include "core/Errors.h"
#include "core/Streams.h"

namespace hv::test {

// A memory stream that accepts (or delivers) only its first Limit bytes and then fails the way a
// full disk or a broken device does.
class TFailingStream : public TMemoryStream {
public:
  TFailingStream(std::size_t writeLimit, std::size_t readLimit = SIZE_MAX)
      : WriteLimit(writeLimit), ReadLimit(readLimit) {}
  explicit TFailingStream(std::vector<std::uint8_t> bytes, std::size_t readLimit)
      : TMemoryStream(std::move(bytes)), WriteLimit(SIZE_MAX), ReadLimit(readLimit) {}

  void Write(const void* buffer, std::size_t count) override {
    const std::size_t room = Written < WriteLimit ? WriteLimit - Written : 0;
    if (count > room) {
      TMemoryStream::Write(buffer, room);
      Written += room;
      throw EInOutError("Disk full");
    }
    TMemoryStream::Write(buffer, count);
    Written += count;
  }

  std::size_t Read(void* buffer, std::size_t count) override {
    const std::size_t room = Delivered < ReadLimit ? ReadLimit - Delivered : 0;
    if (count > room) {
      Delivered += TMemoryStream::Read(buffer, room);
      throw EInOutError("Device gone");
    }
    const std::size_t n = TMemoryStream::Read(buffer, count);
    Delivered += n;
    return n;
  }

private:
  std::size_t WriteLimit;
  std::size_t ReadLimit;
  std::size_t Written = 0;
  std::size_t Delivered = 0;
};

// A fresh path in the test temporary folder, removed again when the test ends.
class TTempFile {
public:
  explicit TTempFile(const std::string& stem) {
    static std::atomic<int> serial{0};
    Path = ::testing::TempDir() + "hv_" + stem + "_" + std::to_string(::getpid()) + "_" +
           std::to_string(serial++);
    std::remove(Path.c_str());
  }
  ~TTempFile() { std::remove(Path.c_str()); }
  TTempFile(const TTempFile&) = delete;
  TTempFile& operator=(const TTempFile&) = delete;

  std::string Path;
};

}  // namespace hv::test
