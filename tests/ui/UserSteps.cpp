#include "UserSteps.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>

void TUser::Then(TWindow window, TAction action) {
  Steps.push_back({std::move(window), std::move(action)});
}

void TUser::Answer(const char* text, QMessageBox::StandardButton button) {
  Then([]() -> QWidget* { return qobject_cast<QMessageBox*>(QApplication::activeModalWidget()); },
       [this, text, button](QWidget* top) {
         auto* box = static_cast<QMessageBox*>(top);
         EXPECT_EQ(box->text(), QString::fromUtf8(text));
         Boxes.push_back(SeeBox(*box));
         box->button(button)->click();
       });
}

void TUser::TakeStep(bool& pending) {
  if (Steps.empty() || pending) return;
  QWidget* top = QApplication::activeModalWidget();
  if (!top || !top->isVisible() || Steps.front().Window() != top) return;
  // Acted on from a fresh turn of the loop: an action that opens a modal
  // window must not hold up the polling timer, which takes the next step.
  pending = true;
  QTimer::singleShot(0, [&pending, action = std::move(Steps.front().Action), top] {
    pending = false;
    action(top);
  });
  Steps.pop_front();
}

int TUser::Run(TKorvaneProgram& program) {
  QTimer poll;
  bool pending = false;
  QElapsedTimer clock;
  clock.start();
  QObject::connect(&poll, &QTimer::timeout, [&] {
    if (clock.elapsed() > 30000) {
      ADD_FAILURE() << Steps.size() << " steps not taken";
      QCoreApplication::exit(1);
    }
    TakeStep(pending);
  });
  poll.start(10);
  Program = &program;
  program.Show();
  const int status = QCoreApplication::exec();
  EXPECT_TRUE(Steps.empty()) << Steps.size() << " steps not taken";
  return status;
}
