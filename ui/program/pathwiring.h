#pragma once
// Path tracing in the desktop program: the tracer of the traced hosts ([paths]), told by the alert
// center when a host goes down or comes back, its rounds stored next to the results; a round made
// when a host went down that stops short becomes a desktop notification naming the last hop that
// answered ("gateway is down: the path stops after hop 3, 203.0.113.1 (isp-edge.example)"), in the
// place of the host's "down"; nothing when the host is up again by then.

#include <QObject>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

class TAlertCenter;
class TPathTracer;
class TRunControl;
class TTolvoHosts;
struct TTracedRound;

class TPathWiring : public QObject {
  Q_OBJECT
 public:
  TPathWiring(TTolvoHosts& hosts, TAlertCenter& alerts, const TRunControl& runControl,
              QObject* parent = nullptr);
  ~TPathWiring() override;

  void start(const std::string& databasePath);
  void stop();  // before the recorder stops
  // Starts the rounds that are due; the main window calls it once a second, from its status tick.
  void checkSchedule();
  // Reads [paths] again (hosts added or edited).
  void reloadSettings();
  TPathTracer& tracer() { return *pathTracer; }
  // Every finished round, after its notification (the metrics endpoint's path series).
  std::function<void(const TTracedRound& round, std::uint64_t changesTotal)> roundDone;

 private:
  TTolvoHosts& hosts;
  TAlertCenter& alerts;
  std::unique_ptr<TPathTracer> pathTracer;
  bool started = false;
};
