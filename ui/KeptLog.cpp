#include "KeptLog.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>

#include <QDir>
#include <QRegularExpression>

#include "SystemError.h"


namespace {

// Lines are converted and written in pieces at most this large, or
// whatever has gathered once a second has passed.
constexpr std::size_t PieceSize = 64u << 10;

const QString NameFormat = QStringLiteral("yyyy-MM-dd_HH-mm-ss");

// A name this program gave, and the only kind of file the pruning removes.
bool IsKeptLogName(const QString& name) {
  static const QRegularExpression pattern(
      QStringLiteral(R"(^\d{4}-\d\d-\d\d_\d\d-\d\d-\d\d(_\d+)?\.txt$)"));
  return pattern.match(name).hasMatch();
}

// Oldest first: by start time, then by the number added for a second run
// started in the same second.
bool StartedBefore(const QString& a, const QString& b) {
  const QString timeA = a.left(19), timeB = b.left(19);
  if (timeA != timeB) return timeA < timeB;
  auto number = [](const QString& name) {
    return name.size() > 23 ? name.mid(20, name.size() - 24).toInt() : 1;
  };
  return number(a) < number(b);
}

}  // namespace

QString KeptLogFolder() {
  QString state = qEnvironmentVariable("XDG_STATE_HOME");
  if (state.isEmpty() || QDir::isRelativePath(state))
    state = QDir::homePath() + QStringLiteral("/.local/state");
  return state + QStringLiteral("/korvane/logs");
}

void PruneKeptLogs(const QString& folder, int keep) {
  QDir dir(folder);
  QStringList logs = dir.entryList(QDir::Files);
  logs.removeIf([](const QString& name) { return !IsKeptLogName(name); });
  std::sort(logs.begin(), logs.end(), StartedBefore);
  for (qsizetype i = 0; i < logs.size() - keep; ++i) dir.remove(logs[i]);
}

TKeptLog::TKeptLog(TVerifyStatus& status, const QString& folder, const QDateTime& started)
    : FStatusLines(status), FFolder(folder), FEncoder(PieceSize), FWritten(TClock::now()) {
  TMutexLock hold(FMutex);
  if (!QDir().mkpath(folder)) {
    Fail(QString::fromStdString(Platform::SystemErrorText(errno)));
    return;
  }
  const QString base = folder + QLatin1Char('/') + started.toString(NameFormat);
  // NewOnly: a name another run has just taken is never written over.
  for (int number = 1; number < 1000; ++number) {
    FFile.setFileName(number == 1 ? base + QStringLiteral(".txt")
                                  : base + QStringLiteral("_%1.txt").arg(number));
    if (FFile.open(QIODevice::WriteOnly | QIODevice::NewOnly)) return;
    if (!FFile.exists()) break;
  }
  Fail(FFile.errorString());
}

TKeptLog::~TKeptLog() = default;

QString TKeptLog::FileName() const {
  TMutexLock hold(FMutex);
  return FFile.isOpen() ? FFile.fileName() : QString();
}

QString TKeptLog::Failure() const {
  TMutexLock hold(FMutex);
  return FFailure;
}

void TKeptLog::Append(std::string_view line) {
  FStatusLines.Append(line);
  TMutexLock hold(FMutex);
  if (!FFile.isOpen()) return;
  if (FEncoder.Add(line) || TClock::now() - FWritten >= FlushEvery) Write();
}

void TKeptLog::FileStarted(std::string_view, std::int64_t, Platform::TAttributes) {
  FFileStarted = TClock::now();
}

// A file that took a second or more may have been the one a medium fails
// on: its outcome goes to the disk at once.
void TKeptLog::FileFinished(const TFileRecord&) {
  if (TClock::now() - FFileStarted < FlushEvery) return;
  TMutexLock hold(FMutex);
  if (FFile.isOpen()) Write();
}

void TKeptLog::FlushIfDue() {
  TMutexLock hold(FMutex);
  if (FFile.isOpen() && !FEncoder.Empty() && TClock::now() - FWritten >= FlushEvery) Write();
}

void TKeptLog::Write() {
  FWritten = TClock::now();
  if (FEncoder.Empty()) return;
  const std::string piece = FEncoder.TakePiece();
  if (FFile.write(piece.data(), static_cast<qint64>(piece.size())) !=
          static_cast<qint64>(piece.size()) ||
      !FFile.flush())
    Fail(FFile.errorString());
}

void TKeptLog::Finish() {
  TMutexLock hold(FMutex);
  if (!FFile.isOpen()) return;
  Write();
  FFile.close();
  PruneKeptLogs(FFolder);
}

void TKeptLog::Discard() {
  TMutexLock hold(FMutex);
  if (FFile.isOpen()) FFile.remove();
}

void TKeptLog::Fail(const QString& why) {
  const QString where = FFile.fileName().isEmpty() ? FFolder : FFile.fileName();
  std::fprintf(stderr, "korvane: the run's log is not kept in %s: %s\n", qUtf8Printable(where),
               qUtf8Printable(why));
  FFailure = where + QStringLiteral(": ") + why;
  FFile.close();
  FEncoder.Clear();
}
