#include "CubicLabel.h"

#include <algorithm>

#include <QMouseEvent>
#include <QPainter>

TCubicLabel::TCubicLabel(QWidget* parent) : QLabel(parent) {
  // A label's own defaults: text at the top left, not a stretched widget.
  setAlignment(Qt::AlignLeft | Qt::AlignTop);
}

template <typename T>
void TCubicLabel::Assign(T& field, T value) {
  // Windows set these while building and on every mouse press of a title;
  // an unchanged value must not cost a repaint.
  if (field == value) return;
  field = value;
  update();
}

void TCubicLabel::SetCubicFace(TCubicFace value) { Assign(FCubicFace, value); }
void TCubicLabel::SetCubicShadow(bool value) { Assign(FCubicShadow, value); }
void TCubicLabel::SetShadowOnly(bool value) { Assign(FShadowOnly, value); }
void TCubicLabel::SetShadowColor(TColor value) { Assign(FShadowColor, value); }
void TCubicLabel::SetHollowFace(bool value) { Assign(FHollowFace, value); }
void TCubicLabel::SetHollowColor(TColor value) { Assign(FHollowColor, value); }
void TCubicLabel::SetShowAccelChar(bool value) { Assign(FShowAccelChar, value); }

void TCubicLabel::SetShadowDepth(int value) {
  if (value < 0) return;
  Assign(FShadowDepth, value);
}

void TCubicLabel::SetTransparent(bool value) {
  if (value == Transparent()) return;
  setAutoFillBackground(!value);
  update();
}

void TCubicLabel::SetFontColor(TColor value) {
  QPalette p = palette();
  p.setColor(foregroundRole(), ColorToQColor(value, p));
  setPalette(p);
}

TColor TCubicLabel::GetHighlightColor(TColor color) {
  // A quarter of each component, all raised together until the lightest
  // reaches 255: the light copy keeps the hue's balance. The top byte (a
  // system-colour reference) is deliberately not resolved.
  const int red = static_cast<int>(color & 0xFF) / 4;
  const int green = static_cast<int>(color >> 8 & 0xFF) / 4;
  const int blue = static_cast<int>(color >> 16 & 0xFF) / 4;
  const int lift = 255 - std::max({red, green, blue});
  return RGBColor(red + lift, green + lift, blue + lift);
}

void TCubicLabel::DrawCaption(QPainter& canvas, QRect& r, int format) const {
  const bool measure = (format & CalcRect) != 0;
  QString text = QLabel::text();
  if (measure && (text.isEmpty() || (FShowAccelChar && text == QLatin1String("&"))))
    text += QLatin1Char(' ');  // an empty caption still measures one line high
  int flags = format & ~CalcRect;
  if (FShowAccelChar) flags |= Qt::TextShowMnemonic;
  canvas.setFont(font());

  // Each step is one call for the whole text: a draw in the given colour,
  // or a measurement that moves r's bottom right to the text's extent.
  auto draw = [&](const QColor& color) {
    if (measure) {
      const QRect extent = canvas.boundingRect(r, flags, text);
      r.setSize(extent.size());
    } else {
      canvas.setPen(color);
      canvas.drawText(r, flags, text);
    }
  };
  const QPalette& p = palette();

  if (!isEnabled()) {
    // Engraved: a lit copy below right, the shadow-coloured text on top.
    r.translate(1, 1);
    draw(ColorToQColor(clBtnHighlight, p));
    r.translate(-1, -1);
    draw(ColorToQColor(clBtnShadow, p));
    return;
  }

  const QColor faceColor = p.color(foregroundRole());
  const QRect r0 = r;
  DrawRelief(draw, r, faceColor);
  r = r0;
  if (FHollowFace) DrawHalo(draw, r);
  r = r0;
  draw(faceColor);
}

void TCubicLabel::DrawRelief(const TCaptionStep& draw, QRect& r, const QColor& faceColor) const {
  const QPalette& p = palette();
  const QRect r0 = r;
  if (FShadowOnly) {
    r.translate(FShadowDepth, FShadowDepth);
    draw(ColorToQColor(FShadowColor, p));
    if (FCubicShadow && FShadowDepth >= 2) {
      for (int step = 1; step < FShadowDepth; ++step) {
        r.translate(-1, -1);
        draw(ColorToQColor(FShadowColor, p));
      }
    }
  } else if (FCubicFace != cfNormal) {
    // The dark copy is a fixed gray, never ShadowColor.
    const QColor light = ColorToQColor(GetHighlightColor(QColorToColor(faceColor)), p);
    const QColor dark = ColorToQColor(clGray, p);
    const bool raised = FCubicFace == cfRaised;
    const int offset = FHollowFace ? 2 : 1;
    r.translate(offset, offset);
    draw(raised ? dark : light);
    r = r0;
    r.translate(-offset, -offset);
    draw(raised ? light : dark);
  }
}

void TCubicLabel::DrawHalo(const TCaptionStep& draw, QRect& r) const {
  static constexpr QPoint haloSteps[] = {{1, 0}, {1, 1}, {-1, 1}, {-1, -1}};
  const QColor halo = ColorToQColor(FHollowColor, palette());
  const QRect r0 = r;
  for (const QPoint step : haloSteps) {
    r = r0.translated(step);
    draw(halo);
  }
}

void TCubicLabel::Paint(QPainter& canvas) {
  if (!Transparent()) canvas.fillRect(rect(), palette().color(backgroundRole()));
  drawFrame(&canvas);
  canvas.setBrush(Qt::NoBrush);

  QRect r = rect();
  int format = Qt::TextExpandTabs | Qt::AlignTop;
  if (wordWrap()) format |= Qt::TextWordWrap;
  const Qt::Alignment align = alignment();
  if (align & Qt::AlignRight)
    format |= Qt::AlignRight;
  else if (align & Qt::AlignHCenter)
    format |= Qt::AlignHCenter;
  else
    format |= Qt::AlignLeft;

  if (align & (Qt::AlignVCenter | Qt::AlignBottom)) {
    // Measure first: the text is drawn top-aligned in a rectangle moved
    // down by the free space (or half of it), so every effect moves along.
    QRect m = r;
    DrawCaption(canvas, m, format | CalcRect);
    int offset = height() - (m.y() + m.height());
    if (!(align & Qt::AlignBottom)) offset /= 2;
    r.translate(0, offset);
  }
  DrawCaption(canvas, r, format);
}

void TCubicLabel::paintEvent(QPaintEvent*) {
  QPainter canvas(this);
  Paint(canvas);
}

void TCubicLabel::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) FPressed = true;
  emit MouseDown(event->button(), event->position().toPoint());
  QLabel::mousePressEvent(event);
}

void TCubicLabel::mouseReleaseEvent(QMouseEvent* event) {
  const bool click = FPressed && event->button() == Qt::LeftButton &&
                     rect().contains(event->position().toPoint());
  if (event->button() == Qt::LeftButton) FPressed = false;
  emit MouseUp(event->button(), event->position().toPoint());
  QLabel::mouseReleaseEvent(event);
  if (click) emit Click();
}
