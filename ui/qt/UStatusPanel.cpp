#include "UStatusPanel.h"

#include <qdrawutil.h>
#include <QPainter>

namespace korvane {

namespace {
// One raised and one lowered line on each side.
constexpr int BevelWidth = 2;
constexpr int TextMargin = 3;
}  // namespace

TStatusPanel::TStatusPanel(QWidget* Parent) : QWidget(Parent) {}

void TStatusPanel::SetText(const QString& Text) {
  if (Text == FText) {
    return;
  }
  FText = Text;
  UpdateToolTip();
  update();
}

QSize TStatusPanel::SizeFor(const QString& Text) const {
  const QFontMetrics Metrics(font());
  return QSize(Metrics.horizontalAdvance(Text) + 2 * (BevelWidth + TextMargin),
               Metrics.height() + 2 * (BevelWidth + 1));
}

QRect TStatusPanel::TextRect() const {
  return rect().adjusted(BevelWidth + TextMargin, BevelWidth, -(BevelWidth + TextMargin),
                         -BevelWidth);
}

void TStatusPanel::paintEvent(QPaintEvent*) {
  QPainter Painter(this);
  qDrawShadePanel(&Painter, rect(), palette(), false, 1);
  qDrawShadePanel(&Painter, rect().adjusted(1, 1, -1, -1), palette(), true, 1);

  const QRect Room = TextRect();
  Painter.setPen(palette().color(QPalette::WindowText));
  Painter.drawText(Room, Qt::AlignCenter | Qt::TextSingleLine,
                   fontMetrics().elidedText(FText, Qt::ElideMiddle, Room.width()));
}

void TStatusPanel::resizeEvent(QResizeEvent* Event) {
  QWidget::resizeEvent(Event);
  UpdateToolTip();
}

void TStatusPanel::UpdateToolTip() {
  const bool Elided = fontMetrics().horizontalAdvance(FText) > TextRect().width();
  setToolTip(Elided ? FText : QString());
}

}  // namespace korvane
