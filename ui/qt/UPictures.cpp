#include "UPictures.h"

#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QPolygonF>
#include <functional>

namespace korvane {

namespace {

using TPainting = std::function<void(QPainter&)>;

// Paints Draw (in logical coordinates) at the given pixel ratio.
QPixmap Paint(QSize LogicalSize, qreal Ratio, const TPainting& Draw) {
  QImage Image(LogicalSize * Ratio, QImage::Format_ARGB32_Premultiplied);
  Image.setDevicePixelRatio(Ratio);
  Image.fill(Qt::transparent);
  QPainter Painter(&Image);
  Painter.setRenderHint(QPainter::Antialiasing);
  Draw(Painter);
  Painter.end();
  return QPixmap::fromImage(Image);
}

// One icon with a pixmap for each common screen scale.
QIcon PaintIcon(QSize LogicalSize, const TPainting& Draw) {
  QIcon Icon;
  for (const qreal Ratio : {1.0, 1.5, 2.0, 3.0}) {
    Icon.addPixmap(Paint(LogicalSize, Ratio, Draw));
  }
  return Icon;
}

// The bolt's outline in a 15 x 14 box.
QPolygonF BoltShape() {
  return QPolygonF(
      {{9.5, 0.5}, {1.5, 8.0}, {6.5, 8.0}, {4.0, 13.5}, {13.5, 5.0}, {8.5, 5.0}, {12.0, 0.5}});
}

void DrawBolt(QPainter& Painter) {
  Painter.setPen(QPen(QColor(0x80, 0x5A, 0x00), 1.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  Painter.setBrush(QColor(0xFF, 0xD4, 0x00));
  Painter.drawPolygon(BoltShape());
}

void DrawFloppyWithPencil(QPainter& Painter) {
  // The disk: a dark blue body with a cut corner, a metal shutter at the top
  // and a white label at the bottom.
  QPainterPath Body;
  Body.moveTo(1.5, 1.5);
  Body.lineTo(12.5, 1.5);
  Body.lineTo(14.5, 3.5);
  Body.lineTo(14.5, 14.5);
  Body.lineTo(1.5, 14.5);
  Body.closeSubpath();
  Painter.setPen(QPen(QColor(0x10, 0x18, 0x40), 1.0));
  Painter.setBrush(QColor(0x2A, 0x4C, 0xA8));
  Painter.drawPath(Body);
  Painter.setPen(Qt::NoPen);
  Painter.setBrush(QColor(0xC8, 0xCC, 0xD4));
  Painter.drawRect(QRectF(4.0, 2.0, 7.0, 4.5));
  Painter.setBrush(QColor(0x2A, 0x4C, 0xA8));
  Painter.drawRect(QRectF(8.5, 2.8, 1.6, 3.0));
  Painter.setBrush(Qt::white);
  Painter.drawRect(QRectF(3.5, 8.5, 9.0, 5.5));

  // The pencil, lying from the upper right down to its tip at the lower left
  // of the label.
  Painter.save();
  Painter.translate(6.0, 15.5);
  Painter.rotate(-45.0);
  Painter.setPen(QPen(QColor(0x40, 0x30, 0x10), 0.7));
  Painter.setBrush(QColor(0xF5, 0xC0, 0x20));
  Painter.drawRect(QRectF(3.0, -1.6, 9.0, 3.2));
  Painter.setBrush(QColor(0xF0, 0x90, 0xA0));
  Painter.drawRect(QRectF(12.0, -1.6, 2.2, 3.2));
  Painter.setBrush(QColor(0xF0, 0xD8, 0xB0));
  Painter.drawPolygon(QPolygonF({{3.0, -1.6}, {0.0, 0.0}, {3.0, 1.6}}));
  Painter.setPen(Qt::NoPen);
  Painter.setBrush(QColor(0x30, 0x30, 0x30));
  Painter.drawPolygon(QPolygonF({{1.0, -0.55}, {0.0, 0.0}, {1.0, 0.55}}));
  Painter.restore();
}

// A chip in a dual-in-line package with the bolt on it, in a 64 x 64 box.
void DrawApplicationIcon(QPainter& Painter) {
  Painter.setPen(Qt::NoPen);
  Painter.setBrush(QColor(0xB8, 0xBC, 0xC4));
  for (int Pin = 0; Pin < 5; ++Pin) {
    const qreal Y = 12.0 + Pin * 9.5;
    Painter.drawRect(QRectF(6.0, Y, 8.0, 4.0));
    Painter.drawRect(QRectF(50.0, Y, 8.0, 4.0));
  }
  Painter.setPen(QPen(QColor(0x10, 0x10, 0x14), 1.5));
  Painter.setBrush(QColor(0x30, 0x32, 0x3A));
  Painter.drawRoundedRect(QRectF(13.0, 6.0, 38.0, 52.0), 3.0, 3.0);
  Painter.setPen(Qt::NoPen);
  Painter.setBrush(QColor(0x50, 0x52, 0x5C));
  // The notch that marks pin 1.
  Painter.drawPie(QRectF(27.0, 1.0, 10.0, 10.0), 180 * 16, 180 * 16);
  Painter.translate(15.0, 14.0);
  Painter.scale(34.0 / 15.0, 36.0 / 14.0);
  Painter.setPen(QPen(QColor(0x80, 0x5A, 0x00), 0.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  Painter.setBrush(QColor(0xFF, 0xD4, 0x00));
  Painter.drawPolygon(BoltShape());
}

}  // namespace

QIcon LightningBoltIcon() {
  return PaintIcon(QSize(15, 14), DrawBolt);
}

QIcon FloppyPencilIcon() {
  return PaintIcon(QSize(17, 17), DrawFloppyWithPencil);
}

QIcon ApplicationIcon() {
  QIcon Icon;
  for (const int Side : {16, 24, 32, 48, 64, 128, 256}) {
    Icon.addPixmap(Paint(QSize(Side, Side), 1.0, [Side](QPainter& Painter) {
      Painter.scale(Side / 64.0, Side / 64.0);
      DrawApplicationIcon(Painter);
    }));
  }
  return Icon;
}

}  // namespace korvane
