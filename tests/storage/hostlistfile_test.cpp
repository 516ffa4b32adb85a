// The host list saved to and loaded from the hosts file.

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <fstream>
#include <iterator>
#include <memory>

#include "support/testdata.h"
#include "core/tolvohosts.h"

namespace {

const TRegionalFormat DayMonthYear{"%-d.%-m.%Y", "%-H:%M:%S"};

class HostsFileTest : public ::testing::Test {
 protected:
  TManualClock clock{encodeDateTime(2026, 12, 8, 8, 0, 0)};
  TTolvoHosts list{clock};
  QTemporaryDir dir;
  std::string file;

  void SetUp() override {
    ASSERT_TRUE(dir.isValid());
    file = dir.filePath("tolvo_hosts.cfg").toStdString();
    list.regional = DayMonthYear;
  }

  TTolvoHost* add(TTolvoHosts& into, const std::string& name) {
    auto host = into.newHost();
    host->hostName = name;
    host->callingName = name;
    host->ipAddress = "127.0.0.1";
    TTolvoHost* raw = host.get();
    return into.appendHost(host) ? raw : nullptr;
  }

  std::string contents() const {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }
  void write(const std::string& text) const {
    std::ofstream(file, std::ios::binary) << text;
  }
};

TEST_F(HostsFileTest, WritesTheExampleHostByteForByte) {
  TTolvoHost* host = add(list, "router1");
  host->ipAddress = "10.0.0.1";
  host->timeout = 2000;
  host->interval = 4;
  host->succeededCount = 120;
  host->failedCount = 3;
  host->lastSuccess.at = encodeDateTime(2026, 12, 7, 9, 5, 3);
  host->lastFailure.at = encodeDateTime(2026, 12, 6, 23, 59, 58);
  host->lastSentAt = host->lastSuccess.at;
  ASSERT_TRUE(list.saveToFile(file));
  EXPECT_EQ(contents(), readTestData("router1.hosts"));

  list.clearHosts();
  ASSERT_TRUE(list.saveToFile(file));
  EXPECT_EQ(contents(), "") << "an empty list is an empty file";
}

TEST_F(HostsFileTest, RoundTripKeepsTheSevenFieldsAndStartsTheRestAfresh) {
  TTolvoHost* a = add(list, "gateway one");
  a->callingName = "Main router of the office";
  a->ipAddress = "127.0.0.2";
  a->timeout = 1500;
  a->interval = 9;
  a->succeededCount = 42;
  a->failedCount = 7;
  a->lastSuccess.at = clock.now();
  a->addResult({true, true, clock.now(), 3});
  add(list, "second")->ipAddress = "127.0.0.3";
  ASSERT_TRUE(list.saveToFile(file));

  clock.advanceSeconds(3600);
  TTolvoHosts loaded(clock);
  loaded.regional = DayMonthYear;
  ASSERT_TRUE(loaded.loadFromFile(file));
  ASSERT_EQ(loaded.hostCount(), 2);
  const TTolvoHost* b = loaded.hostAt(1);
  EXPECT_EQ(b->hostName, "gateway one");
  EXPECT_EQ(b->callingName, "Main router of the office");
  EXPECT_EQ(b->ipAddress, "127.0.0.2");
  EXPECT_EQ(b->timeout, 1500);
  EXPECT_EQ(b->interval, 9);
  EXPECT_EQ(b->succeededCount, 42);
  EXPECT_EQ(b->failedCount, 7);
  EXPECT_DOUBLE_EQ(b->lastSuccess.at, 0);
  EXPECT_DOUBLE_EQ(b->lastSentAt, clock.now()) << "last sent is the moment of loading";
  EXPECT_FALSE(b->historyAt(500).used);
  EXPECT_EQ(b->getStatus(), hsUnknown) << "counters without a result in this run";
  EXPECT_EQ(loaded.hostAt(2)->ipAddress, "127.0.0.3");
}

TEST_F(HostsFileTest, ABlockWithoutTimeoutAndIntervalGetsTheListDefaults) {
  write("NEW_HOST_START $$@@$$ \r\nHOSTNAME %STRING% bare\r\nNEW_HOST_END $$@@$$ \r\n");
  ASSERT_TRUE(list.loadFromFile(file));
  ASSERT_EQ(list.hostCount(), 1);
  EXPECT_EQ(list.hostAt(1)->timeout, 2000);
  EXPECT_EQ(list.hostAt(1)->interval, 4);
}

TEST_F(HostsFileTest, SavingCompactsTheSlots) {
  for (int i = 1; i <= 7; ++i) add(list, "h" + std::to_string(i));
  for (int slot : {1, 2, 4, 5, 6}) list.deleteHost(list.hostAt(slot));
  ASSERT_TRUE(list.saveToFile(file));
  ASSERT_TRUE(list.loadFromFile(file));
  ASSERT_EQ(list.hostCount(), 2);
  EXPECT_EQ(list.hostAt(1)->hostName, "h3");
  EXPECT_EQ(list.hostAt(2)->hostName, "h7");
}

TEST_F(HostsFileTest, AFileWrittenUnderAnotherDateFormatLoadsEveryHost) {
  TTolvoHosts other(clock);
  other.regional = TRegionalFormat{"%m/%d/%y", "%I:%M:%S %p"};
  for (const char* name : {"one", "two", "three"}) {
    TTolvoHost* host = add(other, name);
    host->lastSuccess.at = encodeDateTime(2026, 12, 31, 13, 5, 3);
  }
  ASSERT_TRUE(other.saveToFile(file));
  ASSERT_NE(contents().find("12/31/26"), std::string::npos);

  list.loadFromFile(file);
  ASSERT_EQ(list.hostCount(), 3);
  EXPECT_EQ(list.hostAt(3)->hostName, "three");
}

TEST_F(HostsFileTest, LoadingReplacesTheListAndAMissingFileLeavesIt) {
  add(list, "kept-in-file");
  ASSERT_TRUE(list.saveToFile(file));
  list.clearHosts();
  add(list, "old1");
  add(list, "old2");
  ASSERT_TRUE(list.loadFromFile(file));
  ASSERT_EQ(list.hostCount(), 1);
  EXPECT_EQ(list.hostAt(1)->hostName, "kept-in-file");

  EXPECT_FALSE(list.loadFromFile(dir.filePath("missing.cfg").toStdString()));
  ASSERT_EQ(list.hostCount(), 1);
  EXPECT_EQ(list.hostAt(1)->hostName, "kept-in-file");
}

TEST_F(HostsFileTest, HostsBeyondAFullListAreDiscardedAndLoadingGoesOn) {
  std::string text;
  for (int i = 1; i <= 257; ++i)
    text += "NEW_HOST_START $$@@$$ \r\nHOSTNAME %STRING% h" + std::to_string(i) +
            "\r\nNEW_HOST_END $$@@$$ \r\n";
  write(text + "# the end\r\n");
  EXPECT_TRUE(list.loadFromFile(file));
  EXPECT_EQ(list.hostCount(), 255);
  EXPECT_EQ(list.hostAt(255)->hostName, "h255");
}

}  // namespace
