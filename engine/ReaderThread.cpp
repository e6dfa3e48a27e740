#include "ReaderThread.h"

#include <fcntl.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "Path.h"

using namespace Platform;
using TClock = std::chrono::steady_clock;

namespace {

// How often a waiting worker looks at skip, stop and the time limit: well
// within the tenth of a second in which they must act.
constexpr std::chrono::milliseconds Poll{20};

// How long each side looks for the other's answer before it sleeps. A read
// from memory or a quick disk takes less: handing it over then costs no
// wake-up of a sleeping thread, which over 20,000 small files was most of
// the run's time.
constexpr std::chrono::microseconds Spin{200};

// A read is left only once it has taken this long: one about to return is
// let finish, as leaving it costs a buffer and a thread and would cut a
// check short that a moment's wait completes. With Poll, skip and stop
// still act within the tenth of a second.
constexpr std::chrono::milliseconds Grace{50};

// The start of the call under way, for the fronts to show one that has
// stalled; 0 again once it is over.
struct TShownAsRead {
  std::atomic<std::int64_t>& At;
  TShownAsRead(std::atomic<std::int64_t>& at, std::chrono::steady_clock::time_point start) : At(at) {
    At.store(start.time_since_epoch().count());
  }
  ~TShownAsRead() { At.store(0); }
};

template <class TCondition>
void SpinUntil(TCondition condition) {
  const auto until = std::chrono::steady_clock::now() + Spin;
  while (!condition() && std::chrono::steady_clock::now() < until) std::this_thread::yield();
}

bool SameFile(const TFileIdentity& a, const TFileIdentity& b) {
  return a.Device == b.Device && a.Inode == b.Inode;
}

}  // namespace

TReadBuffer AllocateReadBuffer(std::size_t size) {
  return TReadBuffer(
      static_cast<std::byte*>(::operator new[](size, ReadBufferAlignment, std::nothrow)));
}

// The files whose reads were left behind, one entry per read; shared with
// those reads' threads, which may outlive the run.
struct TReaderThread::TLeftReads {
  std::mutex Mutex;
  std::condition_variable Changed;
  std::vector<TFileIdentity> Files;
};

// One read at a time between the worker and the reading thread.
struct TReaderThread::TJob {
  std::mutex Mutex;
  std::condition_variable Changed;
  // Set under Mutex; atomic so that the other side may look without it.
  std::atomic<bool> Posted = false;
  bool Quit = false;
  int Fd = -1;
  std::byte* Buffer = nullptr;
  std::int64_t Count = 0;
  std::atomic<bool> Done = false;
  int Code = 0;
  std::int64_t Bytes = 0;
  // Instead of a read: a call of another kind (an open), which owns what
  // it works on.
  std::function<int()> Call;
  // Once the worker has left the read, the thread owns these and frees
  // them when the read returns.
  bool LeftBehind = false;
  TReadBuffer OwnedBuffer;
  TFileIdentity File;  // in Left's list when Tracked
  bool Tracked = false;
  std::shared_ptr<TLeftReads> Left;
};

TReaderThread::TReaderThread(TReadBuffer buffer, std::size_t bufferSize, TBufferAllocator allocate,
                             TReaderRules rules, std::function<bool()> interrupted,
                             std::atomic<std::int64_t>& readStartedAt)
    : Current(std::move(buffer)),
      BufferSize(bufferSize),
      Allocate(allocate),
      Rules(rules),
      Interrupted(std::move(interrupted)),
      ReadStartedAt(readStartedAt),
      Left(std::make_shared<TLeftReads>()) {}

TReaderThread::~TReaderThread() {
  if (!Thread.joinable()) return;
  {
    std::lock_guard hold(Job->Mutex);
    Job->Quit = true;
  }
  Job->Changed.notify_all();
  Thread.join();
}

void TReaderThread::StartThread() {
  Job = std::make_shared<TJob>();
  Thread = std::thread(Serve, Job);
}

void TReaderThread::Serve(std::shared_ptr<TJob> job) {
  std::unique_lock lock(job->Mutex);
  for (;;) {
    lock.unlock();
    SpinUntil([&] { return job->Posted.load(); });
    lock.lock();
    job->Changed.wait(lock, [&] { return job->Posted || job->Quit; });
    if (job->Quit) return;
    job->Posted = false;
    const int fd = job->Fd;
    std::byte* buffer = job->Buffer;
    const std::int64_t count = job->Count;
    lock.unlock();
    std::int64_t bytes = 0;
    const int code =
        job->Call ? job->Call() : TReadFile::ReadDescriptor(fd, buffer, count, bytes);
    lock.lock();
    if (job->LeftBehind) break;
    job->Code = code;
    job->Bytes = bytes;
    job->Done = true;
    job->Changed.notify_all();
  }
  // Left behind: the descriptor is closed before the file counts as free,
  // so that nothing of this read is open when another may begin.
  TReadFile::CloseDescriptor(job->Fd);
  job->OwnedBuffer.reset();
  job->Call = nullptr;
  lock.unlock();
  if (!job->Tracked) return;
  TLeftReads& left = *job->Left;
  std::lock_guard hold(left.Mutex);
  const auto found = std::find(left.Files.begin(), left.Files.end(), job->File);
  if (found != left.Files.end()) left.Files.erase(found);
  left.Changed.notify_all();
}

bool TReaderThread::Expired(TClock::time_point start) const {
  return Rules.Timeout.count() > 0 && TClock::now() - start >= Rules.Timeout;
}

// Waits while as many reads are left behind on the file's device as the
// rules allow: a dead stick that holds them must not stop the reads of the
// sound drives beside it.
bool TReaderThread::WaitForSlot(TClock::time_point start, std::uint64_t device) {
  std::unique_lock lock(Left->Mutex);
  const auto leftOnDevice = [&] {
    return static_cast<std::size_t>(std::count_if(Left->Files.begin(), Left->Files.end(),
                                                   [&](const TFileIdentity& f) { return f.Device == device; }));
  };
  while (leftOnDevice() >= Rules.MostLeft) {
    if (Interrupted()) return false;
    if (Expired(start)) {
      LastTimedOut = true;
      return false;
    }
    Left->Changed.wait_for(lock, Poll);
  }
  return true;
}

bool TReaderThread::WaitUntilFree(const TFileIdentity& file) {
  LastTimedOut = false;
  const auto start = TClock::now();
  std::unique_lock lock(Left->Mutex);
  const auto busy = [&] {
    return std::any_of(Left->Files.begin(), Left->Files.end(),
                       [&](const TFileIdentity& f) { return SameFile(f, file); });
  };
  if (!busy()) return true;
  // Shown as a stalled read: to the user it is one.
  ReadStartedAt.store(start.time_since_epoch().count());
  bool free = false;
  for (;;) {
    if ((free = !busy()) || Interrupted()) break;
    if ((LastTimedOut = Expired(start))) break;
    Left->Changed.wait_for(lock, Poll);
  }
  ReadStartedAt.store(0);
  return free;
}

int TReaderThread::Read(TReadFile& file, std::byte* buffer, std::int64_t count,
                        std::int64_t& done) {
  done = 0;
  LastTimedOut = false;
  const auto start = TClock::now();
  TShownAsRead shown(ReadStartedAt, start);
  if (!WaitForSlot(start, file.Identity().Device)) return ReadLeftBehind;
  std::int64_t ready = 0;
  if (ReadIfReady(file, buffer, count, ready)) {
    done = ready;
    return 0;
  }
  if (!Thread.joinable()) StartThread();
  std::unique_lock lock(Job->Mutex);
  Job->Fd = file.Descriptor();
  Job->Buffer = buffer + ready;
  Job->Count = count - ready;
  Job->Call = nullptr;
  const int code = Answer(lock, start, &file);
  if (code != ReadLeftBehind) done = ready + Job->Bytes;
  return code;
}

int TReaderThread::Open(TReadFile& file, TDirectoryChain* directory, const std::string& path) {
  LastTimedOut = false;
  if (directory != nullptr && directory->Error() != 0) return file.Open(*directory, NamePart(path));
  // The thread opens relative to a descriptor of its own: one it is left
  // with may outlive the chain's.
  const int within =
      directory != nullptr ? TReadFile::DuplicateDescriptor(directory->Descriptor()) : AT_FDCWD;
  if (within == -1) return file.Open(*directory, NamePart(path));
  struct TOpen {
    TOpen(int within, std::string name) : Within(within), Name(std::move(name)) {}
    TReadFile File;
    int Within;
    std::string Name;
    ~TOpen() {
      if (Within != AT_FDCWD) TReadFile::CloseDescriptor(Within);
    }
  };
  auto open = std::make_shared<TOpen>(within, directory != nullptr ? NamePart(path) : path);
  const auto start = TClock::now();
  TShownAsRead shown(ReadStartedAt, start);
  if (!Thread.joinable()) StartThread();
  std::unique_lock lock(Job->Mutex);
  Job->Fd = -1;
  Job->Call = [open] { return open->File.OpenIn(open->Within, open->Name); };
  int code = Answer(lock, start, nullptr);
  if (code == ReadLeftBehind) return code;
  Job->Call = nullptr;
  lock.unlock();
  file.Take(open->File);
  // Out of descriptors: the chain gives back what it can spare, here.
  if ((code == EMFILE || code == ENFILE) && directory != nullptr)
    code = file.Open(*directory, NamePart(path));
  return code;
}

// Hands the job, set up under lock, to the thread and waits for its answer
// or leaves it on a skip, a stop or the time limit.
int TReaderThread::Answer(std::unique_lock<std::mutex>& lock, TClock::time_point start,
                          TReadFile* file) {
  Job->Done = false;
  Job->Posted = true;
  Job->Changed.notify_all();
  lock.unlock();
  const auto handed = TClock::now();
  if (AnswersCameQuickly) SpinUntil([&] { return Job->Done.load(); });
  lock.lock();
  while (!Job->Changed.wait_for(lock, Poll, [&] { return Job->Done.load(); })) {
    if (TClock::now() - start < Grace) continue;
    const bool timedOut = !Interrupted() && Expired(start);
    if ((timedOut || Interrupted()) && Leave(file)) {
      LastTimedOut = timedOut;
      return ReadLeftBehind;
    }
  }
  // Reads from a medium take longer than the spin: looking for their answer
  // would only take the processors from the threads that hash meanwhile.
  AnswersCameQuickly = TClock::now() - handed < Spin;
  return Job->Code;
}

// What memory already holds cannot hang: handing it to the thread would
// only cost two switches between threads, as much as a small file's read.
bool TReaderThread::ReadIfReady(TReadFile& file, std::byte* buffer, std::int64_t count,
                                std::int64_t& done) {
  const std::uint64_t device = file.Identity().Device;
  if (device != ReadyDevice || !ReadyKnown) {
    ReadyDevice = device;
    ReadyKind = file.ReadyReads();
    ReadyKnown = true;
  }
  return file.ReadIfReady(ReadyKind, buffer, count, done);
}

// Hands the read under way, with the file's descriptor and the buffer, to
// its thread and lets that thread go; an open (no file) takes only what
// its call owns. The caller holds the job's lock. False when no fresh
// buffer can be had: the worker then waits on.
bool TReaderThread::Leave(TReadFile* file) {
  Job->Left = Left;
  if (file != nullptr) {
    TReadBuffer fresh = Allocate(BufferSize);
    if (!fresh) return false;
    Job->OwnedBuffer = std::exchange(Current, std::move(fresh));
    Job->File = file->Identity();
    Job->Fd = file->Release();
    Job->Tracked = true;
    std::lock_guard hold(Left->Mutex);
    Left->Files.push_back(Job->File);
  }
  Job->LeftBehind = true;
  Thread.detach();
  return true;
}
