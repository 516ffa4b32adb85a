#pragma once
// A recorder on a results database in a temporary folder, with a clock of the test's own and the
// engine's event hub fed by hand.

#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "core/engineevents.h"
#include "core/tolvohost.h"
#include "history/historyreader.h"
#include "history/historyrecorder.h"
#include "support/messagerecorder.h"

// 2026-01-01 00:00:00 UTC: the start of a day, an hour and a 5-minute step.
inline constexpr std::int64_t DayStartMs = 1'767'225'600'000;

class HistoryFixture : public ::testing::Test {
 protected:
  std::string dbPath() const { return QDir(dir.path()).filePath("history.sqlite").toStdString(); }

  std::unique_ptr<THistoryRecorder> makeRecorder(THistoryLengths lengths = {}) {
    THistoryRecorderOptions options;
    options.flushInterval = std::chrono::milliseconds(20);
    options.retryInterval = std::chrono::milliseconds(20);
    options.lengths = lengths;
    options.nowMs = [this] { return nowMs.load(); };
    return std::make_unique<THistoryRecorder>(hub, options);
  }

  std::unique_ptr<TTolvoHost> makeHost(const std::string& calling, const std::string& name,
                                       const std::string& address) {
    auto host = std::make_unique<TTolvoHost>();
    host->callingName = calling;
    host->hostName = name;
    host->ipAddress = address;
    return host;
  }

  void echo(const TTolvoHost& host, std::int64_t sentMs, std::int64_t rttMicros) {
    hub.echoResult(host, {sentMs, rttMicros >= 0, rttMicros});
  }

  QTemporaryDir dir;
  TEngineEventHub hub;
  TMessageRecorder messages;
  std::atomic<std::int64_t> nowMs{DayStartMs};
};
