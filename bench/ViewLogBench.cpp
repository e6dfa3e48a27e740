// A log of 1,000,000 lines in the log viewer: the time from ShowLog to the
// first painted list, the memory the viewer adds while it shows the log,
// and the time to save it against iconv converting the same text to a file.
//   korvane_bench_view_log [scratch-dir]
#include <malloc.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include <QAbstractScrollArea>
#include <QEvent>
#include <QTimer>

#include "BenchUtil.h"
#include "KorvaneApplication.h"
#include "LogFile.h"
#include "LogListBox.h"
#include "ViewLogUnit.h"

namespace {

using TClock = std::chrono::steady_clock;

// Lines as a run over a large tree writes them: a scan line per directory,
// a name, length and outcome line per file, now and then a failure.
TStringList TypicalLog(std::size_t lines) {
  TStringList log;
  log.reserve(lines);
  for (std::size_t i = 0; log.size() < lines; ++i) {
    const std::string n = std::to_string(i);
    if (i % 50 == 0) log.push_back("* 扫描'/srv/archive/2024/项目" + n + "/*.*',属性:'ARHS':");
    log.push_back("   文件'/srv/archive/2024/项目" + n + "/报告-" + n + ".pdf':");
    log.push_back("     长度: " + std::to_string(i * 7919 % 9000000) + " 字节");
    log.push_back(i % 997 == 0 ? "     不能读文件,错误位置在4,096字节处." : "     文件正确.");
  }
  log.resize(lines);
  return log;
}

std::size_t HeapInUse() { return mallinfo2().uordblks; }

struct TShown {
  double Seconds = 0;
  double BytesAdded = 0;
};

// Opens the viewer modally over log; once its list has painted, measures
// and closes it.
TShown ShowAndMeasure(const TStringList& log) {
  TVerifyStatus status;
  status.Log = log;
  TViewLogForm viewer(status);
  TShown shown;
  QWidget* list = viewer.ListBox->viewport();
  bool painted = false;
  TClock::time_point start;
  std::size_t heapBefore = 0;
  struct TPaintWatch : QObject {
    std::function<void()> OnPaint;
    bool eventFilter(QObject*, QEvent* event) override {
      if (event->type() == QEvent::Paint && OnPaint) OnPaint();
      return false;
    }
  } watch;
  watch.OnPaint = [&] {
    if (painted || viewer.ListBox->Count() == 0) return;
    painted = true;
    // A zero timer runs once the paint in progress has finished.
    QTimer::singleShot(0, [&] {
      shown.Seconds = std::chrono::duration<double>(TClock::now() - start).count();
      shown.BytesAdded = static_cast<double>(HeapInUse()) - static_cast<double>(heapBefore);
      viewer.close();
    });
  };
  list->installEventFilter(&watch);
  QTimer::singleShot(5000, &viewer, &QWidget::close);  // never hang the benchmark
  heapBefore = HeapInUse();
  start = TClock::now();
  viewer.ShowLog();
  return shown;
}

std::string WriteUtf8Text(const TStringList& log, const std::string& path) {
  std::ofstream out(path, std::ios::binary);
  for (const std::string& line : log) out << line << "\r\n";
  return path;
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  TKorvaneApplication app(argc, argv);
  const std::string dir = argc > 1 ? argv[1] : "/tmp";
  constexpr std::size_t Lines = 1000000;
  const TStringList log = TypicalLog(Lines);
  std::size_t bytes = 0;
  for (const std::string& line : log) bytes += line.size();
  std::printf("log: %zu lines, %.1f bytes per line\n", Lines, static_cast<double>(bytes) / Lines);

  ShowAndMeasure(TypicalLog(10));  // warms up fonts and styles
  const TShown small = ShowAndMeasure(TypicalLog(10));
  const TShown large = ShowAndMeasure(log);
  bool ok = large.Seconds <= 0.2;
  std::printf("ShowLog to first painted list: %.3f s (10 lines: %.3f s; target 0.200 s) %s\n",
              large.Seconds, small.Seconds, ok ? "ok" : "OVER");
  const double perLine = (large.BytesAdded - small.BytesAdded) / Lines;
  ok &= perLine <= 16;
  std::printf("heap added while shown: %.1f bytes per line (%.0f bytes in all, 10 lines: %.0f)"
              " (target 16) %s\n",
              perLine, large.BytesAdded, small.BytesAdded, perLine <= 16 ? "ok" : "OVER");

  const std::string text = WriteUtf8Text(log, dir + "/korvane-bench-log.utf8");
  const std::string saved = dir + "/korvane-bench-log.txt";
  const std::string iconv = "iconv -f UTF-8 -t GB18030 '" + text + "' > '" + dir + "/korvane-bench-iconv.txt'";
  const auto [save, baseline] = BestOf(
      3, [&] { SaveLogFile(log, saved); },
      [&] {
        if (std::system(iconv.c_str()) != 0) std::abort();
      });
  ok &= ReportRatio("save 1,000,000 lines vs iconv to a file", save, baseline, 1.2);
  // The window program saves from its line store: as fast as from strings.
  TLogStore store;
  store = log;
  const auto [fromStore, fromStrings] =
      BestOf(3, [&] { SaveLogFile(store, saved); }, [&] { SaveLogFile(log, saved); });
  ok &= ReportRatio("save from the line store vs from one string a line", fromStore, fromStrings, 1.1);
  for (const char* name : {"/korvane-bench-log.utf8", "/korvane-bench-log.txt", "/korvane-bench-iconv.txt"})
    std::remove((dir + name).c_str());
  return ok ? 0 : 1;
}
