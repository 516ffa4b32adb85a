#pragma once
// Texts of table cells laid out once and kept (QStaticText), and the drawing of one such text in a
// cell. A table's standard delegate lays every text out afresh at each paint, which is most of a
// refresh's cost with many hosts; the same few hundred texts recur from one second to the next.

#include <QHash>
#include <QStaticText>

class QColor;
class QPainter;
class QRect;

class TLaidOutTexts {
 public:
  // Forgets everything once this many texts are kept (or when the font changes).
  explicit TLaidOutTexts(qsizetype most) : maxKept(most) {}

  const QStaticText& get(const QString& text, const QFont& font);

 private:
  qsizetype maxKept;
  QHash<QString, QStaticText> texts;
  QFont textsFont;
};

// Draws `laid` (laid out in `font`) inside `area`, vertically centred and clipped to it, on its
// left or against its right edge.
void drawLaidOutText(QPainter* painter, const QRect& area, const QStaticText& laid,
                     const QFont& font, const QColor& colour, bool alignRight = false);
