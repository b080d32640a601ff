#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <string>
#include <vector>

#include "TestStreams.h"
#include "core/ObjectStream.h"
#include "core/Streams.h"

namespace hv {
namespace {

using test::TTempFile;
using TMode = TFileStream::TMode;

void WriteText(const std::string& path, const std::string& text) {
  TFileStream out(path, TMode::Create);
  out.Write(text.data(), text.size());
}

TEST(FileStream, SecondOpenOfALockedFileCannotLockIt) {
  TTempFile file("lock");
  WriteText(file.Path, "locked");
  {
    TFileStream holder(file.Path, TMode::OpenReadWrite);
    ASSERT_TRUE(holder.TryLockExclusive());
    TFileStream other(file.Path, TMode::OpenRead);
    EXPECT_FALSE(other.TryLockExclusive());
  }
  TFileStream later(file.Path, TMode::OpenReadWrite);
  EXPECT_TRUE(later.TryLockExclusive()) << "closing the holder must release the lock";
}

TEST(FileStream, AnotherProcessCannotLockALockedFile) {
  TTempFile file("lockfork");
  WriteText(file.Path, "locked");
  TFileStream holder(file.Path, TMode::OpenReadWrite);
  ASSERT_TRUE(holder.TryLockExclusive());
  const pid_t child = ::fork();
  ASSERT_NE(child, -1);
  if (child == 0) {
    int code = 2;
    try {
      TFileStream other(file.Path, TMode::OpenReadWrite);
      code = other.TryLockExclusive() ? 1 : 0;
    } catch (...) {
    }
    ::_exit(code);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "1: the child got the lock, 2: the child could not open the file";
}

TEST(FileStream, WritesFlushesAndReadsBack) {
  TTempFile file("rw");
  {
    TFileStream out(file.Path, TMode::Create);
    out.Write("hello, ", 7);
    out.Write("world", 5);
    EXPECT_EQ(out.Position(), 12);
    EXPECT_NO_THROW(out.Flush());
    out.Seek(0);
    out.Write("J", 1);
    EXPECT_EQ(out.Size(), 12);
  }
  TFileStream in(file.Path, TMode::OpenRead);
  std::string text(12, '\0');
  in.ReadBuffer(text.data(), text.size());
  EXPECT_EQ(text, "Jello, world");
}

TEST(FileStream, ReadingPastTheEndDeliversWhatIsThere) {
  TTempFile file("short");
  WriteText(file.Path, "abc");
  TFileStream in(file.Path, TMode::OpenRead);
  char buf[8] = {};
  in.Seek(1);
  EXPECT_EQ(in.Read(buf, sizeof buf), 2u);
  EXPECT_EQ(std::string(buf, 2), "bc");
  EXPECT_EQ(in.Position(), 3);
  EXPECT_EQ(in.Read(buf, sizeof buf), 0u);
  in.Seek(0);
  try {
    in.ReadBuffer(buf, 4);
    FAIL() << "no error";
  } catch (const EReadError& e) {
    EXPECT_STREQ(e.what(), "Stream read error");
  }
  EXPECT_EQ(in.Seek(-5), 0);
  EXPECT_EQ(in.SeekEnd(), 3);
}

TEST(FileStream, OpenFailuresNameTheFile) {
  TTempFile file("missing");
  try {
    TFileStream in(file.Path, TMode::OpenRead);
    FAIL() << "opened a missing file";
  } catch (const EInOutError& e) {
    EXPECT_EQ(std::string(e.what()), "Cannot open file \"" + file.Path + "\". No such file or directory");
  }
  EXPECT_THROW(TFileStream(::testing::TempDir(), TMode::OpenRead), EInOutError);
  EXPECT_FALSE(FileExists(file.Path));
  EXPECT_FALSE(FileExists(::testing::TempDir()));
  EXPECT_FALSE(FileExists(""));
}

TEST(FileStream, FullDeviceReportsTheWriteErrorThroughTheWriter) {
  if (!FileExists("/dev/full") && ::access("/dev/full", W_OK) != 0) GTEST_SKIP() << "no /dev/full here";
  TFileStream device("/dev/full", TMode::OpenReadWrite);
  TNetWriter writer(device);
  writer.WriteString("something");
  try {
    writer.Flush();
    FAIL() << "a full device accepted the bytes";
  } catch (const EInOutError& e) {
    EXPECT_EQ(std::string(e.what()), "Write error on \"/dev/full\": No space left on device");
  }
}

TEST(MemoryStream, WritingBeyondTheEndFillsTheGapWithZeros) {
  TMemoryStream stream;
  stream.Seek(3);
  stream.Write("x", 1);
  EXPECT_EQ(stream.Data(), (std::vector<std::uint8_t>{0, 0, 0, 'x'}));
  stream.Seek(10);
  char c = 0;
  EXPECT_EQ(stream.Read(&c, 1), 0u);
  stream.Seek(1);
  stream.Write("yz", 2);
  EXPECT_EQ(stream.Data(), (std::vector<std::uint8_t>{0, 'y', 'z', 'x'}));
  EXPECT_EQ(stream.Position(), 3);
}

}  // namespace
}  // namespace hv
