#include "LogOutput.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "LogFile.h"
#include "SafeFile.h"
#include "SystemError.h"
#include "TextEncoding.h"

namespace {

// Large enough that writing costs the run nothing, small enough to stay
// out of the memory budget.
constexpr std::size_t BlockSize = 64 * 1024;

class TStandardOutputLog : public TLogOutput {
 public:
  TStandardOutputLog() : TLogOutput("\n", isatty(STDOUT_FILENO) == 1) {}

 protected:
  bool Put(const std::string& text) override {
    Error = Platform::WriteAll(STDOUT_FILENO, text);
    return Error == 0;
  }
  std::optional<std::string> Finish() override {
    if (Error == 0) return std::nullopt;
    return "不能写标准输出: " + Platform::SystemErrorText(Error);
  }

 private:
  int Error = 0;
};

class TFileLog : public TLogOutput {
 public:
  explicit TFileLog(std::string fileName) : TLogOutput("\r\n", false), FileName(std::move(fileName)) {}
  bool Create() { return static_cast<bool>(File.Create(FileName)); }
  void Abandon() override { File.Abandon(); }

 protected:
  bool Put(const std::string& text) override {
    Result = File.Write(Platform::Utf8ToGb18030(text));
    return static_cast<bool>(Result);
  }
  std::optional<std::string> Finish() override {
    if (Result) Result = File.Commit();
    if (Result) return std::nullopt;
    if (Result.Failed == Platform::TWriteStage::Create)
      return ELogFileError(FileName).what() + std::string(".");
    return EStreamWriteError().what() + std::string(".");
  }

 private:
  std::string FileName;
  Platform::TReplacingFile File;
  Platform::TWriteResult Result;
};

}  // namespace

void TLogOutput::Append(std::string_view line) {
  std::lock_guard hold(Lock);
  Pending.append(line).append(LineEnd);
  if (LineByLine || Pending.size() >= BlockSize || TClock::now() - LastWrite >= FlushInterval)
    WritePending();
}

void TLogOutput::FlushIfDue() {
  std::unique_lock hold(Lock, std::try_to_lock);
  if (hold.owns_lock() && !Pending.empty() && TClock::now() - LastWrite >= FlushInterval)
    WritePending();
}

int TLogOutput::MillisecondsUntilDue() const {
  // A write in progress may hang on a stalled pipe: the main thread must
  // not wait for it, or a signal would go unanswered.
  std::unique_lock hold(Lock, std::try_to_lock);
  if (!hold.owns_lock() || Pending.empty())
    return static_cast<int>(std::chrono::milliseconds(FlushInterval).count());
  const auto due = LastWrite + FlushInterval - TClock::now();
  return static_cast<int>(
      std::max<std::int64_t>(0, std::chrono::ceil<std::chrono::milliseconds>(due).count()));
}

void TLogOutput::WritePending() {
  // After a failure the rest is dropped: the run goes on, and the failure
  // is reported at its end.
  if (!Failed) Failed = !Put(Pending);
  Pending.clear();
  LastWrite = TClock::now();
}

std::optional<std::string> TLogOutput::Commit() {
  std::lock_guard hold(Lock);
  if (!Pending.empty()) WritePending();
  return Finish();
}

std::unique_ptr<TLogOutput> StandardOutputLog() { return std::make_unique<TStandardOutputLog>(); }

std::unique_ptr<TLogOutput> LogFileOutput(const std::string& fileName, std::string& failure) {
  auto log = std::make_unique<TFileLog>(fileName);
  if (log->Create()) return log;
  failure = ELogFileError(fileName).what() + std::string(".");
  return nullptr;
}
