#pragma once
// Fills a real results database through the recorder, the way the program records: hosts are
// added to a host list, echoes published on its event stream, the recorder's clock fixed at
// `nowMs`.

#include <QElapsedTimer>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "core/tolvohosts.h"
#include "history/historyrecorder.h"

namespace uitest {

struct TFilledHost {
  std::string callingName, hostName, address;
};

// rttOf(host index, time sent) gives the round trip, -1 for a lost echo. Sends every stepMs in
// [fromMs, toMs). True when everything was written.
inline bool fillHistory(const std::string& path, std::int64_t nowMs,
                        const std::vector<TFilledHost>& specs, std::int64_t fromMs,
                        std::int64_t toMs, std::int64_t stepMs,
                        const std::function<std::int64_t(std::size_t, std::int64_t)>& rttOf) {
  TTolvoHosts hosts;
  THistoryRecorderOptions options;
  options.nowMs = [nowMs] { return nowMs; };
  THistoryRecorder recorder(hosts.events(), options);
  std::vector<TTolvoHost*> list;
  for (const TFilledHost& spec : specs) {
    std::unique_ptr<TTolvoHost> h = hosts.newHost();
    h->callingName = spec.callingName;
    h->hostName = spec.hostName;
    h->ipAddress = spec.address;
    list.push_back(h.get());
    hosts.appendHost(h);
  }
  for (std::int64_t t = fromMs; t < toMs; t += stepMs)
    for (std::size_t i = 0; i < list.size(); ++i) {
      const std::int64_t rtt = rttOf(i, t);
      hosts.events().echoResult(*list[i], {t, rtt >= 0, rtt});
    }
  recorder.start(path);
  const bool written = recorder.waitWritten(std::chrono::seconds(20));
  recorder.stop();
  return written;
}

}  // namespace uitest
