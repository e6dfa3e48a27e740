#pragma once
// Data put aside on the disk instead of in memory, and read back once: an
// unnamed file in the temporary directory ($TMPDIR or /tmp), which the
// system removes when it is closed, however the program ends.
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace Platform {

class TSpillFile {
 public:
  TSpillFile();
  ~TSpillFile();
  TSpillFile(const TSpillFile&) = delete;
  TSpillFile& operator=(const TSpillFile&) = delete;

  // False when no such file could be made.
  bool Usable() const { return Fd >= 0; }
  // 0 or the errno of the failing write.
  int Write(std::string_view data);
  // Gives back the first length bytes written, in pieces of any size; 0
  // or the errno of the failing read.
  int ReadBack(std::int64_t length, const std::function<void(std::string_view piece)>& take);

 private:
  int Fd = -1;
};

}  // namespace Platform
