#include <gtest/gtest.h>

#include <sys/resource.h>
#include <unistd.h>

#include <fcntl.h>
#include <sys/stat.h>

#include <chrono>
#include <csignal>
#include <future>
#include <filesystem>
#include <functional>
#include <stdexcept>

#include "config/programpath.h"
#include "config/settings.h"
#include "support/messagerecorder.h"
#include "xdgsandbox.h"

namespace {

class SettingsTest : public ::testing::Test {
 protected:
  void SetUp() override { settings = configRecord{}; }

  void writeSettingsFile(const std::string& contents) {
    std::filesystem::create_directories(std::filesystem::path(settingsFilePath()).parent_path());
    writeWholeFile(settingsFilePath(), contents);
  }

  // What the user would expect the default files to sit beside.
  static std::string expectedDataDirectory() {
    const std::string dir = programDirectory();
    return access(dir.c_str(), W_OK) == 0 ? dir : std::string(std::getenv("XDG_DATA_HOME")) + "/Sorvelo";
  }

  static std::string saveError() {
    try {
      saveSettings();
    } catch (const std::runtime_error& e) {
      return e.what();
    }
    return "no error";
  }

  TXdgSandbox sandbox;
};

TEST_F(SettingsTest, FileLivesUnderTheConfigHome) {
  EXPECT_EQ(settingsFilePath(), sandbox.configHome() + "/Sorvelo/Sorvelo.conf");
  const char* home = std::getenv("HOME");
  const std::string savedHome = home ? home : "";
  unsetenv("XDG_CONFIG_HOME");
  setenv("HOME", (sandbox.root + "/home").c_str(), 1);
  EXPECT_EQ(settingsFilePath(), sandbox.root + "/home/.config/Sorvelo/Sorvelo.conf");
  setenv("XDG_CONFIG_HOME", "", 1);
  EXPECT_EQ(settingsFilePath(), sandbox.root + "/home/.config/Sorvelo/Sorvelo.conf");
  setenv("XDG_CONFIG_HOME", "relative/config", 1);
  EXPECT_EQ(settingsFilePath(), sandbox.root + "/home/.config/Sorvelo/Sorvelo.conf");
  if (home) setenv("HOME", savedHome.c_str(), 1);
}

TEST_F(SettingsTest, DefaultsWithoutAFile) {
  loadSettings();
  EXPECT_TRUE(settings.general_log_enabled);
  EXPECT_FALSE(settings.host_log_enabled);
  EXPECT_EQ(settings.general_log_filename, expectedDataDirectory() + "/general_log.txt");
  EXPECT_EQ(settings.hosts_file_name, expectedDataDirectory() + "/tolvo_hosts.cfg");
  EXPECT_EQ(settings.ping_speed, 1);
  EXPECT_FALSE(settings.auto_startup);
  EXPECT_EQ(settings.firsttime, 1);
  EXPECT_EQ(settings.logtimestampinterval, 60);
  EXPECT_EQ(settings.checkversion, 0);
  // Loading writes nothing.
  EXPECT_FALSE(std::filesystem::exists(settingsFilePath()));
}

TEST_F(SettingsTest, StoredTextsFollowTheReadingRules) {
  const struct {
    const char* lines;
    std::function<bool()> holds;
    const char* rule;
  } cases[] = {
      {"[pinging]\nping_speed=abc\n", [] { return settings.ping_speed == 1; }, "not a number: default"},
      {"[pinging]\nping_speed=3\n", [] { return settings.ping_speed == 3; }, "decimal"},
      {"[pinging]\nping_speed= -2 \n", [] { return settings.ping_speed == -2; }, "sign, blanks around"},
      {"[pinging]\nping_speed=0x10\n", [] { return settings.ping_speed == 1; }, "no hexadecimal"},
      {"[pinging]\nping_speed=$10\n", [] { return settings.ping_speed == 1; }, "no hexadecimal"},
      {"[pinging]\nping_speed=2147483648\n", [] { return settings.ping_speed == 1; }, "beyond int32"},
      {"[pinging]\nping_speed=\n", [] { return settings.ping_speed == 1; }, "empty number: default"},
      {"[logging]\ngeneral_log_enabled=7\n", [] { return settings.general_log_enabled; }, "7 is true"},
      {"[logging]\ngeneral_log_enabled=0\n", [] { return !settings.general_log_enabled; }, "0 is false"},
      {"[logging]\ngeneral_log_enabled=x\n", [] { return settings.general_log_enabled; }, "x: default true"},
      {"[logging]\nhost_log_enabled=x\n", [] { return !settings.host_log_enabled; }, "x: default false"},
      {"[logging]\nhost_log_enabled=-1\n", [] { return settings.host_log_enabled; }, "-1 is true"},
      {"[logging]\ngeneral_log_filename=\n", [] { return settings.general_log_filename.empty(); },
       "empty text stays empty"},
      {"[hosts]\nhosts_file_name = /my hosts.cfg \t\n",
       [] { return settings.hosts_file_name == "/my hosts.cfg"; }, "blanks around a text ignored"},
      {"[general]\nfirsttime=+0\n", [] { return settings.firsttime == 0; }, "plus sign"},
      {"[GENERAL]\nCheckVersion=2\n", [] { return settings.checkversion == 2; }, "names ignore case"},
      {"[general]\ncheckversion=2\n[pinging]\ncheckversion=1\n", [] { return settings.checkversion == 2; },
       "a value belongs to its own section"},
      {"checkversion=2\n[general]\n", [] { return settings.checkversion == 0; }, "outside any section"},
      {"[general]\r\nlogtimestampinterval=15\r\n", [] { return settings.logtimestampinterval == 15; },
       "CR LF lines"},
      {"[general]\r\r\nlogtimestampinterval=15\r\r\r\n[pinging]\rping_speed=3\r",
       [] { return settings.logtimestampinterval == 15 && settings.ping_speed == 3; },
       "runs of CRs and lone CRs end lines"},
  };
  for (const auto& c : cases) {
    writeSettingsFile(c.lines);
    settings = configRecord{};
    loadSettings();
    EXPECT_TRUE(c.holds()) << c.rule << ": " << c.lines;
  }
}

TEST_F(SettingsTest, SavedValuesLoadBackAndUseTheTextForms) {
  const configRecord chosen{false, true, "/var/log/sorvelo log.txt", "/srv/hosts;1.cfg", 3, true, 0, -5, 2};
  settings = chosen;
  saveSettings();
  const std::string text = readWholeFile(settingsFilePath());
  for (const char* line : {"[logging]\n", "general_log_enabled=0\n", "host_log_enabled=1\n", "[hosts]\n",
                           "[pinging]\n", "ping_speed=3\n", "[general]\n", "firsttime=0\n",
                           "logtimestampinterval=-5\n", "checkversion=2\n"})
    EXPECT_NE(text.find(line), std::string::npos) << line;

  settings = configRecord{};
  loadSettings();
  EXPECT_EQ(settings.general_log_enabled, chosen.general_log_enabled);
  EXPECT_EQ(settings.host_log_enabled, chosen.host_log_enabled);
  EXPECT_EQ(settings.general_log_filename, chosen.general_log_filename);
  EXPECT_EQ(settings.hosts_file_name, chosen.hosts_file_name);
  EXPECT_EQ(settings.ping_speed, chosen.ping_speed);
  EXPECT_EQ(settings.auto_startup, chosen.auto_startup);
  EXPECT_EQ(settings.firsttime, chosen.firsttime);
  EXPECT_EQ(settings.logtimestampinterval, chosen.logtimestampinterval);
  EXPECT_EQ(settings.checkversion, chosen.checkversion);
}

TEST_F(SettingsTest, SaveCreatesTheMissingDirectoryAndKeepsForeignLines) {
  ASSERT_FALSE(std::filesystem::exists(sandbox.configHome()));
  loadSettings();
  saveSettings();
  EXPECT_TRUE(std::filesystem::is_regular_file(settingsFilePath()));

  writeSettingsFile("; kept comment\n[window]\nleft=10\n\n[pinging]\nping_speed=2\nextra=yes\n");
  loadSettings();
  settings.ping_speed = 0;
  saveSettings();
  const std::string text = readWholeFile(settingsFilePath());
  for (const char* kept : {"; kept comment\n", "[window]\nleft=10\n", "extra=yes\n", "ping_speed=0\n"})
    EXPECT_NE(text.find(kept), std::string::npos) << kept << " in\n" << text;
  EXPECT_EQ(text.find("ping_speed=2"), std::string::npos);
  // Saving again changes nothing.
  saveSettings();
  EXPECT_EQ(readWholeFile(settingsFilePath()), text);
}

// A full disk, made with a file size limit (which also holds for root): the write of the new file
// fails, the error names the first value, and the old file is left as it was.
TEST_F(SettingsTest, FailedSaveThrowsAndLeavesTheOldFileWhole) {
  loadSettings();
  saveSettings();
  const std::string before = readWholeFile(settingsFilePath());
  settings.ping_speed = 2;

  rlimit saved{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  rlimit tiny = saved;
  tiny.rlim_cur = 16;
  const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &tiny), 0);
  const std::string error = saveError();
  setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, oldHandler);

  EXPECT_EQ(error, "Failed to set data for 'general_log_enabled'");
  EXPECT_EQ(readWholeFile(settingsFilePath()), before);
  const auto entries = std::distance(std::filesystem::directory_iterator(sandbox.configHome() + "/Sorvelo"),
                                     std::filesystem::directory_iterator());
  EXPECT_EQ(entries, 1) << "a temporary file was left behind";
}

TEST_F(SettingsTest, ValueThatCannotBeOneLineIsRefusedByName) {
  loadSettings();
  saveSettings();
  const std::string before = readWholeFile(settingsFilePath());
  settings.hosts_file_name = "/tmp/evil\n[general]\nfirsttime=1";
  EXPECT_EQ(saveError(), "Failed to set data for 'hosts_file_name'");
  EXPECT_EQ(readWholeFile(settingsFilePath()), before);
}

TEST_F(SettingsTest, DirectoryInTheWayIsReported) {
  std::filesystem::create_directories(sandbox.configHome());
  writeWholeFile(sandbox.configHome() + "/Sorvelo", "a file where the directory belongs");
  loadSettings();
  EXPECT_EQ(saveError(), "Failed to set data for 'general_log_enabled'");
}

TEST_F(SettingsTest, DamagedFilesNeverStopTheLoad) {
  std::string binary = "[pinging]\nping_speed=3\n";
  for (int i = 0; i < 4096; ++i) binary += static_cast<char>((i * 131) % 256);
  binary += "\n[general]\nfirsttime=0\n";
  const std::string hugeLine = "[pinging]\nping_speed=" + std::string(200000, '7') + "\n[general]\nfirsttime=0\n";
  const std::string hugeFile = "[pinging]\nping_speed=3\n" + std::string(5 * 1024 * 1024, '\0');

  writeSettingsFile(binary);
  loadSettings();
  EXPECT_EQ(settings.ping_speed, 3);

  writeSettingsFile(hugeLine);
  settings = configRecord{};
  loadSettings();
  EXPECT_EQ(settings.ping_speed, 1);
  EXPECT_EQ(settings.firsttime, 0);

  writeSettingsFile(hugeFile);
  settings = configRecord{};
  loadSettings();
  EXPECT_EQ(settings.ping_speed, 1);
  // A file that could not be read is replaced by a sound one.
  saveSettings();
  settings = configRecord{};
  loadSettings();
  EXPECT_EQ(settings.ping_speed, 1);
  EXPECT_LT(readWholeFile(settingsFilePath()).size(), 4096u);
}

TEST(ProgramPath, NamesThisProgramAndItsDirectory) {
  const std::string program = programFilePath();
  ASSERT_FALSE(program.empty());
  EXPECT_TRUE(std::filesystem::equivalent(program, "/proc/self/exe"));
  const std::string directory = programDirectory();
  EXPECT_NE(directory.back(), '/');
  EXPECT_EQ(directory + "/" + std::filesystem::path(program).filename().string(), program);
}

TEST(ProgramPath, DataGoesToTheUsersOwnDirectoryWhenTheProgramsIsNotWritable) {
  TXdgSandbox sandbox;
  EXPECT_EQ(dataDirectoryFor(sandbox.root), sandbox.root);
  const std::string own = sandbox.dataHome() + "/Sorvelo";
  EXPECT_EQ(dataDirectoryFor(sandbox.root + "/no/such/directory"), own);
  // An installed program keeps its files in the user's folder even where it could write (root).
  EXPECT_EQ(dataDirectoryFor("/usr/bin"), own);
  EXPECT_EQ(dataDirectoryFor("/opt/sorvelo"), own);
  EXPECT_TRUE(std::filesystem::is_directory(own));
}

}  // namespace

namespace {

TEST_F(SettingsTest, FurtherSectionsAreKeptAndWrittenBesideTheNineValues) {
  writeSettingsFile("[history]\nraw_days=9\n[alerts]\nlost_to_down=3\n");
  loadSettings();
  EXPECT_EQ(extraSetting("history", "raw_days"), std::optional<std::string>("9"));
  EXPECT_EQ(extraSetting("metrics", "port"), std::nullopt);
  setExtraSetting("history", "raw_days", "14");
  setExtraSetting("metrics", "port", "10427");
  EXPECT_EQ(extraSetting("history", "raw_days"), std::optional<std::string>("14"));
  saveSettings();
  loadSettings();
  EXPECT_EQ(extraSetting("history", "raw_days"), std::optional<std::string>("14"));
  EXPECT_EQ(extraSetting("alerts", "lost_to_down"), std::optional<std::string>("3"));
  EXPECT_EQ(extraSetting("metrics", "port"), std::optional<std::string>("10427"));
}

// Whatever the rewrites, a line end of several CRs never turns into part of a value. The start also
// removes what a save killed before its rename left ("<name>.saving-XXXXXX"), and nothing else.
TEST_F(SettingsTest, RewritingKeepsValuesWhereTheyWereAndLeftoversGo) {
  writeSettingsFile("[general]\r\r\nfirsttime=0\r\r\r\n\r\n[pinging]\r\r\nping_speed=3\r\r\n");
  const std::string path = settingsFilePath();
  for (const std::string& name : {path + ".saving-a1B2c3", path + ".backup", path + ".saving-a1B2c3~"})
    writeWholeFile(name, "x");
  for (int round = 0; round < 3; ++round) {
    settings = configRecord{};
    loadSettings();
    ASSERT_EQ(settings.ping_speed, 3) << round;
    ASSERT_EQ(settings.firsttime, 0) << round;
    saveSettings();
  }
  EXPECT_EQ(readWholeFile(path).find('\r'), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(path + ".saving-a1B2c3"));
  EXPECT_TRUE(std::filesystem::exists(path + ".backup") && std::filesystem::exists(path + ".saving-a1B2c3~"));
}

// A FIFO, an over-large file and an over-long line give the defaults as before, but the user is told;
// a FIFO never hangs the start (bounded here: a hung load is released by opening the FIFO's other end).
TEST_F(SettingsTest, FilesThatCannotBeReadAreToldAndNeverHang) {
  TMessageRecorder recorder;
  writeSettingsFile("");
  std::filesystem::remove(settingsFilePath());
  ASSERT_EQ(mkfifo(settingsFilePath().c_str(), 0600), 0);
  auto loading = std::async(std::launch::async, [] { loadSettings(); });
  const bool finished = loading.wait_for(std::chrono::seconds(5)) == std::future_status::ready;
  if (!finished) close(open(settingsFilePath().c_str(), O_WRONLY | O_NONBLOCK));
  loading.wait();
  EXPECT_TRUE(finished) << "loading a FIFO waited for a writer";
  EXPECT_EQ(settings.ping_speed, 1);
  std::filesystem::remove(settingsFilePath());

  writeSettingsFile("[pinging]\nping_speed=3\n" + std::string(5 * 1024 * 1024, '#'));
  loadSettings();
  writeSettingsFile("[general]\nx=" + std::string(70000, 'x') + "\n[pinging]\nping_speed=2\n");
  loadSettings();
  EXPECT_EQ(settings.ping_speed, 2);
  const std::vector<std::string> told = recorder.messages();
  ASSERT_EQ(told.size(), 3u);
  const std::string named = "The settings file \"" + settingsFilePath() + "\" ";
  EXPECT_EQ(told[0], named + "is not a regular file and was not read; the default settings are used.");
  EXPECT_EQ(told[1], named + "is larger than 4 MiB and was not read; the default settings are used.");
  EXPECT_NE(told[2].find("1 line(s) longer than 64 KiB"), std::string::npos) << told[2];
  // The over-long line is kept as it was.
  saveSettings();
  EXPECT_NE(readWholeFile(settingsFilePath()).find("x=" + std::string(70000, 'x') + "\n"), std::string::npos);
}

}  // namespace
