#include "InputFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "SystemError.h"

namespace Platform {

namespace {

constexpr std::size_t Piece = std::size_t{1} << 16;

}  // namespace

TInputFile::~TInputFile() {
  if (Fd >= 0) close(Fd);
}

// A device is not even opened: opening one can have effects of its own (a
// watchdog starts, a tape rewinds). Nor does the open block: a FIFO put in
// the file's place meanwhile would wait for a writer, and the signals that
// should end the program would wait with it.
int TInputFile::Open(const std::string& path) {
  struct stat named {};
  if (stat(path.c_str(), &named) != 0) return errno;
  if (!S_ISREG(named.st_mode)) return NotRegular;
  int fd = -1;
  do {
    fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return errno;
  struct stat info {};
  const int code = fstat(fd, &info) != 0 ? errno : (S_ISREG(info.st_mode) ? 0 : NotRegular);
  if (code != 0) {
    close(fd);
    return code;
  }
  fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  Fd = fd;
  return 0;
}

// Appends one piece to the buffer; false at the end or on an error.
bool TInputFile::Fill() {
  if (AtEnd || ReadError != 0) return false;
  if (Start > 0) {
    Buffer.erase(0, Start);
    BufferAt += static_cast<std::int64_t>(Start);
    Start = 0;
  }
  const std::size_t had = Buffer.size();
  Buffer.resize(had + Piece);
  ssize_t got = -1;
  do {
    got = read(Fd, Buffer.data() + had, Piece);
  } while (got < 0 && errno == EINTR);
  Buffer.resize(had + static_cast<std::size_t>(got > 0 ? got : 0));
  if (got < 0) ReadError = errno;
  if (got == 0) AtEnd = true;
  return got > 0;
}

bool TInputFile::Next(TInputLine& line) {
  if (Fd < 0) return false;
  for (;;) {
    const std::size_t end = Buffer.find('\n', Start);
    const bool ended = end != std::string::npos;
    const std::size_t length = (ended ? end : Buffer.size()) - Start;
    if (length > LongestLine) return PassOverLongLine(line);
    if (!ended && Fill()) continue;
    // A last line without its line feed is handed on as such.
    if (!ended && (ReadError != 0 || length == 0)) return false;
    line = {std::string_view(Buffer).substr(Start, length), ++LineNumber,
            BufferAt + static_cast<std::int64_t>(Start), ended, false};
    Start += length + (ended ? 1 : 0);
    return true;
  }
}

// Drops the line's bytes as they come, up to its line feed or the end.
bool TInputFile::PassOverLongLine(TInputLine& line) {
  line = {{}, ++LineNumber, BufferAt + static_cast<std::int64_t>(Start), false, true};
  for (;;) {
    const std::size_t end = Buffer.find('\n', Start);
    if (end != std::string::npos) {
      Start = end + 1;
      line.Ended = true;
      return true;
    }
    Start = Buffer.size();
    if (!Fill()) return ReadError == 0;
  }
}

int TInputFile::ReadAt(std::int64_t offset, std::size_t length, std::string& text) const {
  text.resize(length);
  std::size_t done = 0;
  while (done < length) {
    const ssize_t got = pread(Fd, text.data() + done, length - done, offset + static_cast<off_t>(done));
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return errno;
    if (got == 0) return EIO;  // cut short since it was read
    done += static_cast<std::size_t>(got);
  }
  return 0;
}

std::string InputFileErrorText(int code) {
  return code == TInputFile::NotRegular ? "不是普通文件" : SystemErrorText(code);
}

}  // namespace Platform
