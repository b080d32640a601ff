#pragma once
// Byte streams under the object stream and the text stores: files and memory.
#include <cstdint>
#include <string>
#include <vector>

namespace hv {

// A seekable byte stream. Read answers how many bytes it delivered; Write throws on failure.
class TStream {
public:
  virtual ~TStream() = default;
  virtual std::size_t Read(void* buffer, std::size_t count) = 0;
  virtual void Write(const void* buffer, std::size_t count) = 0;
  virtual std::int64_t Seek(std::int64_t position) = 0;  // absolute; answers the new position
  virtual std::int64_t SeekEnd() = 0;
  virtual std::int64_t Position() const = 0;
  virtual std::int64_t Size() const = 0;
  virtual void Flush() {}

  // Reads exactly count bytes or throws the "Stream read error".
  void ReadBuffer(void* buffer, std::size_t count);
  // Reads up to count bytes at position without moving Position(), so that several threads may
  // read one stream at once; answers how many were read. Streams that cannot throw EInOutError.
  virtual std::size_t ReadAt(std::int64_t position, void* buffer, std::size_t count) const;
};

// A file on disk, opened read-only (shared), read-write, or created afresh.
class TFileStream : public TStream {
public:
  enum class TMode { OpenRead, OpenReadWrite, Create };
  // Throws EInOutError naming the file when it cannot be opened.
  TFileStream(const std::string& fileName, TMode mode);
  ~TFileStream() override;
  TFileStream(const TFileStream&) = delete;
  TFileStream& operator=(const TFileStream&) = delete;

  std::size_t Read(void* buffer, std::size_t count) override;
  void Write(const void* buffer, std::size_t count) override;
  std::int64_t Seek(std::int64_t position) override;
  std::int64_t SeekEnd() override;
  std::int64_t Position() const override { return Pos; }
  std::int64_t Size() const override;
  std::size_t ReadAt(std::int64_t position, void* buffer, std::size_t count) const override;
  void Flush() override;  // to the disk, not only the kernel

  // Takes an exclusive advisory lock without waiting; false when another holder has it.
  bool TryLockExclusive();
  const std::string& FileName() const { return Name; }
  int Handle() const { return Fd; }

private:
  std::string Name;
  int Fd = -1;
  std::int64_t Pos = 0;
};

// A growable stream in memory.
class TMemoryStream : public TStream {
public:
  TMemoryStream() = default;
  explicit TMemoryStream(std::vector<std::uint8_t> bytes) : Bytes(std::move(bytes)) {}
  TMemoryStream(const void* data, std::size_t size);

  std::size_t Read(void* buffer, std::size_t count) override;
  void Write(const void* buffer, std::size_t count) override;
  std::size_t ReadAt(std::int64_t position, void* buffer, std::size_t count) const override;
  std::int64_t Seek(std::int64_t position) override;
  std::int64_t SeekEnd() override { return Pos = static_cast<std::int64_t>(Bytes.size()); }
  std::int64_t Position() const override { return Pos; }
  std::int64_t Size() const override { return static_cast<std::int64_t>(Bytes.size()); }

  const std::vector<std::uint8_t>& Data() const { return Bytes; }

private:
  std::vector<std::uint8_t> Bytes;
  std::int64_t Pos = 0;
};

bool FileExists(const std::string& fileName);

}  // namespace hv
