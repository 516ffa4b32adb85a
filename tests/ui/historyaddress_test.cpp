// A host whose address is edited keeps one history, and its history window marks where the address
// changed: the real edit, recorder and results database (in a temporary folder), then the window.

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <atomic>
#include <chrono>

#include "core/hostedit.h"
#include "core/tolvohosts.h"
#include "history/historyrecorder.h"
#include "ui/views/historychart.h"
#include "ui/views/historymarks.h"
#include "ui/views/historywindow.h"

namespace {

constexpr std::int64_t Now = 1'780'000'000'000 / 3'600'000 * 3'600'000;
constexpr std::int64_t EditedAt = Now - 20 * 60'000;

TEST(HistoryAddressChange, TheWindowMarksWhereTheEditedAddressTookOver) {
  QTemporaryDir dir;
  const std::string path = dir.filePath("history.sqlite").toStdString();
  std::atomic<std::int64_t> clock{Now - 3'600'000};
  TTolvoHosts hosts;
  {
    THistoryRecorderOptions options;
    options.nowMs = [&clock] { return clock.load(); };
    THistoryRecorder recorder(hosts.events(), options);
    std::unique_ptr<TTolvoHost> made = hosts.newHost();
    made->callingName = made->hostName = made->ipAddress = "127.0.0.2";
    TTolvoHost* host = made.get();
    hosts.appendHost(made);
    recorder.start(path);
    for (std::int64_t t = Now - 3'600'000; t < Now; t += 60'000) {
      if (t == EditedAt) {
        clock = EditedAt;
        applyHostEdit(hosts, *host, {"nas", "", "127.0.0.3", "2000", "10"});
      }
      hosts.events().echoResult(*host, {t, true, t < EditedAt ? 300 : 900});
    }
    clock = Now;
    ASSERT_TRUE(recorder.waitWritten(std::chrono::seconds(10)));
  }

  THistoryWindow window(path, {{hosts.hostAt(1)->runId, "nas", "127.0.0.3", "127.0.0.3"}},
                        [] { return Now; });
  window.showRange(THistoryWindow::Hour);
  ASSERT_EQ(window.chart->series().size(), 1u);
  const THistorySeries& shown = window.chart->series()[0];
  EXPECT_EQ(shown.echoes.size(), 60u);  // one history, before and after the edit
  ASSERT_EQ(shown.addressChanges.size(), 1u);
  EXPECT_EQ(shown.addressChanges[0], (THistoryAddressChange{EditedAt, "127.0.0.2", "127.0.0.3"}));
  EXPECT_EQ(addressChangeText(shown.addressChanges[0]),
            QStringLiteral("address 127.0.0.2 \u2192 127.0.0.3"));
  window.chart->grab();  // painted with the mark
}

}  // namespace
