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

  // The Path window of a host (Ctrl+T: the host under the pointer, or the one last pointed at, or
  // the first; the rows' context menu).
  std::function<void(std::uint64_t runId)> onPath;
  void openPath();

  TTimelineView* view = nullptr;
  QComboBox* cbSpan = nullptr;
  QLabel* lblValues = nullptr;

 protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void showRowMenu(const QPoint& pos);

  QTimer* tmrRefresh = nullptr;
  std::uint64_t pointedRunId = 0;  // the host last under the pointer
};
