#pragma once
// The verification log as a text file, the way the log viewer saves it:
// GB18030 without a byte-order mark, each line followed by CR LF. GB18030
// is byte for byte GBK wherever GBK has the character, and holds every
// other one too, so no file name is lost. Bytes of a name that are not
// valid UTF-8 are written as U+FFFD (see TextEncoding.h for why).
#include <stdexcept>
#include <string>
#include <string_view>

#include "OutputFile.h"
#include "VerifyStatus.h"

// A log that could not be saved; the windows show the text with a full stop
// added. This one is "Cannot create file " + the file's name.
class ELogFileError : public std::runtime_error {
 public:
  // code: the errno of the failing call, 0 when none is known.
  explicit ELogFileError(const std::string& fileName, int code = 0);

  // The system's text for why it failed (权限不够, 设备上没有空间); empty
  // when no call gave a reason.
  const std::string& Reason() const { return FReason; }

 protected:
  struct TText {
    const char* Message;
  };
  ELogFileError(TText text, int code);

 private:
  std::string FReason;
};

// The file was made, but not every byte of the log reached it (a full disk).
class EStreamWriteError : public ELogFileError {
 public:
  explicit EStreamWriteError(int code = 0) : ELogFileError(TText{"Stream write error"}, code) {}
};

// The bytes of the saved log.
std::string LogFileText(const TStringList& log);

// Writes the log to fileName, replacing what was there only once the whole
// log is on the disk: a failed save leaves an existing file as it was. A
// device or FIFO is written directly.
// Throws ELogFileError when the file cannot be created, EStreamWriteError
// when it cannot be written in full.
void SaveLogFile(const TStringList& log, const std::string& fileName);
void SaveLogFile(const TLogStore& log, const std::string& fileName);

// Log lines as the saved log holds them: each followed by CR LF, converted
// to GB18030 a piece at a time, so that neither the whole text nor a
// converter call per line is needed.
class TLogEncoder {
 public:
  explicit TLogEncoder(std::size_t pieceSize) : PieceSize(pieceSize) {}
  // True when a piece is due.
  bool Add(std::string_view line) {
    Gathered.append(line).append("\r\n");
    return Gathered.size() >= PieceSize;
  }
  bool Empty() const { return Gathered.empty(); }
  // What is gathered, converted; nothing is gathered after.
  std::string TakePiece();
  void Clear() { Gathered.clear(); }

 private:
  std::size_t PieceSize;
  std::string Gathered;  // UTF-8, not yet converted
};

// The log written to its file as its lines come (rules in OutputFile.h:
// /dev/stdout, FIFOs and devices as streams, regular files replaced only
// once complete, or rewritten in place after the space is reserved).
class TLogFileWriter {
 public:
  // Throws ELogFileError when fileName cannot be opened for the log.
  explicit TLogFileWriter(const std::string& fileName);
  // Each line is followed by CR LF. Lines are gathered and converted in
  // pieces; Flush passes on what is gathered. Throw EStreamWriteError.
  void AppendLine(std::string_view line);
  void Flush();
  // Puts the log in place. Throws as the constructor and AppendLine do.
  void Commit();

 private:
  void Check(const Platform::TWriteResult& result);

  std::string FileName;
  Platform::TOutputFile Output;
  TLogEncoder Encoder;
};

// Creates fileName if it is missing, without changing an existing file, so
// that a front can refuse a log it could not save before a long run starts.
// Throws ELogFileError.
void CheckLogFileCreatable(const std::string& fileName);
