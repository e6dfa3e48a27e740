#include "ReadAhead.h"

#include <algorithm>

#include "DepthFirstWalk.h"
#include "DirectoryChain.h"
#include "File.h"
#include "Path.h"

using namespace Platform;

namespace {

// The end of a pause is signalled to the worker only, so a paused helper
// looks at the flag again this often; a stop wakes it at once.
constexpr std::chrono::milliseconds PausePoll{20};

// How long the worker waits for the helper's drop of the file it reaches.
constexpr std::chrono::milliseconds DropWaitLimit{100};

// The helper's own directories held open, beside the worker's: few, as it
// only ever goes forward.
constexpr std::size_t ChainOpenLimit = 8;

bool IsBelow(const std::string& path, const std::string& directory) {
  return path.starts_with(directory);
}

}  // namespace

TReadAhead::TReadAhead(TReadAheadPlan plan, const TVerifyStatus& status, std::stop_token stop)
    : Plan(std::move(plan)), Status(status) {
  Thread.Start([this](std::stop_token own) { Run(own); });
  ForwardStop.emplace(stop, TForwardStop{&Thread});
}

TReadAhead::~TReadAhead() {
  ForwardStop.reset();
  Thread.RequestStop();
  Thread.Join();
}

bool TReadAhead::Finish(std::chrono::milliseconds limit) {
  ForwardStop.reset();
  return Thread.EndWithin(limit);
}

// ---- the worker's side -----------------------------------------------------

void TReadAhead::BeginItem(std::size_t item) {
  std::lock_guard hold(Mutex);
  WorkerItem = item;
}

std::optional<TReadAhead::TDropped> TReadAhead::Reached(const std::string& path) {
  std::unique_lock lock(Mutex);
  const std::int64_t index = WorkerIndex++;
  const bool checkedJustBefore = path == WorkerLastPath;
  WorkerLastPath = path;
  if (Queue.size() <= RefillAt()) Changed.notify_all();
  while (!Queue.empty() && Queue.front().Index < index) PopFront();
  if (Queue.empty() || Queue.front().Index != index) return std::nullopt;
  std::optional<TDropped> dropped;
  // The path is compared too: should the helper have listed a directory
  // that changed in between, its count no longer matches the worker's,
  // and a file it did not drop must never go unread from the medium.
  if (Queue.front().Path == path) {
    // A drop of this file under way is waited for rather than repeated; it
    // is as short as the worker's own, and one that ended during the
    // worker's read would make the medium deliver the file twice. Not for
    // longer than a drop takes on a sound medium, though: one that hangs on
    // a dying disk must not hold up the run, whose worker then drops the
    // file itself.
    Changed.wait_for(lock, DropWaitLimit,
                     [&] { return Queue.front().State != TState::Dropping; });
    // A file named twice in a row (two items, one file) may have been
    // dropped for its second check while the first still read it back into
    // the cache: only the worker's own drop then makes it come from the medium.
    if (Queue.front().State == TState::Dropped && !checkedJustBefore) dropped = Queue.front().Dropped;
  }
  PopFront();
  return dropped;
}

void TReadAhead::PopFront() {
  QueuedBytes -= Queue.front().Bytes;
  Queue.pop_front();
}

void TReadAhead::SkippedDirectory(const std::string& directory) {
  std::lock_guard hold(Mutex);
  Marks.push_back({WorkerItem, directory, WorkerIndex});
  // The walk visits a directory's files and subdirectories in one stretch,
  // so what was listed there comes first in the queue. Those files leave
  // the worker's sequence; the ones after them move up.
  std::int64_t removed = 0;
  while (!Queue.empty() && Queue.front().Item == WorkerItem &&
         IsBelow(Queue.front().Path, directory)) {
    PopFront();
    ++removed;
  }
  for (TPlanned& planned : Queue) planned.Index -= removed;
  PlanIndex -= removed;
  Changed.notify_all();
}

// ---- the helper's side -----------------------------------------------------

void TReadAhead::Run(std::stop_token stop) {
  for (std::size_t item = 0; item < Plan.Items.size() && !stop.stop_requested(); ++item) {
    PlanItem(item, Plan.Items[item], stop);
    std::lock_guard hold(Mutex);
    std::erase_if(Marks, [item](const TSkipMark& mark) { return mark.Item <= item; });
  }
}

// The walk's order: a directory's matching files, then each subdirectory in
// turn, depth first.
void TReadAhead::PlanItem(std::size_t item, const std::string& path, std::stop_token stop) {
  const std::string start = DirectoryPart(path);
  if (!ItemChain || !ItemChain->StandsAt(start))
    ItemChain = std::make_unique<TDirectoryChain>(start, TDirectoryChain::OpenLimitWithin(ChainOpenLimit));
  TDirectoryChain& chain = *ItemChain;
  WalkDepthFirst(
      path, chain, [&](const std::string& level) { return PlanLevel(item, level, chain, stop); },
      [&](const std::string& level) { return !Leaving(item, CurrentDirectoryOf(level), stop); },
      [&](const std::string& level) { ForgetMarks(item, CurrentDirectoryOf(level)); },
      [](const std::string&) {});
}

// Puts the directory's files into the sequence; returns its subdirectories,
// none when the helper is to leave it.
std::vector<std::string> TReadAhead::PlanLevel(std::size_t item, const std::string& path,
                                               TDirectoryChain& chain, std::stop_token stop) {
  const std::string directory = CurrentDirectoryOf(path);
  const bool literal = Plan.LiteralItems.contains(Plan.Items[item]);
  TDirSearch files(chain, NamePart(path), Plan.FileAttributeSet,
                   literal ? TDirSearch::ExactName : TDirSearch::Everything);
  // Files in memory are only given their places: reading them ahead, or
  // dropping their pages, would do nothing but cost the worker the time.
  const bool inMemory = chain.InMemory();
  for (TSearchEntry entry; files.Next(entry);) {
    if (!Offer(item, directory, entry, !inMemory, chain, stop)) return {};
  }
  if (literal || !Plan.AllSubdirectories || Leaving(item, directory, stop)) return {};
  return Subdirectories.List(chain, Plan.FileAttributeSet).Names;
}

// Adds one listed file to the sequence and asks for it when the worker has
// not passed it yet. False when the helper is to leave the directory.
bool TReadAhead::Offer(std::size_t item, const std::string& directory, const TSearchEntry& entry,
                       bool fetch, TDirectoryChain& chain, std::stop_token stop) {
  // Devices and pipes have nothing to read ahead, nor files an earlier run
  // checked or began to read (its start is read already); they still hold
  // a place in the sequence. An earlier run's record is looked up only for
  // a file that would be fetched: it is read again from the state file.
  // First: a helper let go, held in the kernel until just now, must touch
  // nothing outside itself.
  if (stop.stop_requested()) return false;
  const std::string path = directory + entry.Name;
  const bool wanted = fetch && (entry.Attributes & faSysFile) == 0 &&
                      (Plan.Finished == nullptr ||
                       (!Plan.Finished->Find(path, entry.Identity) &&
                        !Plan.Finished->PartRead(path, entry.Identity)));
  const std::int64_t bytes = wanted ? std::min(entry.Size, Plan.Window.BytesPerFile) : 0;
  std::unique_lock lock(Mutex);
  if (!WaitForTurn(lock, bytes, stop) || Leaving(item, directory)) return false;
  const std::int64_t index = PlanIndex++;
  if (index < WorkerIndex) return true;
  const TPlanned planned{directory + entry.Name, item, index, NextSerial++, bytes};
  Queue.push_back(planned);
  QueuedBytes += bytes;
  lock.unlock();
  if (bytes > 0) Fetch(planned, chain, entry.Name);
  return true;
}

// Waits while the window is full or the run is paused; false on stop.
bool TReadAhead::WaitForTurn(std::unique_lock<std::mutex>& lock, std::int64_t bytes,
                             std::stop_token stop) {
  // A full window is filled again once the worker has taken half of it:
  // waking the helper for every file the worker takes would cost both
  // threads a switch per file, as much as a small file's read.
  const bool full = !HasRoom(bytes);
  const auto ready = [&] {
    return !Status.Paused && (PlanIndex < WorkerIndex ||
                              (HasRoom(bytes) && (!full || Queue.size() <= RefillAt())));
  };
  while (!Changed.wait_for(lock, stop, PausePoll, ready)) {
    if (stop.stop_requested()) return false;
  }
  return !stop.stop_requested();
}

std::size_t TReadAhead::RefillAt() const { return Plan.Window.Files / 2; }

bool TReadAhead::HasRoom(std::int64_t bytes) const {
  return Queue.size() < Plan.Window.Files &&
         (Queue.empty() || QueuedBytes + bytes <= Plan.Window.Bytes);
}

void TReadAhead::Fetch(const TPlanned& planned, TDirectoryChain& chain, const std::string& name) {
  TReadFile file;
  if (file.Open(chain, name) != 0) return;
  // Each step only while the worker has not reached the file: once it
  // has, it reads the file itself, or never.
  if (Plan.DropCache) {
    if (!SetState(planned.Serial, TState::Dropping)) return;
    // The same drop as before the worker's own reads, so that what is
    // read ahead comes from the medium too. The worker drops again unless
    // it opens this very file, unchanged since the helper opened it.
    file.DropCachedPages();
    const TDropped dropped{file.Identity(), file.PagesStillCached()};
    if (!SetState(planned.Serial, TState::Dropped, &dropped)) return;
  } else if (!SetState(planned.Serial, TState::Listed)) {
    return;
  }
  if (!file.ReadsPassCacheBy()) file.ReadAhead(planned.Bytes);
}

// False when the file is no longer waiting for the worker.
bool TReadAhead::SetState(std::uint64_t serial, TState state, const TDropped* dropped) {
  std::lock_guard hold(Mutex);
  const auto found = std::find_if(Queue.begin(), Queue.end(),
                                  [serial](const TPlanned& p) { return p.Serial == serial; });
  if (found == Queue.end()) return false;
  found->State = state;
  if (dropped != nullptr) found->Dropped = *dropped;
  Changed.notify_all();
  return true;
}

bool TReadAhead::Leaving(std::size_t item, const std::string& directory) const {
  return std::any_of(Marks.begin(), Marks.end(), [&](const TSkipMark& mark) {
    return mark.Item == item && IsBelow(directory, mark.Directory) && PlanIndex >= mark.From;
  });
}

bool TReadAhead::Leaving(std::size_t item, const std::string& directory, std::stop_token stop) {
  std::lock_guard hold(Mutex);
  return stop.stop_requested() || Leaving(item, directory);
}

void TReadAhead::ForgetMarks(std::size_t item, const std::string& directory) {
  std::lock_guard hold(Mutex);
  std::erase_if(Marks, [&](const TSkipMark& mark) {
    return mark.Item == item && mark.Directory == directory && PlanIndex >= mark.From;
  });
}
