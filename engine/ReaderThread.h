#pragma once
// Runs the worker's read calls on a thread of their own, so that the worker
// can leave a read that hangs in the kernel: a dying sector may take a
// minute to fail, and skip, stop and close must act at once all the same.
// A read left behind keeps its descriptor and its buffer until it returns;
// then its thread closes the one, frees the other and ends. The worker gets
// a fresh buffer and goes on.
#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <new>
#include <thread>

#include "File.h"
#include "StretchReads.h"

// The run's read buffer starts on a page boundary: the kernel copies file
// data into an aligned buffer markedly faster (about 15% for 1 MiB reads
// from the page cache) than into the 16-byte-offset block malloc gives.
inline constexpr std::align_val_t ReadBufferAlignment{4096};
struct TReadBufferDeleter {
  void operator()(std::byte* buffer) const { ::operator delete[](buffer, ReadBufferAlignment); }
};
using TReadBuffer = std::unique_ptr<std::byte[], TReadBufferDeleter>;
// Allocates a run's read buffer; null when the memory cannot be had.
using TBufferAllocator = TReadBuffer (*)(std::size_t size);
TReadBuffer AllocateReadBuffer(std::size_t size);

struct TReaderRules {
  // A read blocked this long fails its file; zero: no limit.
  std::chrono::seconds Timeout{0};
  // Reads left blocked at once on one device. At the limit no new read
  // there starts until one of them returns: the worker waits as for a
  // blocked read of its own, so skip and stop still act at once, and a
  // medium that hangs every read does not gather threads without end.
  std::size_t MostLeft = 4;
};

class TReaderThread : public TReadCaller {
 public:
  // interrupted tells when the worker wants to leave the read under way
  // (skip, stop); it is asked every few milliseconds while a read waits.
  // readStartedAt takes the start of the read under way, in steady-clock
  // ticks since its epoch (0 between reads), for the fronts to show a
  // read that has stalled.
  TReaderThread(TReadBuffer buffer, std::size_t bufferSize, TBufferAllocator allocate,
                TReaderRules rules, std::function<bool()> interrupted,
                std::atomic<std::int64_t>& readStartedAt);
  ~TReaderThread() override;
  TReaderThread(const TReaderThread&) = delete;
  TReaderThread& operator=(const TReaderThread&) = delete;

  // The buffer reads go into now; another one after a read was left.
  std::byte* Buffer() const { return Current.get(); }

  // Reads into buffer, which must be Buffer(). Returns ReadLeftBehind when
  // the worker left the read (or never began it, with as many reads left
  // behind as the rules allow): there is no result then, the file may have
  // been closed, and TimedOut() tells whether it was the time limit.
  int Read(Platform::TReadFile& file, std::byte* buffer, std::int64_t count,
           std::int64_t& done) override;
  bool TimedOut() const { return LastTimedOut; }

  // Opens path into file, by its name in directory when one is given, on
  // the reading thread, so that skip, stop and the time limit act on an
  // open that hangs as on a read. ReadLeftBehind when the worker left it:
  // file stays closed, and what the open returns is closed by its thread.
  int Open(Platform::TReadFile& file, Platform::TDirectoryChain* directory,
           const std::string& path);

  // Waits until no read left behind is reading file, so that a file is
  // never read twice at the same time; false when interrupted first.
  bool WaitUntilFree(const Platform::TFileIdentity& file);

 private:
  struct TJob;
  struct TLeftReads;
  static void Serve(std::shared_ptr<TJob> job);
  bool WaitForSlot(std::chrono::steady_clock::time_point start, std::uint64_t device);
  bool Leave(Platform::TReadFile* file);
  int Answer(std::unique_lock<std::mutex>& lock, std::chrono::steady_clock::time_point start,
             Platform::TReadFile* file);
  bool Expired(std::chrono::steady_clock::time_point start) const;
  void StartThread();
  bool ReadIfReady(Platform::TReadFile& file, std::byte* buffer, std::int64_t count,
                   std::int64_t& done);

  TReadBuffer Current;
  std::size_t BufferSize;
  TBufferAllocator Allocate;
  const TReaderRules Rules;
  std::function<bool()> Interrupted;
  std::atomic<std::int64_t>& ReadStartedAt;
  std::shared_ptr<TLeftReads> Left;
  std::shared_ptr<TJob> Job;
  std::thread Thread;
  bool LastTimedOut = false;
  bool AnswersCameQuickly = true;  // the last read handed over returned within the spin
  // How reads that must not wait fare on the device read last.
  std::uint64_t ReadyDevice = 0;
  Platform::TReadFile::TReadyReads ReadyKind = Platform::TReadFile::TReadyReads::Unknown;
  bool ReadyKnown = false;
};
