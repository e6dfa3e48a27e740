#pragma once
// The line under the progress window's buttons: how much of the whole run
// is done and how long is left, as the terminal's progress line says it.
// It also puts the fraction on the task bar's button.
#include <cstdint>
#include <deque>
#include <optional>

#include <QElapsedTimer>
#include <QLabel>

#include "LauncherEntry.h"
#include "OverallProgress.h"
#include "VerifyStatus.h"

// The rate of the last few seconds: a read that stalls brings it down to 0
// within the window, where the run's average would hardly move.
class TRecentRate {
 public:
  static constexpr std::int64_t WindowMs = 5000;
  void Clear() { Samples.clear(); }
  // Bytes done by now (milliseconds since the run's start).
  void Add(std::int64_t ms, std::int64_t bytes);
  // Bytes a second over the window; none before a second has been seen.
  std::optional<double> PerSecond() const;

 private:
  struct TSample {
    std::int64_t Ms, Bytes;
  };
  std::deque<TSample> Samples;
};

enum class TLineState { Idle, Running, Paused, Stopping, Done, Stopped };

class TOverallProgressLine : public QLabel {
  Q_OBJECT

 public:
  explicit TOverallProgressLine(QWidget* parent = nullptr,
                                QDBusConnection bus = QDBusConnection::sessionBus());

  void RunStarted();
  // While the run goes on, on every tick.
  void Show(const TStatusSnapshot& shot);
  void SetState(TLineState state);
  // The final state: where the run ended, no time left.
  void RunEnded(const TStatusSnapshot& shot, bool stopped);
  // The percent, when known, and the state: "37% 正在校验"; empty before
  // the first run.
  QString StateText() const;

 private:
  void ShowText(const std::string& text);
  void ShowStill();

  QElapsedTimer Clock;
  TRecentRate Rate;
  TLauncherEntry TaskBar;
  TLineState State = TLineState::Idle;
  std::optional<TOverallProgress> Last;
};
