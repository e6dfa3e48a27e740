#include "HashPool.h"

#include <algorithm>
#include <cstring>

#include "ThreadPriority.h"

namespace {

// As large as the run's reads, so that one read is one chunk.
constexpr std::size_t ChunkSize = std::size_t{1} << 20;
constexpr std::size_t MaxFreeBuffers = 8;
// Pieces up to this size are added to the file's last chunk under the lock.
constexpr std::size_t SmallPiece = 64 * 1024;

}  // namespace

struct THashPool::TFile {
  TDigestKinds Kinds = 0;
  std::deque<TChunk> Chunks;
  std::size_t ChunkBytes = 0;
  TDone Done;
  bool Ended = false;
  bool Dropped = false;
  bool Claimed = false;  // a pool thread is hashing it
  // Taken when its first chunk is hashed; kept between chunks, so that a
  // file that arrives slowly goes on where it was.
  std::unique_ptr<TDigestSet> Set;
};

unsigned THashPool::DefaultThreads() {
  return std::clamp(std::thread::hardware_concurrency(), 1u, 4u);
}

THashPool::THashPool(unsigned threads) {
  // Made here, so that a digest OpenSSL withholds is known before a run.
  FreeSets.push_back(std::make_unique<TDigestSet>());
  for (unsigned i = 0; i < std::max(threads, 1u); ++i)
    Threads.emplace_back([this](std::stop_token stop) { Run(stop); });
}

THashPool::~THashPool() {
  for (std::jthread& thread : Threads) thread.request_stop();
  Work.notify_all();
  Threads.clear();
}

void THashPool::Begin(TDigestKinds kinds) {
  TLock lock(Mutex);
  Room.wait(lock, [this] { return Files.size() < MaxFilesWaiting; });
  Current = std::make_shared<TFile>();
  Current->Kinds = kinds;
  Files.push_back(Current);
}

std::vector<std::byte> THashPool::TakeBuffer() {
  if (FreeBuffers.empty()) return {};
  std::vector<std::byte> buffer = std::move(FreeBuffers.back());
  FreeBuffers.pop_back();
  return buffer;
}

void THashPool::Data(const std::byte* data, std::size_t size) {
  for (std::size_t done = 0; done < size;) {
    const std::size_t piece = std::min(size - done, ChunkSize);
    const std::byte* from = data + done;
    done += piece;
    TLock lock(Mutex);
    Room.wait(lock, [&] { return BytesWaiting == 0 || BytesWaiting + piece <= MaxBytesWaiting; });
    // Small reads (a small read unit, small files) share a chunk.
    std::deque<TChunk>& chunks = Current->Chunks;
    if (piece <= SmallPiece && !chunks.empty() && chunks.back().Zeros == 0 &&
        chunks.back().Bytes.size() + piece <= ChunkSize) {
      chunks.back().Bytes.insert(chunks.back().Bytes.end(), from, from + piece);
      Current->ChunkBytes += piece;
      BytesWaiting += piece;
      continue;
    }
    // A large copy is made without the lock: the pool threads go on meanwhile.
    TChunk chunk{TakeBuffer(), 0};
    BytesWaiting += piece;  // held for this chunk while it is copied
    lock.unlock();
    chunk.Bytes.reserve(ChunkSize);
    chunk.Bytes.assign(from, from + piece);
    lock.lock();
    BytesWaiting -= piece;
    Push(std::move(chunk), piece);
  }
}

void THashPool::Zeros(std::uint64_t count) {
  TLock lock(Mutex);
  Push(TChunk{{}, count}, 0);
}

// Needs Mutex held.
void THashPool::Push(TChunk chunk, std::size_t bytes) {
  Current->Chunks.push_back(std::move(chunk));
  Current->ChunkBytes += bytes;
  BytesWaiting += bytes;
  Work.notify_one();
}

void THashPool::End(TDone done) {
  TLock lock(Mutex);
  Current->Done = std::move(done);
  Current->Ended = true;
  Current.reset();
  Work.notify_one();
}

void THashPool::Drop() {
  TLock lock(Mutex);
  TFile& file = *Current;
  file.Dropped = true;
  BytesWaiting -= file.ChunkBytes;
  file.ChunkBytes = 0;
  file.Chunks.clear();
  // A pool thread that hashes it now lets it go after its chunk.
  if (!file.Claimed) Finish(Current);
  Current.reset();
  Room.notify_all();
}

// Needs Mutex held. The oldest file with something to do that no thread has.
std::shared_ptr<THashPool::TFile> THashPool::NextRunnable() const {
  for (const std::shared_ptr<TFile>& file : Files) {
    if (!file->Claimed && (!file->Chunks.empty() || file->Ended)) return file;
  }
  return nullptr;
}

// Needs Mutex held.
void THashPool::Finish(const std::shared_ptr<TFile>& file) {
  if (file->Set) FreeSets.push_back(std::move(file->Set));
  std::erase(Files, file);
  Room.notify_all();
}

void THashPool::Run(std::stop_token stop) {
  // From a medium the worker's reads must follow each other without a gap;
  // hashing keeps up in between and catches up from the bytes waiting.
  Platform::LowerThreadCpuPriority();
  TLock lock(Mutex);
  for (;;) {
    if (!Work.wait(lock, stop, [this] { return NextRunnable() != nullptr; })) return;
    const std::shared_ptr<TFile> file = NextRunnable();
    file->Claimed = true;
    HashChunks(*file, lock);
    if (file->Dropped) {
      Finish(file);
    } else if (!file->Ended) {
      file->Claimed = false;  // more is to come, for whichever thread is free then
    } else {
      TDigests digests;
      lock.unlock();
      for (std::size_t k = 0; k < DigestKindCount; ++k) {
        const auto kind = static_cast<TDigestKind>(k);
        if (file->Kinds & KindBit(kind)) digests[k] = file->Set->HexDigest(kind);
      }
      file->Done(digests);
      lock.lock();
      Finish(file);
    }
  }
}

// Hashes what has come of the file so far; returns with Mutex held.
void THashPool::HashChunks(TFile& file, TLock& lock) {
  if (!file.Set) {
    if (FreeSets.empty()) {
      lock.unlock();
      auto set = std::make_unique<TDigestSet>();
      lock.lock();
      FreeSets.push_back(std::move(set));
    }
    file.Set = std::move(FreeSets.back());
    FreeSets.pop_back();
    file.Set->Reset(file.Kinds);
  }
  while (!file.Chunks.empty() && !file.Dropped) {
    TChunk chunk = std::move(file.Chunks.front());
    file.Chunks.pop_front();
    const std::size_t bytes = chunk.Bytes.size();
    lock.unlock();
    if (chunk.Zeros > 0)
      file.Set->Zeros(chunk.Zeros);
    else
      file.Set->Data(chunk.Bytes.data(), bytes);
    lock.lock();
    // A drop in between has taken the file's bytes off already.
    if (!file.Dropped) {
      BytesWaiting -= bytes;
      file.ChunkBytes -= bytes;
    }
    if (chunk.Bytes.capacity() == ChunkSize && FreeBuffers.size() < MaxFreeBuffers) {
      chunk.Bytes.clear();
      FreeBuffers.push_back(std::move(chunk.Bytes));
    }
    Room.notify_all();
  }
}
