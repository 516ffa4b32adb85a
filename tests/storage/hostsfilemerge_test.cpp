// A hosts file another program changed while this one ran: merged into the list, never saved over
// or moved aside.

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <functional>

#include "core/tolvohosts.h"
#include "storage/hostsfilefollower.h"
#include "storage/hostsfilemerge.h"

namespace {

const TRegionalFormat DayMonthYear{"%-d.%-m.%Y", "%-H:%M:%S"};

void put(TTolvoHosts& list, const std::string& address, int succeeded = 0) {
  auto host = list.newHost();
  host->hostName = host->callingName = host->ipAddress = address;
  host->succeededCount = succeeded;
  ASSERT_TRUE(list.appendHost(host));
}

std::vector<std::string> addresses(const TTolvoHosts& list) {
  std::vector<std::string> out;
  for (int slot = 1; slot <= TTolvoHosts::MaxHosts; ++slot)
    if (const TTolvoHost* host = list.hostAt(slot)) out.push_back(host->ipAddress + "/" + std::to_string(host->succeededCount));
  return out;
}

// What sorvelo --add does, in a process of its own (what a program read or wrote is known per
// process): load, change, save. True when it all worked.
bool inOtherProgram(const std::string& file, const std::function<void(TTolvoHosts&)>& change) {
  const pid_t child = fork();
  if (child == 0) {
    TTolvoHosts command;
    command.regional = DayMonthYear;
    const bool loaded = command.loadFromFile(file);
    change(command);
    _exit(loaded && command.saveToFile(file) ? 0 : 1);
  }
  int status = 0;
  return child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// Both sides changed since the file was read: the other program removed .2 and added .4, this one
// added .3 and removed .9. Every change survives, and .1 keeps this program's count.
TEST(HostsFileMerge, BothSidesChangesSurviveTheSave) {
  TManualClock clock{encodeDateTime(2026, 12, 8, 8, 0, 0)};
  QTemporaryDir dir;
  const std::string file = dir.filePath("hosts.cfg").toStdString();
  TTolvoHosts monitor{clock};
  monitor.regional = DayMonthYear;
  for (const char* address : {"127.0.0.1", "127.0.0.2", "127.0.0.9"}) put(monitor, address);
  ASSERT_TRUE(monitor.saveToFile(file));
  monitor.hostAt(1)->succeededCount = 50;
  put(monitor, "127.0.0.3");
  monitor.deleteHost(monitor.hostAt(3));

  ASSERT_TRUE(inOtherProgram(file, [](TTolvoHosts& command) {
    command.deleteHost(command.hostAt(2));
    put(command, "127.0.0.4", 7);
  }));

  ASSERT_TRUE(monitor.saveToFile(file));
  EXPECT_EQ(addresses(monitor), (std::vector<std::string>{"127.0.0.1/50", "127.0.0.4/7", "127.0.0.3/0"}));
  TTolvoHosts reread{clock};
  reread.regional = DayMonthYear;
  ASSERT_TRUE(reread.loadFromFile(file));
  EXPECT_EQ(addresses(reread), addresses(monitor));
  for (const auto& entry : std::filesystem::directory_iterator(dir.path().toStdString()))
    EXPECT_EQ(entry.path().filename(), "hosts.cfg");  // nothing moved aside

  // The follower takes the next change by itself, and ignores the program's own save.
  int taken = 0;
  THostsFileFollower follower(monitor, file, [&taken](const THostsMergeResult&) { ++taken; });
  follower.check();
  EXPECT_EQ(taken, 0);
  ASSERT_TRUE(inOtherProgram(file, [](TTolvoHosts& command) { put(command, "127.0.0.5"); }));
  follower.check();
  EXPECT_EQ(taken, 1);
  EXPECT_EQ(monitor.hostCount(), 4);
}

}  // namespace
