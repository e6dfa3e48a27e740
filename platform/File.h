#pragma once
// Read-only file access. Every failure is returned as the errno value taken
// at the failing call itself.
#include <cstdint>
#include <limits>
#include <string>

#include "DirectoryChain.h"

namespace Platform {

class TReadFile {
 public:
  TReadFile() = default;
  ~TReadFile();
  TReadFile(const TReadFile&) = delete;
  TReadFile& operator=(const TReadFile&) = delete;

  // 0 on success, otherwise the error code of the failing open. Only a
  // regular file is opened: a name that has become anything else since it
  // was listed fails with ENXIO (a directory with EISDIR), without the
  // open a device or a FIFO would feel.
  int Open(const std::string& path);
  // The same for a name in the chain's innermost directory, so that the
  // length of the file's full path does not matter. Out of descriptors,
  // the chain gives back the ones it can spare and the open is tried again.
  int Open(TDirectoryChain& directory, const std::string& name);
  // The same relative to a directory descriptor of the caller's own (one
  // from DuplicateDescriptor), for an open made on another thread that the
  // chain may not wait for.
  int OpenIn(int directory, const std::string& name);
  // Takes over what other has open; other is left closed.
  void Take(TReadFile& other);

  // Reads count bytes into buffer, repeating the system call until the
  // count is met, the file ends, or an error occurs. done receives the
  // number of bytes read. Returns 0 unless a call failed (a short read at
  // end of file returns 0 with done < count).
  int Read(void* buffer, std::int64_t count, std::int64_t& done);

  // The next stretch at or after offset that may hold data: a hole lies
  // before Start, the next one begins at End. Where no data follows, Start
  // is the current end of the file (whether the rest is a hole or the file
  // is shorter than expected is for the reads to tell); where the file
  // system cannot tell, everything is data. The read position is set to
  // offset.
  struct TDataStretch {
    std::int64_t Start = 0;
    std::int64_t End = std::numeric_limits<std::int64_t>::max();
  };
  TDataStretch DataStretchFrom(std::int64_t offset);
  // True when the file has fewer blocks on the medium than its size needs,
  // so that holes are worth looking for.
  bool MayHaveHoles() const;
  // Moves the read position count bytes on without reading.
  int SkipForward(std::int64_t count);
  int SeekTo(std::int64_t offset);
  // Opens the very same file afresh and sets the new descriptor's read
  // position to offset: after a failed read some drivers recover only on a
  // new open. Where that cannot be had (the file is gone or replaced), the
  // old descriptor stays, at offset.
  void ReopenAt(std::int64_t offset);

  // The file as it was when opened.
  const TFileIdentity& Identity() const { return Opened; }

  // Writes back the file's pending writes and drops its pages from the
  // system's cache, so that the reads that follow come from the medium and
  // not from memory that still holds what was copied there. A file system
  // that refuses either call is read as it is: nothing here is a failure.
  void DropCachedPages();
  // After DropCachedPages: true when pages of the file are still in memory
  // (another process has it mapped), so that reads may not reach the medium.
  // Never on a file system that lives in memory: there the pages are the
  // file. Length 0: to the end of the file.
  bool PagesStillCached(std::int64_t offset = 0, std::int64_t length = 0) const;
  // Reads from now on go past the system's cache to the medium (O_DIRECT),
  // for a file whose cached pages cannot be dropped. False where the file
  // system does not allow it.
  bool ReadPastCache();
  // Before a stretch that failed is read again in small pieces: the file's
  // pages leave the cache and the reads that follow ask only for what they
  // read.
  // A failed read can leave a large cached block not up to date, and a read
  // ahead can span a bad block; either fails good pieces beside a bad one.
  // Where the pages cannot be dropped, the reads go past the cache. Until
  // ReadAsUsual.
  void ReadAgainFromMedium(std::int64_t offset, std::int64_t length);
  void ReadAsUsual();
  // Asks the medium for the file's first bytes without waiting for them; a
  // read of them later is then served from the system's cache.
  void ReadAhead(std::int64_t bytes);
  // True when the file's reads pass the system's cache by (a FUSE file
  // opened for direct I/O): what ReadAhead asks for would be read twice.
  bool ReadsPassCacheBy() const;

  void Close();
  bool IsOpen() const { return Fd >= 0; }
  // The descriptor, for a read made on another thread while this object
  // waits (ReadDescriptor).
  int Descriptor() const { return Fd; }
  // Gives the descriptor up: the caller closes it (CloseDescriptor). For a
  // read still blocked in the kernel when the check moves on.
  int Release();

  // What a read that must not wait (ReadIfReady) can make of this file.
  enum class TReadyReads {
    Asked,      // the system serves what it holds in memory and says when it does not
    InMemory,   // the file lives in memory (tmpfs, ramfs): every read is ready
    Unknown,    // the file system cannot tell: only a read that may wait will do
  };
  TReadyReads ReadyReads() const;
  // Reads from the current position what the system can give at once, from
  // memory, without waiting for the medium, a lock or a server. done
  // receives what was read; true when count was met. A false return with
  // done < count leaves the rest to Read, from the position after it; a
  // failing call, end of file included, tells nothing here and is left to
  // Read as well, so that every error is met the way the check expects.
  // kind becomes Unknown when the file system turns out not to answer such
  // reads.
  bool ReadIfReady(TReadyReads& kind, void* buffer, std::int64_t count, std::int64_t& done);

  // Read's loop on a bare descriptor.
  static int ReadDescriptor(int fd, void* buffer, std::int64_t count, std::int64_t& done);
  static void CloseDescriptor(int fd);
  // A descriptor of the same open directory or file; -1 on failure.
  static int DuplicateDescriptor(int fd);

 private:
  int OpenAt(int dirFd, const char* name);
  void ApplyReadMode() const;

  int Fd = -1;
  bool PastCache = false;      // for the whole file (ReadPastCache)
  bool ReadingAgain = false;   // between ReadAgainFromMedium and ReadAsUsual
  bool PastCacheNow = false;   // O_DIRECT set on the descriptor
  TFileIdentity Opened;
  std::int64_t BlockBytes = 0;  // on the medium, when opened
};

}  // namespace Platform
