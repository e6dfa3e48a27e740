#include "LogOutput.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "LogFile.h"
#include "OutputFile.h"
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
    NoteWriteError(Error);
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
  Platform::TWriteResult Open() { return Result = File.Open(FileName); }
  void Abandon() override { File.RemoveTemporary(); }

 protected:
  bool Put(const std::string& text) override {
    Result = File.Append(Platform::Utf8ToGb18030(text));
    NoteWriteError(Result.Error);
    return static_cast<bool>(Result);
  }
  std::optional<std::string> Finish() override {
    if (Result) Result = File.Commit();
    if (Result) return std::nullopt;
    return LogFileFailure(FileName, Result);
  }

 private:
  std::string FileName;
  Platform::TOutputFile File;
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

void TLogOutput::Flush() {
  std::lock_guard hold(Lock);
  if (!Pending.empty()) WritePending();
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
  Flush();
  std::lock_guard hold(Lock);
  return Finish();
}

std::unique_ptr<TLogOutput> StandardOutputLog() { return std::make_unique<TStandardOutputLog>(); }

std::unique_ptr<TLogOutput> LogFileOutput(const std::string& fileName, std::string& failure) {
  auto log = std::make_unique<TFileLog>(fileName);
  const Platform::TWriteResult opened = log->Open();
  if (opened) return log;
  failure = LogFileFailure(fileName, opened);
  return nullptr;
}

std::string LogFileFailure(const std::string& fileName, const Platform::TWriteResult& result) {
  // In the program's language, with the window program's own words after
  // it, for whoever knows them from there or searches for them.
  const bool created = result.Failed != Platform::TWriteStage::Create;
  const ELogFileError designed =
      created ? EStreamWriteError(result.Error) : ELogFileError(fileName, result.Error);
  std::string text = (created ? "写文件'" + fileName + "'时出错" : "不能创建文件'" + fileName + "'") +
                     " (" + designed.what() + ".)";
  if (!designed.Reason().empty()) text += ": " + designed.Reason();
  return text;
}
