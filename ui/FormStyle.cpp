#include "FormStyle.h"

#include <QTimer>

#include "FormActivation.h"

QFont MakeFont(const QString& family, int pixelSize, bool bold, bool italic) {
  QFont font(family);
  font.setPixelSize(pixelSize);
  font.setBold(bold);
  font.setItalic(italic);
  return font;
}

void SetUpForm(QDialog& form, const QString& caption, const QFont& font, QSize clientSize) {
  form.setWindowTitle(caption);
  form.setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                      Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint);
  form.setFont(font);
  // Qt cannot size the outer frame before the window is shown, so the
  // designed size is taken as the client area.
  form.resize(clientSize);
}

namespace {

// How long the frame is waited for: FrameWaits times FrameWait ms.
constexpr int FrameWaits = 500;
constexpr int FrameWait = 20;

void TakeOffFrame(QWidget& window, QSize outer, int waitsLeft) {
  const QSize frame = window.frameGeometry().size() - window.size();
  if (frame.width() > 0 || frame.height() > 0) {
    window.resize(outer - frame);
    CentreOnScreen(&window);
    return;
  }
  // Without a window manager no frame ever comes.
  if (waitsLeft > 0 && window.isVisible())
    QTimer::singleShot(FrameWait, &window, [&window, outer, waitsLeft] {
      TakeOffFrame(window, outer, waitsLeft - 1);
    });
}

}  // namespace

void FitOuterSize(QWidget& window, QSize outer) {
  window.resize(outer);
  CentreOnScreen(&window);
  TakeOffFrame(window, outer, FrameWaits);
}
