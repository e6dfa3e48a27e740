#include "UiTestSupport.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QPainter>
#include <QTimer>
#include <QWidget>

QImage RenderWidget(QWidget& widget) {
  QImage image(widget.size(), QImage::Format_RGB32);
  image.fill(Qt::white);
  // Without DrawWindowBackground: a transparent widget must show the white.
  widget.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
  return image;
}

QImage RenderText(const QString& text, const QFont& font, QSize size) {
  QImage image(size, QImage::Format_RGB32);
  image.fill(Qt::white);
  QPainter painter(&image);
  painter.setFont(font);
  painter.setPen(Qt::black);
  painter.drawText(QRect(QPoint(0, 0), size), Qt::AlignLeft | Qt::AlignTop, text);
  return image;
}

QRect InkBounds(const QImage& image, QColor background) {
  QRect bounds;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x)
      if (image.pixelColor(x, y) != background) bounds |= QRect(x, y, 1, 1);
  return bounds;
}

int CountColor(const QImage& image, QColor color) {
  int count = 0;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x)
      if (image.pixelColor(x, y) == color) ++count;
  return count;
}

void OnNextModal(std::function<void(QWidget*)> action, QWidget* after) {
  auto* poll = new QTimer(qApp);
  auto* clock = new QElapsedTimer;
  clock->start();
  QObject::connect(poll, &QTimer::timeout, poll, [poll, clock, after, action = std::move(action)] {
    QWidget* top = QApplication::activeModalWidget();
    const bool found = top && top != after && top->isVisible();
    // A desktop makes a window that opens modally the active one, which the
    // offscreen platform does not always do for the first window of a
    // process; code that looks for the active window must see it as a
    // person would. It is asked once more, and given up on after a while.
    if (found && QApplication::activeWindow() != top && clock->elapsed() < 1000) {
      top->activateWindow();
      return;
    }
    if (!found && clock->elapsed() < 5000) return;
    poll->stop();
    poll->deleteLater();
    delete clock;
    if (found) {
      action(top);
    } else {
      ADD_FAILURE() << "no modal window appeared";
      if (top) top->close();
    }
  });
  poll->start(10);
}

TSeenBox SeeBox(const QMessageBox& box) {
  TSeenBox seen{box.windowTitle(), box.text(), box.icon(), {}};
  for (QAbstractButton* button : box.buttons()) seen.Buttons << button->text();
  seen.Width = box.width();
  return seen;
}

TBoxAnswerer::TBoxAnswerer(QMessageBox::StandardButton answer) : Poll(new QTimer) {
  QObject::connect(Poll, &QTimer::timeout, Poll, [this, answer] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box || !box->isVisible() || !box->button(answer)) return;
    Boxes.push_back(SeeBox(*box));
    box->button(answer)->click();
  });
  Poll->start(5);
}

TBoxAnswerer::~TBoxAnswerer() { delete Poll; }
