#include "ui/views/historymarks.h"

#include <QFontMetrics>
#include <QPainter>
#include <algorithm>

#include "ui/views/historychart.h"

QString addressChangeText(const THistoryAddressChange& change) {
  return QStringLiteral("address %1 \u2192 %2")
      .arg(QString::fromStdString(change.oldAddress), QString::fromStdString(change.newAddress));
}

void paintAddressChanges(QPainter& p, const QRectF& area,
                         const std::function<double(std::int64_t)>& xOf,
                         const std::vector<THistorySeries>& series) {
  const QFontMetrics metrics(p.font());
  int line = 0;  // marks of several hosts at one time stack their texts
  for (const THistorySeries& s : series) {
    for (const THistoryAddressChange& change : s.addressChanges) {
      const double x = xOf(change.changedMs);
      if (x < area.left() || x > area.right()) continue;
      p.setPen(QPen(s.colour, 1.5, Qt::DashLine));
      p.drawLine(QPointF(x, area.top()), QPointF(x, area.bottom()));
      const QString text = addressChangeText(change);
      const double width = metrics.horizontalAdvance(text);
      // Right of the line, or left of it near the right edge.
      const double left =
          x + 4 + width <= area.right() ? x + 4 : std::max(area.left(), x - 4 - width);
      const QRectF box(left, area.top() + 2 + line * metrics.height(), width, metrics.height());
      p.setPen(s.colour);
      p.drawText(box, Qt::AlignLeft | Qt::AlignVCenter, text);
      line = (line + 1) % 4;
    }
  }
}
