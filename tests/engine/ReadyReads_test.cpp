// Reads that memory can answer are made by the worker itself; the rest of
// such a read goes to the reading thread. Whatever the split, the bytes
// must be the file's, in order, with nothing read twice or left out.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <filesystem>

#include "ReaderThread.h"
#include "TempDir.h"
#include "TestUtil.h"

using namespace Platform;

namespace {

char PatternByte(std::int64_t i) { return static_cast<char>((i * 131 + i / 4093) & 0xFF); }

// Drops the file's pages, then brings back exactly its first cachedBytes:
// a descriptor of its own, without read-ahead, reads them.
void CacheOnlyTheStart(const std::string& path, std::int64_t cachedBytes) {
  TReadFile dropper;
  ASSERT_EQ(dropper.Open(path), 0);
  dropper.DropCachedPages();
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  posix_fadvise(fd, 0, 0, POSIX_FADV_RANDOM);
  std::vector<char> start(static_cast<std::size_t>(cachedBytes));
  EXPECT_EQ(pread(fd, start.data(), start.size(), 0), cachedBytes);
  close(fd);
}

}  // namespace

TEST(ReadyReads, EveryByteOnceWhateverMemoryHolds) {
  constexpr std::int64_t Size = (std::int64_t{1} << 20) * 2 + 4097;
  constexpr std::size_t Unit = std::size_t{1} << 20;
  std::string content(static_cast<std::size_t>(Size), '\0');
  for (std::int64_t i = 0; i < Size; ++i) content[static_cast<std::size_t>(i)] = PatternByte(i);

  TTempDir disk;
  std::string shm = "/dev/shm/korvane-ready-XXXXXX";
  const bool haveShm = mkdtemp(shm.data()) != nullptr;
  const struct {
    const char* What;
    std::string Directory;
    std::int64_t Cached;  // -1: as written, all in memory
  } cases[] = {{"as written", disk.Path(), -1},
               {"nothing in memory", disk.Path(), 0},
               {"the first 256 KiB in memory", disk.Path(), 256 << 10},
               {"a file system in memory", haveShm ? shm : disk.Path(), -1}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.What);
    const std::string path = c.Directory + "/data.bin";
    TestUtil::WriteFile(path, content);
    if (c.Cached >= 0) CacheOnlyTheStart(path, c.Cached);

    std::atomic<std::int64_t> startedAt{0};
    TReaderThread reader(AllocateReadBuffer(Unit), Unit, AllocateReadBuffer, {}, [] { return false; },
                         startedAt);
    TReadFile file;
    ASSERT_EQ(file.Open(path), 0);
    std::string got;
    for (std::int64_t done = 1; done > 0;) {
      ASSERT_EQ(reader.Read(file, reader.Buffer(), Unit, done), 0);
      got.append(reinterpret_cast<const char*>(reader.Buffer()), static_cast<std::size_t>(done));
    }
    ASSERT_EQ(got.size(), content.size());
    EXPECT_TRUE(got == content) << "bytes out of place";
    std::filesystem::remove(path);
  }
  if (haveShm) std::filesystem::remove_all(shm);
}
