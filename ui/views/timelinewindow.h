#pragma once
// The "Timeline" window: the timeline of every host (timelineview.h) with its span (5 minutes to
// 3 hours, 10 minutes at first), the legend of its colour scale and the text under the pointer.
// Moves on once a second while shown.

#include <QWidget>
#include <cstdint>
#include <functional>

class QComboBox;
class QLabel;
class QTimer;
class TLiveStats;
class TLiveTrail;
class TTimelineView;

class TTimelineWindow : public QWidget {
  Q_OBJECT
 public:
  TTimelineWindow(const TLiveStats& stats, const TLiveTrail& trail,
                  std::function<std::int64_t()> nowMs = {}, QWidget* parent = nullptr);

  TTimelineView* view = nullptr;
  QComboBox* cbSpan = nullptr;
  QLabel* lblValues = nullptr;

 protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;

 private:
  QTimer* tmrRefresh = nullptr;
};
