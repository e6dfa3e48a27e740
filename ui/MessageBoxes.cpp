#include "MessageBoxes.h"

#include <QApplication>
#include <QMessageBox>

namespace {

QMessageBox::Icon IconOf(TMessageKind kind) {
  switch (kind) {
    case TMessageKind::Error: return QMessageBox::Critical;
    case TMessageKind::Warning: return QMessageBox::Warning;
    case TMessageKind::Information: return QMessageBox::Information;
    case TMessageKind::Question: return QMessageBox::Question;
  }
  return QMessageBox::NoIcon;
}

}  // namespace

bool ShowMessage(const QString& caption, const QString& text, TMessageKind kind) {
  const bool question = kind == TMessageKind::Question;
  QMessageBox box(IconOf(kind), caption, text,
                  question ? QMessageBox::Yes | QMessageBox::No : QMessageBox::Ok,
                  QApplication::activeWindow());
  // File names may hold "<" and "&": the text is never markup.
  box.setTextFormat(Qt::PlainText);
  if (question) {
    box.setDefaultButton(QMessageBox::Yes);
    box.setEscapeButton(QMessageBox::No);
  }
  return box.exec() == QMessageBox::Yes;
}

void ShowError(const QString& text) {
  ShowMessage(QStringLiteral("错误"), text, TMessageKind::Error);
}

void ShowWarning(const QString& text) {
  ShowMessage(QStringLiteral("警告"), text, TMessageKind::Warning);
}

void ShowInformation(const QString& text) {
  ShowMessage(QStringLiteral("信息"), text, TMessageKind::Information);
}

bool AskYesNo(const QString& text) {
  return ShowMessage(QStringLiteral("警告"), text, TMessageKind::Question);
}
