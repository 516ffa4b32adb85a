// The host list saved to and loaded from the hosts file.

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QTemporaryDir>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>

#include "support/messagerecorder.h"
#include "support/testdata.h"
#include "core/tolvohosts.h"
#include "storage/hostlistfile.h"

namespace fs = std::filesystem;

namespace {

std::string fileText(const std::string& name) {
  std::ifstream in(name, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

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


// A file the program did not read whole is never written over: its bytes move aside, the message
// says where, and the format's own message (if any) comes first, unchanged.
TEST_F(HostsFileTest, AFileNotReadWholeIsKeptAsideAndTheMessageSaysWhere) {
  const std::string block = "NEW_HOST_START $$@@$$ \r\nHOSTNAME %STRING% h\r\nNEW_HOST_END $$@@$$ \r\n";
  const struct {
    std::string text;
    int hostsRead;
    std::string formatMessage;
  } cases[] = {
      {block + "NEW_HOST_END $$@@$$ \r\n" + block, 1, "Error loading hosts, HOST_END when hostOpen=FALSE"},
      {"some text\nthat is no hosts file\n", 0, ""},
      {std::string(10 * 1024 * 1024, 'a'), 0, ""},
      {block + "NEW_HOST_START $$@@$$ \r\nHOSTNAME %STRING% cut off\r\n", 1, ""},
  };
  for (const auto& c : cases) {
    TMessageRecorder recorder;
    write(c.text);
    TTolvoHosts loaded{clock};  // as at start-up: the hosts before the fault are taken
    loaded.regional = DayMonthYear;
    const THostsLoadReport report = loadHostList(loaded, file);
    EXPECT_FALSE(report.whole);
    EXPECT_EQ(loaded.hostCount(), c.hostsRead);
    ASSERT_EQ(report.keptAs.rfind(file + ".unreadable-", 0), 0u);
    std::vector<std::string> expected{"The hosts file \"" + file +
                                      "\" could not be read completely. So that nothing in it is lost, the "
                                      "original file has been moved to \"" + report.keptAs +
                                      "\"; the host list will be saved as a new \"" + file + "\"."};
    if (!c.formatMessage.empty()) expected.insert(expected.begin(), c.formatMessage);
    EXPECT_EQ(recorder.messages(), expected);
    ASSERT_TRUE(list.saveToFile(file));
    EXPECT_EQ(fileText(report.keptAs), c.text);
    fs::remove(report.keptAs);
  }
}

TEST_F(HostsFileTest, ReloadingADamagedFileKeepsTheRunningList) {
  TTolvoHost* running = add(list, "running");
  write("NEW_HOST_START $$@@$$ \r\nHOSTNAME %STRING% a\r\nNEW_HOST_END $$@@$$ \r\n"
        "NEW_HOST_END $$@@$$ \r\n");
  TMessageRecorder recorder;
  const THostsLoadReport report = loadHostList(list, file);
  EXPECT_FALSE(report.whole);
  ASSERT_EQ(list.hostCount(), 1);
  EXPECT_EQ(list.hostAt(1), running);
  // A whole file replaces it.
  write("NEW_HOST_START $$@@$$ \r\nHOSTNAME %STRING% b\r\nNEW_HOST_END $$@@$$ \r\n");
  EXPECT_TRUE(loadHostList(list, file).whole);
  ASSERT_EQ(list.hostCount(), 1);
  EXPECT_EQ(list.hostAt(1)->hostName, "b");
}

TEST_F(HostsFileTest, SavesWriteOverOnlyWhatTheyReadOrWroteAndNeverOverANonFile) {
  TMessageRecorder recorder;
  write("NEW_HOST_START $$@@$$ \r\nHOSTNAME %STRING% read\r\nNEW_HOST_END $$@@$$ \r\n# note\r\n");
  EXPECT_TRUE(loadHostList(list, file).whole);
  ASSERT_TRUE(list.saveToFile(file));
  ASSERT_TRUE(list.saveToFile(file));
  EXPECT_TRUE(recorder.messages().empty()) << "read whole, then written by the program: replaced";

  // Changed by someone else since, or never read (another name in the setting): moved aside first.
  write("edited by hand\n");
  const std::string other = dir.filePath("notes.txt").toStdString();
  std::ofstream(other) << "my notes\n";
  for (const std::string& name : {file, other}) {
    recorder.clear();
    const std::string before = fileText(name);
    ASSERT_TRUE(list.saveToFile(name));
    ASSERT_EQ(recorder.messages().size(), 1u);
    const std::string told = recorder.messages()[0];
    const std::string lead = "The file \"" + name + "\" was not read as a hosts file by this program, so it is "
                             "not written over: the original file has been moved to \"";
    ASSERT_EQ(told.rfind(lead, 0), 0u) << told;
    EXPECT_EQ(fileText(told.substr(lead.size(), told.find('"', lead.size()) - lead.size())), before);
  }

  // A FIFO or a device (through a link): neither read nor written, and said so at loading.
  const std::string fifo = dir.filePath("fifo").toStdString();
  const std::string link = dir.filePath("null-link").toStdString();
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  fs::create_symlink("/dev/null", link);
  for (const std::string& name : {fifo, link}) {
    recorder.clear();
    EXPECT_EQ(loadHostList(list, name).state, THostsFileState::notRegular);
    EXPECT_EQ(recorder.messages(), std::vector<std::string>{"The hosts file \"" + name +
                                                            "\" is not a regular file; it was not read and "
                                                            "the host list will not be saved there."});
    EXPECT_FALSE(list.saveToFile(name));
  }
  EXPECT_TRUE(fs::is_fifo(fifo) && fs::is_character_file("/dev/null") && fs::is_symlink(link));
}

// A file the user cannot read (as after a run under sudo: root's, mode 0600) is kept, not emptied.
// As root, the load and save run in a child that has become "nobody".
TEST_F(HostsFileTest, AFileTheUserCannotReadIsKeptAside) {
  const std::string original = "NEW_HOST_START $$@@$$ \r\nHOSTNAME %STRING% mine\r\nNEW_HOST_END $$@@$$ \r\n";
  write(original);
  const bool root = geteuid() == 0;
  ASSERT_EQ(chmod(file.c_str(), root ? 0600 : 0), 0);
  ASSERT_EQ(chmod(dir.path().toStdString().c_str(), 0777), 0);
  auto loadAndSave = [this] {
    const THostsLoadReport report = loadHostList(list, file);
    return report.state == THostsFileState::unopenable && !report.keptAs.empty() && list.saveToFile(file);
  };
  const pid_t child = root ? fork() : 0;
  if (root && child == 0) _exit(setgid(65534) == 0 && setuid(65534) == 0 && loadAndSave() ? 0 : 1);
  int status = 0;
  ASSERT_TRUE(root ? waitpid(child, &status, 0) == child && status == 0 : loadAndSave());
  int kept = 0;
  for (const auto& entry : fs::directory_iterator(dir.path().toStdString())) {
    if (entry.path().string().rfind(file + ".unreadable-", 0) != 0) continue;
    ++kept;
    chmod(entry.path().c_str(), 0600);
    EXPECT_EQ(fileText(entry.path().string()), original);
  }
  EXPECT_EQ(kept, 1);
  EXPECT_EQ(fileText(file), "") << "the new file holds the list as loaded: empty";
}

TEST_F(HostsFileTest, LoadingClampsTheTimeoutAndClearsLeftoversOfAKilledSave) {
  std::string text;
  for (const char* timeout : {"5", "120000", "1500"})
    text += "NEW_HOST_START $$@@$$ \r\nTIMEOUT %INTEGER% " + std::string(timeout) + "\r\nNEW_HOST_END $$@@$$ \r\n";
  write(text);
  std::ofstream(file + ".saving-Zq09xY") << "NEW_HOST_START";
  std::ofstream(file + ".backup") << "not ours";
  ASSERT_TRUE(loadHostList(list, file).whole);
  ASSERT_EQ(list.hostCount(), 3);
  EXPECT_EQ(list.hostAt(1)->timeout, MinTimeoutMs);
  EXPECT_EQ(list.hostAt(2)->timeout, MaxTimeoutMs);
  EXPECT_EQ(list.hostAt(3)->timeout, 1500);
  EXPECT_FALSE(fs::exists(file + ".saving-Zq09xY"));
  EXPECT_TRUE(fs::exists(file + ".backup"));
}

}  // namespace
