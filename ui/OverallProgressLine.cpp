#include "OverallProgressLine.h"

void TRecentRate::Add(std::int64_t ms, std::int64_t bytes) {
  // A sample a tenth of a second is plenty for a rate over seconds.
  if (!Samples.empty() && ms - Samples.back().Ms < 100) return;
  Samples.push_back({ms, bytes});
  // One sample older than the window stays as the base of the rate.
  while (Samples.size() > 2 && ms - Samples[1].Ms >= WindowMs) Samples.pop_front();
}

std::optional<double> TRecentRate::PerSecond() const {
  if (Samples.size() < 2) return std::nullopt;
  const TSample& base = Samples.front();
  const TSample& now = Samples.back();
  if (now.Ms - base.Ms < 1000) return std::nullopt;
  const double bytes = static_cast<double>(std::max<std::int64_t>(now.Bytes - base.Bytes, 0));
  return bytes * 1000 / static_cast<double>(now.Ms - base.Ms);
}

namespace {

const char* StateWord(TLineState state) {
  switch (state) {
    case TLineState::Idle: return "";
    case TLineState::Running: return "正在校验";
    case TLineState::Paused: return "已暂停";
    case TLineState::Stopping: return "正在停止";
    case TLineState::Done: return "校验完成";
    case TLineState::Stopped: return "已中止";
  }
  return "";
}

}  // namespace

TOverallProgressLine::TOverallProgressLine(QWidget* parent, QDBusConnection bus)
    : QLabel(parent), TaskBar(std::move(bus)) {
  // The window's own font and colour, as its other labels; a long line is
  // cut rather than widening the window.
  setMinimumWidth(0);
  setMinimumHeight(fontMetrics().height());
  setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
  Clock.start();
}

void TOverallProgressLine::RunStarted() {
  Clock.restart();
  Rate.Clear();
  Last.reset();
  State = TLineState::Running;
  clear();
}

void TOverallProgressLine::Show(const TStatusSnapshot& shot) {
  const std::int64_t ms = Clock.elapsed();
  TOverallProgress progress = OverallProgress(shot, static_cast<double>(ms) / 1000);
  Rate.Add(ms, progress.BytesDone);
  if (const std::optional<double> recent = Rate.PerSecond()) progress.BytesPerSecond = *recent;
  Last = progress;
  if (progress.Fraction) TaskBar.ShowProgress(*progress.Fraction);
  if (State != TLineState::Running && State != TLineState::Stopping) return ShowStill();
  // A stalled read may end in a second or in an hour.
  if (shot.ReadStalledSeconds > 0) {
    progress.SecondsLeft.reset();
    ShowText(OverallText(progress) + " 剩余时间未知");
  } else {
    ShowText(OverallText(progress));
  }
}

void TOverallProgressLine::SetState(TLineState state) {
  State = state;
  if (state == TLineState::Paused) ShowStill();
}

void TOverallProgressLine::RunEnded(const TStatusSnapshot& shot, bool stopped) {
  TOverallProgress progress = OverallProgress(shot, static_cast<double>(Clock.elapsed()) / 1000);
  if (!stopped) {
    // Everything there was has been read: the totals are what was done.
    progress.TotalsFinal = true;
    progress.FilesTotal = progress.FilesDone;
    progress.BytesTotal = progress.BytesDone;
    progress.Fraction = 1.0;
  }
  Last = progress;
  State = stopped ? TLineState::Stopped : TLineState::Done;
  ShowStill();
  TaskBar.HideProgress();
}

// Paused or ended: the counts and the state, without a rate or a time left.
void TOverallProgressLine::ShowStill() {
  if (!Last) return ShowText(StateWord(State));
  ShowText(OverallCountsText(*Last) + " " + StateWord(State));
}

QString TOverallProgressLine::StateText() const {
  if (State == TLineState::Idle) return {};
  return QString::fromStdString((Last ? PercentText(*Last) : std::string()) + StateWord(State));
}

void TOverallProgressLine::ShowText(const std::string& text) {
  const QString line = QString::fromStdString(text);
  setText(fontMetrics().elidedText(line, Qt::ElideRight, width()));
  setToolTip(line);
}
