#include "SearchAnimation.h"

#include <cmath>
#include <numbers>

#include <QPainter>
#include <QPainterPath>

namespace {

// The scene is drawn on an 80 x 50 grid and scaled to the control.
constexpr double SceneWidth = 80;
constexpr double SceneHeight = 50;
const QRectF Page(44, 6, 28, 38);

double Phase(int frame) { return 2 * std::numbers::pi * frame / TSearchAnimation::FrameCount; }

void DrawFolder(QPainter& canvas, int frame) {
  canvas.setPen(QPen(QColor(0x8a, 0x62, 0x10), 1));
  canvas.setBrush(QColor(0xe8, 0xb8, 0x3a));
  canvas.drawRect(QRectF(6.5, 16.5, 26, 22));
  canvas.drawRect(QRectF(6.5, 13.5, 10, 3));
  // The papers in the folder are leafed through while the lens reads.
  canvas.setBrush(Qt::white);
  canvas.setPen(QPen(QColor(0x70, 0x70, 0x70), 1));
  const double lift = 3 * std::sin(Phase(frame)) + 3;
  canvas.drawRect(QRectF(9.5, 14.5, 18, 12));
  canvas.drawRect(QRectF(12.5, 12.5 - lift, 18, 12));
  canvas.setPen(QPen(QColor(0x8a, 0x62, 0x10), 1));
  canvas.setBrush(QColor(0xf6, 0xd0, 0x60));
  const QPointF flap[] = {{6.5, 38.5}, {9.5, 22.5}, {35.5, 22.5}, {32.5, 38.5}};
  canvas.drawPolygon(flap, 4);
}

void DrawPageLines(QPainter& canvas, double width) {
  canvas.setPen(QPen(QColor(0x50, 0x70, 0xb0), width));
  for (int line = 0; line < 7; ++line) {
    const double y = Page.top() + 7 + line * 4.5;
    const double end = Page.right() - (line % 3 == 2 ? 12 : 5);
    canvas.drawLine(QPointF(Page.left() + 4, y), QPointF(end, y));
  }
}

void DrawPage(QPainter& canvas) {
  canvas.setPen(QPen(QColor(0x40, 0x40, 0x40), 1));
  canvas.setBrush(Qt::white);
  canvas.drawRect(Page);
  DrawPageLines(canvas, 1.2);
}

// The lens follows a figure of eight over the page, so the loop closes
// without a jump from the last frame to the first.
QPointF LensCentre(int frame) {
  const double t = Phase(frame);
  return {Page.center().x() - 2 + 7 * std::sin(t), Page.center().y() - 2 + 8 * std::sin(2 * t)};
}

void DrawLens(QPainter& canvas, QPointF centre) {
  const double radius = 8;
  const double handle = radius / std::numbers::sqrt2;
  canvas.setPen(QPen(QColor(0x5a, 0x3a, 0x1a), 3.5, Qt::SolidLine, Qt::RoundCap));
  canvas.drawLine(centre + QPointF(handle, handle), centre + QPointF(radius + 6, radius + 6));
  // Inside the glass the lines show larger and the paper tinted.
  QPainterPath glass;
  glass.addEllipse(centre, radius, radius);
  canvas.save();
  canvas.setClipPath(glass);
  canvas.fillPath(glass, QColor(0xdc, 0xf0, 0xff));
  canvas.translate(centre);
  canvas.scale(1.5, 1.5);
  canvas.translate(-centre);
  DrawPageLines(canvas, 1.4);
  canvas.restore();
  canvas.setPen(QPen(QColor(0x30, 0x30, 0x30), 1.6));
  canvas.setBrush(Qt::NoBrush);
  canvas.drawEllipse(centre, radius, radius);
}

}  // namespace

TSearchAnimation::TSearchAnimation(QWidget* parent) : QWidget(parent) {
  FTimer.setInterval(FrameInterval);
  connect(&FTimer, &QTimer::timeout, this, [this] { SetFrame(FFrame + 1); });
}

void TSearchAnimation::Play() { FTimer.start(); }

void TSearchAnimation::Stop() { FTimer.stop(); }

void TSearchAnimation::SetFrame(int frame) {
  FFrame = (frame % FrameCount + FrameCount) % FrameCount;
  update();
}

void TSearchAnimation::DrawFrame(QPainter& canvas, const QRectF& target, int frame) {
  canvas.save();
  canvas.setRenderHint(QPainter::Antialiasing);
  canvas.translate(target.topLeft());
  canvas.scale(target.width() / SceneWidth, target.height() / SceneHeight);
  const int step = (frame % FrameCount + FrameCount) % FrameCount;
  DrawFolder(canvas, step);
  DrawPage(canvas);
  DrawLens(canvas, LensCentre(step));
  canvas.restore();
}

void TSearchAnimation::paintEvent(QPaintEvent*) {
  QPainter canvas(this);
  DrawFrame(canvas, QRectF(rect()), FFrame);
}
