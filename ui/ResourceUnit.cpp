#include "ResourceUnit.h"

#include <QFile>
#include <QPainter>

#include "KorvaneApplication.h"

QIcon LoadIconResource(const QString& name) {
  InitResources();
  const QString path = QStringLiteral(":/korvane/icons/%1.svg").arg(name);
  if (!QFile::exists(path)) return {};
  return QIcon(path);
}

TPictureImage::TPictureImage(const QString& resource, QWidget* parent) : QWidget(parent) {
  InitResources();
  FRenderer.load(resource);
}

void TPictureImage::paintEvent(QPaintEvent*) {
  QPainter canvas(this);
  canvas.setRenderHint(QPainter::Antialiasing);
  canvas.setRenderHint(QPainter::SmoothPixmapTransform);
  FRenderer.render(&canvas, QRectF(rect()));
}
