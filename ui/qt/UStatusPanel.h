// The status line of the main window: a panel with a raised outer and a
// lowered inner bevel, showing one line of centred text in the panel's
// window-text colour.
#pragma once

#include <QString>
#include <QWidget>

namespace korvane {

class TStatusPanel : public QWidget {
 public:
  explicit TStatusPanel(QWidget* Parent = nullptr);

  const QString& Text() const { return FText; }
  // Schedules a repaint when the text changes. Text wider than the panel is
  // elided in the middle and shown whole as the tooltip.
  void SetText(const QString& Text);

  // Room for Text on one line, with the bevels and a little air.
  QSize SizeFor(const QString& Text) const;
  QSize sizeHint() const override { return SizeFor(FText); }

 protected:
  void paintEvent(QPaintEvent* Event) override;
  void resizeEvent(QResizeEvent* Event) override;

 private:
  QRect TextRect() const;
  void UpdateToolTip();

  QString FText;
};

}  // namespace korvane
