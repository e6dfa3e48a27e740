#pragma once
// Read-only file access. Every failure is returned as the errno value taken
// at the failing call itself.
#include <cstdint>
#include <string>

#include "DirectoryChain.h"

namespace Platform {

class TReadFile {
 public:
  TReadFile() = default;
  ~TReadFile();
  TReadFile(const TReadFile&) = delete;
  TReadFile& operator=(const TReadFile&) = delete;

  // 0 on success, otherwise the error code of the failing open.
  int Open(const std::string& path);
  // The same for a name in the chain's innermost directory, so that the
  // length of the file's full path does not matter.
  int Open(const TDirectoryChain& directory, const std::string& name);

  // Reads count bytes into buffer, repeating the system call until the
  // count is met, the file ends, or an error occurs. done receives the
  // number of bytes read. Returns 0 unless a call failed (a short read at
  // end of file returns 0 with done < count).
  int Read(void* buffer, std::int64_t count, std::int64_t& done);

  // Writes back the file's pending writes and drops its pages from the
  // system's cache, so that the reads that follow come from the medium and
  // not from memory that still holds what was copied there. A file system
  // that refuses either call is read as it is: nothing here is a failure.
  void DropCachedPages();
  // Asks the medium for the file's first bytes without waiting for them; a
  // read of them later is then served from the system's cache.
  void ReadAhead(std::int64_t bytes);

  void Close();
  bool IsOpen() const { return Fd >= 0; }

 private:
  int OpenAt(int dirFd, const char* name);

  int Fd = -1;
};

}  // namespace Platform
