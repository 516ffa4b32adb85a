#pragma once
// What makes the monitor run: the run flag behind Start/Stop, the scheduler tick at the chosen
// running speed, the periodic time stamp in the general log, the pings-per-second figure, and the
// status texts and tray picture drawn from the host list's connection state.
//
// The main window owns one run control and hands it its controls; everything runs on the
// interface thread, in timer and button events.

#include <QString>

#include <array>
#include <cstdint>
#include <functional>
#include <string>

#include "base/regionalformat.h"
#include "base/tolvotime.h"

class QLabel;
class QPushButton;
class QTimer;
class TTolvoHosts;
class TTolvoLogger;
class TTrayIcon;

// The controls the run control writes to.
struct TRunControlView {
  QLabel* lblStatus = nullptr;
  QPushButton* btnStartStop = nullptr;
  QLabel* statusPanel0 = nullptr;  // pings per second
  QLabel* statusPanel1 = nullptr;  // connection text
  TTrayIcon* trayIcon = nullptr;
  QTimer* Timer1 = nullptr;
  std::function<int()> speedIndex;  // the selected entry of rgSpeed, -1 for none
  // Shows the note on why pinging is not possible (the cause with its remedy), or hides it (empty).
  std::function<void(const std::string& cause)> cannotPingNote;
  // The once-a-second status timer and what its tick does; a scheduler tick that comes due with it
  // runs that at once (see shareWakeUp).
  QTimer* tmrPingSpeed = nullptr;
  std::function<void()> pingSpeedTick;
};

// rgSpeed index -> Timer1 interval.
inline constexpr std::array<int, 4> SpeedIntervalsMs = {20, 100, 500, 1000};

class TRunControl {
 public:
  static constexpr const char* NoHostsMessage =
      "You don't have any hosts that I should ping. Add some!";
  static constexpr const char* UnknownText = "Connection status unknown.";
  static constexpr const char* AwesomeWarning =
      "WARNING! By selecting Awesome! - speed your CPU might come under 100% stress. So if your "
      "computer is sticky, change it to Fast or lower speed.";

  explicit TRunControl(const TClock& clockToUse) : clock(clockToUse) {}

  // The controls to write to; set once the window has built them.
  void setView(TRunControlView controls) { view = std::move(controls); }

  // The first steps of start-up: the time of the last time stamp and the run's start time text.
  void startUp();
  void setHostList(TTolvoHosts* hosts) { hostList = hosts; }
  void setLogger(TTolvoLogger* eventLog) { logger = eventLog; }

  bool running() const { return isRunning; }
  void setRunning(bool on);
  void refreshStatus();
  void Timer1Timer();
  void tmrPingSpeedTimer();
  // tmrPingSpeed's own tick, after the window has done its part: keeps it in step with Timer1.
  void statusTickFired();
  void btnStartStopClick();
  static void rgSpeedClick(int index);

  TDateTime lastTimestampAt = 0;
  std::int64_t lastTimestampMs = 0;  // the same moment on the monotonic clock, which times the stamps
  std::string startTimeText;
  std::string pingRateText;

 private:
  void showConnection();
  void showCannotPing();
  void skipIdleTicks(int tickMs);
  void shareWakeUp();
  void alignStatusTick();

  const TClock& clock;
  TRunControlView view;
  TRegionalFormat regional = TRegionalFormat::fromLocale();
  TTolvoHosts* hostList = nullptr;
  TTolvoLogger* logger = nullptr;
  bool isRunning = false;
  std::int32_t tickCount = 0;
  std::uint64_t lastEchoes = 0;  // echoes of this run at the last rate figure
  QTimer* resumeTimer = nullptr;  // ends a run of skipped idle ticks
  bool restedWhileStopped = false;  // Timer1 was stopped by us while pinging was stopped
};
