// The application base: the general error handler and the message boxes.
#include <gtest/gtest.h>

#include <stdexcept>

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QTest>

#include "KorvaneApplication.h"
#include "MessageBoxes.h"
#include "UiTestSupport.h"

namespace {

const char* const WriteError = "Unable to write to /work/KORVANE.INI";

// A window whose mouse handler fails half way, as a settings write can.
class TFailingWidget : public QWidget {
 public:
  int Started = 0;
  int Finished = 0;
  int Keys = 0;

 protected:
  void mousePressEvent(QMouseEvent*) override {
    HandleEvent([this] {
      ++Started;
      throw std::runtime_error(WriteError);
      ++Finished;  // never reached
    });
  }
  void keyPressEvent(QKeyEvent*) override { ++Keys; }
};

// The same failure in a handler connected to a button's click.
class TFailingForm : public QWidget {
 public:
  QPushButton* Button = new QPushButton(this);
  int Started = 0;
  int Finished = 0;

  TFailingForm() { ConnectEvent(Button, &QPushButton::clicked, this, &TFailingForm::ButtonClick); }

 private:
  void ButtonClick() {
    ++Started;
    throw std::runtime_error(WriteError);
    ++Finished;  // never reached
  }
};

// Records the next message box and presses one of its buttons (or Escape).
void AnswerNextBox(TSeenBox& seen, QMessageBox::StandardButton answer) {
  OnNextModal([&seen, answer](QWidget* top) {
    auto* box = qobject_cast<QMessageBox*>(top);
    ASSERT_NE(box, nullptr);
    seen = SeeBox(*box);
    if (answer == QMessageBox::Escape)
      QTest::keyClick(box, Qt::Key_Escape);
    else
      box->button(answer)->click();
  });
}

}  // namespace

TEST(GeneralErrorHandler, EndsOnlyTheHandlerAndShowsTheTextWithAFullStop) {
  const QString shown = QStringLiteral("Unable to write to /work/KORVANE.INI.");
  {
    SCOPED_TRACE("overridden event handler");
    TFailingWidget widget;
    TSeenBox seen;
    AnswerNextBox(seen, QMessageBox::Ok);
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(1, 1), QPointF(1, 1), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&widget, &press);
    EXPECT_EQ(widget.Started, 1);
    EXPECT_EQ(widget.Finished, 0);
    EXPECT_EQ(seen.Caption, QStringLiteral("Korvane"));
    EXPECT_EQ(seen.Text, shown);
    EXPECT_EQ(seen.Icon, QMessageBox::Critical);
    // The program goes on: the next event reaches its handler.
    QKeyEvent key(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, QStringLiteral("a"));
    QApplication::sendEvent(&widget, &key);
    EXPECT_EQ(widget.Keys, 1);
  }
  {
    SCOPED_TRACE("handler connected to a signal");
    TFailingForm form;
    for (int click = 1; click <= 2; ++click) {
      TSeenBox seen;
      AnswerNextBox(seen, QMessageBox::Ok);
      form.Button->click();
      EXPECT_EQ(form.Started, click);
      EXPECT_EQ(seen.Text, shown);
    }
    EXPECT_EQ(form.Finished, 0);
  }
}

TEST(GeneralErrorHandler, FullStopIsNotDoubled) {
  EXPECT_EQ(TKorvaneApplication::ExceptionText(std::runtime_error("Cannot create file /a")),
            QStringLiteral("Cannot create file /a."));
  EXPECT_EQ(TKorvaneApplication::ExceptionText(std::runtime_error("无法写入.")),
            QStringLiteral("无法写入."));
  // The system's reason goes on a line of its own, after the stop.
  EXPECT_EQ(TKorvaneApplication::ExceptionText(std::runtime_error("Stream write error"), "设备上没有空间"),
            QStringLiteral("Stream write error.\n设备上没有空间"));
}

TEST(MessageBoxes, CaptionsIconsAndChineseButtons) {
  ASSERT_TRUE(TKorvaneApplication::Instance()->QtTranslationLoaded());
  const struct {
    void (*Show)(const QString&);
    const char* Caption;
    QMessageBox::Icon Icon;
  } kinds[] = {
      {ShowError, "错误", QMessageBox::Critical},
      {ShowWarning, "警告", QMessageBox::Warning},
      {ShowInformation, "信息", QMessageBox::Information},
  };
  for (const auto& kind : kinds) {
    TSeenBox seen;
    AnswerNextBox(seen, QMessageBox::Ok);
    kind.Show(QStringLiteral("<b>C:\\a&b</b>"));
    EXPECT_EQ(seen.Caption, QString::fromUtf8(kind.Caption));
    EXPECT_EQ(seen.Icon, kind.Icon);
    EXPECT_EQ(seen.Text, QStringLiteral("<b>C:\\a&b</b>"));
    EXPECT_EQ(seen.Buttons, QStringList{QStringLiteral("确定")});
    // A short text still leaves the title bar room for the caption.
    EXPECT_GE(seen.Width, 200);
  }
}

TEST(MessageBoxes, OnlyYesAgrees) {
  const struct {
    QMessageBox::StandardButton Answer;
    bool Agreed;
  } answers[] = {{QMessageBox::Yes, true}, {QMessageBox::No, false}, {QMessageBox::Escape, false}};
  for (const auto& answer : answers) {
    TSeenBox seen;
    AnswerNextBox(seen, answer.Answer);
    EXPECT_EQ(AskYesNo(QStringLiteral("是否继续?")), answer.Agreed);
    EXPECT_EQ(seen.Caption, QStringLiteral("警告"));
    EXPECT_TRUE(seen.Buttons.contains(QStringLiteral("是(&Y)")));
    EXPECT_TRUE(seen.Buttons.contains(QStringLiteral("否(&N)")));
  }
}
