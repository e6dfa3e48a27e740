#include "MessageBoxes.h"

#include <QGridLayout>
#include <QMessageBox>
#include <QSpacerItem>

#include "FormActivation.h"

namespace {

// What a title bar needs besides its caption: the window's icon and the
// close, minimise and maximise buttons, at the common window managers'
// sizes.
constexpr int TitleBarReserve = 160;

// A box as narrow as a short text ("校验完成.") leaves the window manager no
// room for its caption, which then shows as "···". The caption's own width
// is doubled: title bars use a larger, often bold, font than the box.
void WidenForCaption(QMessageBox& box, const QString& caption) {
  auto* grid = qobject_cast<QGridLayout*>(box.layout());
  if (!grid) return;
  const int width = 2 * box.fontMetrics().horizontalAdvance(caption) + TitleBarReserve;
  grid->addItem(new QSpacerItem(width, 0, QSizePolicy::Minimum, QSizePolicy::Fixed),
                grid->rowCount(), 0, 1, grid->columnCount());
}

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
                  WindowOnTop());
  // File names may hold "<" and "&": the text is never markup.
  box.setTextFormat(Qt::PlainText);
  WidenForCaption(box, caption);
  if (question) {
    box.setDefaultButton(QMessageBox::Yes);
    box.setEscapeButton(QMessageBox::No);
  }
  // Placed by Qt over its owner.
  return ShowModal(box, TPlacement::AsItIs) == QMessageBox::Yes;
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
