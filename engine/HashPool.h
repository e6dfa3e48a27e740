#pragma once
// Digests computed beside the reads. From the page cache a file is read
// faster than SHA-256 can take it in, so the worker copies each file's
// bytes to a few threads of their own and reads on; several files are
// hashed at once, each file's bytes in order by one digest set at a time.
//
// One thread feeds (Begin, Data/Zeros, then End or Drop, file after file);
// the digests reach each file's done call on a pool thread, in no
// particular order across files.
#include <array>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "DigestSet.h"

class THashPool final : public TDataSink {
 public:
  // Hex by kind; empty for the kinds not asked for.
  using TDigests = std::array<std::string, DigestKindCount>;
  using TDone = std::function<void(const TDigests& digests)>;

  // Bytes copied and not hashed yet: beyond them the feeder waits, so a
  // slow hash cannot fill the memory.
  static constexpr std::size_t MaxBytesWaiting = std::size_t{32} << 20;
  // Files begun and not done yet.
  static constexpr std::size_t MaxFilesWaiting = 256;

  // Throws std::runtime_error when OpenSSL withholds a digest.
  explicit THashPool(unsigned threads = DefaultThreads());
  ~THashPool() override;
  THashPool(const THashPool&) = delete;
  THashPool& operator=(const THashPool&) = delete;

  // One per processor, at most four: the feeder spends its time in the
  // kernel's copies, so hashing can have every processor.
  static unsigned DefaultThreads();

  // A new file's bytes follow; its digests will be those of kinds.
  void Begin(TDigestKinds kinds);
  void Data(const std::byte* data, std::size_t size) override;
  void Zeros(std::uint64_t count) override;
  // The file's bytes are all in; done gets its digests.
  void End(TDone done);
  // The file's bytes are not wanted after all: done is never called.
  void Drop();

 private:
  struct TChunk {
    std::vector<std::byte> Bytes;
    std::uint64_t Zeros = 0;
  };
  struct TFile;
  using TLock = std::unique_lock<std::mutex>;

  void Run(std::stop_token stop);
  std::shared_ptr<TFile> NextRunnable() const;
  void HashChunks(TFile& file, TLock& lock);
  void Finish(const std::shared_ptr<TFile>& file);
  void Push(TChunk chunk, std::size_t bytes);
  std::vector<std::byte> TakeBuffer();

  std::mutex Mutex;
  std::condition_variable_any Work;  // a chunk or an end to take
  std::condition_variable Room;      // bytes or files taken off
  std::deque<std::shared_ptr<TFile>> Files;  // begun and not done, oldest first
  std::shared_ptr<TFile> Current;            // the feeder's
  std::size_t BytesWaiting = 0;
  std::vector<std::unique_ptr<TDigestSet>> FreeSets;
  std::vector<std::vector<std::byte>> FreeBuffers;
  std::vector<std::jthread> Threads;
};
