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
  EXPECT_EQ(b->getStatus(), hsDown) << "counters without history";
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
  std::string binary;
  for (int i = 0; i < 5000; ++i) binary += static_cast<char>((i * 131) % 256);
  const struct {
    std::string text;
    int hostsRead;
    const char* formatMessage;
  } cases[] = {
      {block + block + "NEW_HOST_START $$@@$$ \r\nHOSTNAME %STRING% x\r\n" + block, 2,
       "Error loading hosts, HOST_START when hostOpen=TRUE"},
      {block + "NEW_HOST_END $$@@$$ \r\n" + block, 1, "Error loading hosts, HOST_END when hostOpen=FALSE"},
      {"just some text\nthat is no hosts file\n", 0, nullptr},
      {std::string(10 * 1024 * 1024, 'a'), 0, nullptr},
      {binary, 0, nullptr},
      {block + "NEW_HOST_START $$@@$$ \r\nHOSTNAME %STRING% cut off\r\n", 1, nullptr},
      {block + "HOSTNAME %STRING% between blocks\r\n", 1, nullptr},
  };
  for (const auto& c : cases) {
    TMessageRecorder recorder;
    write(c.text);
    const THostsLoadReport report = loadHostList(list, file);
    const std::string what = c.text.substr(0, 60);
    EXPECT_FALSE(report.whole) << what;
    EXPECT_EQ(list.hostCount(), c.hostsRead) << what;
    ASSERT_NE(report.keptAs.find(file + ".unreadable-"), std::string::npos) << what;
    EXPECT_FALSE(fs::exists(file)) << what;
    const std::vector<std::string> told = recorder.messages();
    ASSERT_EQ(told.size(), c.formatMessage ? 2u : 1u) << what;
    if (c.formatMessage) EXPECT_EQ(told[0], c.formatMessage);
    EXPECT_EQ(told.back(), "The hosts file \"" + file +
                               "\" could not be read completely. So that nothing in it is lost, the "
                               "original file has been moved to \"" + report.keptAs +
                               "\"; the host list will be saved as a new \"" + file + "\".");
    ASSERT_TRUE(list.saveToFile(file));
    EXPECT_EQ(fileText(report.keptAs), c.text) << what;
    fs::remove(report.keptAs);
  }
}

TEST_F(HostsFileTest, SavesWriteOverOnlyWhatTheyReadOrWroteAndNeverOverANonFile) {
  TMessageRecorder recorder;
  // A file read whole, or written by the program, is replaced in place, silently.
  write("NEW_HOST_START $$@@$$ \r\nHOSTNAME %STRING% read\r\nNEW_HOST_END $$@@$$ \r\n# note\r\n");
  EXPECT_TRUE(loadHostList(list, file).whole);
  ASSERT_TRUE(list.saveToFile(file));
  add(list, "second");
  ASSERT_TRUE(list.saveToFile(file));
  EXPECT_TRUE(recorder.messages().empty());
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path().toStdString()), fs::directory_iterator()), 1);

  // Changed by someone else since, or never read (another name in the setting): moved aside first.
  write("edited by hand\n");
  const std::string other = dir.filePath("notes.txt").toStdString();
  std::ofstream(other, std::ios::binary) << "my notes\n";
  for (const std::string& name : {file, other}) {
    recorder.clear();
    ASSERT_TRUE(list.saveToFile(name));
    const std::vector<std::string> told = recorder.messages();
    ASSERT_EQ(told.size(), 1u);
    const std::string lead = "The file \"" + name + "\" was not read as a hosts file by this program, so it is "
                             "not written over: the original file has been moved to \"";
    ASSERT_EQ(told[0].rfind(lead, 0), 0u) << told[0];
    const std::string keptAs = told[0].substr(lead.size(), told[0].find('"', lead.size()) - lead.size());
    EXPECT_EQ(fileText(keptAs), name == file ? "edited by hand\n" : "my notes\n");
    EXPECT_NE(fileText(name).find("HOSTNAME %STRING% second"), std::string::npos);
  }

  // A device or a FIFO, directly or through a link: neither read nor written, and said so at loading.
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
  EXPECT_TRUE(fs::is_fifo(fifo));
  EXPECT_TRUE(fs::is_character_file("/dev/null"));
  EXPECT_TRUE(fs::is_symlink(link));
}

// A file the user cannot read (here as after a run under sudo: root's, mode 0600) is kept, not
// emptied. As root the load and save run in a child that has become "nobody".
TEST_F(HostsFileTest, AFileTheUserCannotReadIsKeptAside) {
  const std::string original = "NEW_HOST_START $$@@$$ \r\nHOSTNAME %STRING% mine\r\nNEW_HOST_END $$@@$$ \r\n";
  write(original);
  ASSERT_EQ(chmod(file.c_str(), geteuid() == 0 ? 0600 : 0), 0);
  auto loadAndSave = [this] {
    TMessageRecorder recorder;
    const THostsLoadReport report = loadHostList(list, file);
    return report.state == THostsFileState::unopenable && !report.keptAs.empty() &&
           list.saveToFile(file) && recorder.messages().size() == 1;
  };
  if (geteuid() == 0) {
    ASSERT_EQ(chmod(dir.path().toStdString().c_str(), 0777), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) _exit(setgid(65534) == 0 && setuid(65534) == 0 && loadAndSave() ? 0 : 1);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  } else {
    ASSERT_TRUE(loadAndSave());
  }
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
  write("NEW_HOST_START $$@@$$ \r\nTIMEOUT %INTEGER% 5\r\nNEW_HOST_END $$@@$$ \r\n"
        "NEW_HOST_START $$@@$$ \r\nTIMEOUT %INTEGER% 120000\r\nNEW_HOST_END $$@@$$ \r\n"
        "NEW_HOST_START $$@@$$ \r\nTIMEOUT %INTEGER% 1500\r\nNEW_HOST_END $$@@$$ \r\n");
  const std::string leftover = file + ".saving-Zq09xY";
  const std::string notOurs = file + ".backup";
  std::ofstream(leftover) << "NEW_HOST_START";
  std::ofstream(notOurs) << "keep";
  ASSERT_TRUE(loadHostList(list, file).whole);
  ASSERT_EQ(list.hostCount(), 3);
  EXPECT_EQ(list.hostAt(1)->timeout, MinTimeoutMs);
  EXPECT_EQ(list.hostAt(2)->timeout, MaxTimeoutMs);
  EXPECT_EQ(list.hostAt(3)->timeout, 1500);
  EXPECT_FALSE(fs::exists(leftover));
  EXPECT_TRUE(fs::exists(notOurs));
}

}  // namespace
