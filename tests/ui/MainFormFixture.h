#pragma once
// A progress window on a settings file of its own, whose message boxes and
// other windows are answered and recorded by the test, and the real run
// controller and worker behind it.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <QApplication>
#include <QTest>

#include "KeptLog.h"
#include "MainFormUnit.h"
#include "TempDir.h"

struct TSeenMessage {
  QString Caption;
  QString Text;
  TMessageKind Kind;
  bool operator==(const TSeenMessage&) const = default;
};

inline void PrintTo(const TSeenMessage& seen, std::ostream* out) {
  *out << seen.Caption.toStdString() << ": " << seen.Text.toStdString();
}

// The status fields a test waits on, copied under the lock.
struct TCounts {
  std::int32_t FilesSkipped, DirsSkipped;
  std::int64_t Position;
  std::string CurrentFile;
  std::vector<std::string> Log;
};

class MainFormTest : public testing::Test {
 protected:
  void SetUp() override { QApplication::setQuitOnLastWindowClosed(false); }

  TMainForm& Make(std::vector<std::string> parameters = {}) {
    TMainFormStart start{std::move(parameters), Dir.PathOf("KORVANE.INI"),
                         [this](const QString& caption, const QString& text, TMessageKind kind) {
                           Seen.push_back({caption, text, kind});
                           return Answer(Seen.back());
                         }};
    Program = std::make_unique<TProgramData>(start.IniFileName, KeptLogFolder());
    Form = std::make_unique<TMainForm>(*Program, std::move(start));
    Form->ShowSelection = [this] { Calls.push_back("selection"); };
    Form->ShowSubtotal = [this] { Calls.push_back("subtotal"); };
    Form->ShowCommandLineHelp = [this] { Calls.push_back("help"); };
    return *Form;
  }

  // What the selection dialog's start button does.
  void Start(std::vector<std::string> items, std::int32_t readUnit = 0) {
    TVerifySetupInfo& setup = Form->Setup();
    setup.VerifyList = std::move(items);
    setup.AllSubdirectories = true;
    setup.PositionError = readUnit > 0;
    if (readUnit > 0) setup.ReadUnit = readUnit;
    Form->Status().Reset();
    Form->StartVerify();
    // The pause button and the tray act only once the worker has begun.
    EXPECT_TRUE(WaitFor([&] { return !Form->Status().Idle || Form->Status().Finished; }));
  }

  TCounts Counts() {
    TVerifyStatus& status = Form->Status();
    TMutexLock hold(status.Mutex);
    return {status.FilesSkipped, status.DirsSkipped,
            status.CurrentFilePosition, status.CurrentFile, status.Log};
  }

  bool WaitFor(const std::function<bool()>& condition, int ms = 10000) {
    return QTest::qWaitFor(condition, ms);
  }
  bool Called(const char* what) const {
    return std::find(Calls.begin(), Calls.end(), what) != Calls.end();
  }
  // The window's message boxes whose text is this.
  int SeenCount(const char* text) const {
    return static_cast<int>(std::count_if(Seen.begin(), Seen.end(), [&](const TSeenMessage& s) {
      return s.Text == QString::fromUtf8(text);
    }));
  }

  TTempDir Dir;
  std::vector<TSeenMessage> Seen;
  std::function<bool(const TSeenMessage&)> Answer = [](const TSeenMessage&) { return true; };
  std::vector<std::string> Calls;
  // The window goes before what the program owns, as in the program.
  std::unique_ptr<TProgramData> Program;
  std::unique_ptr<TMainForm> Form;
};

inline const TSeenMessage DoneMessage{QStringLiteral("信息"), QStringLiteral("校验完成."),
                                      TMessageKind::Information};
