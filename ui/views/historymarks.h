#pragma once
// Marks on the history chart where a host's address changed: a dashed line in the host's colour at
// the time of the change, with the new address at its top, so that a step in the round trips can be
// told from a change of the host itself.

#include <QRectF>
#include <QString>
#include <cstdint>
#include <functional>
#include <vector>

#include "history/historytypes.h"

class QPainter;
struct THistorySeries;

// "address 10.0.0.1 → 10.0.0.2", the mark's text.
QString addressChangeText(const THistoryAddressChange& change);

void paintAddressChanges(QPainter& p, const QRectF& area,
                         const std::function<double(std::int64_t)>& xOf,
                         const std::vector<THistorySeries>& series);
