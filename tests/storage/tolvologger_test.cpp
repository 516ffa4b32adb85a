// The general log: exact lines, the enable flags, and entries that cannot be written.

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "config/programpath.h"
#include "config/settings.h"
#include "storage/tolvologger.h"

namespace {

const std::string AppPath = "C:\\Apps\\hostmon.exe";

std::string fileText(const std::string& name) {
  std::ifstream in(name, std::ios::binary);
  std::stringstream all;
  all << in.rdbuf();
  return all.str();
}

class LoggerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    saved = settings;
    settings.general_log_enabled = true;
    settings.host_log_enabled = true;
    settings.general_log_filename = logName;
  }
  void TearDown() override { settings = saved; }
  void at(int hour, int minute, int second) {
    clock.set(encodeDateTime(2026, 12, 7, hour, minute, second));
  }

  configRecord saved;
  QTemporaryDir dir;
  std::string logName = dir.path().toStdString() + "/general_log.txt";
  TManualClock clock;
  TTolvoLogger logger{clock, AppPath};
};

TEST_F(LoggerTest, WritesTheDocumentedExampleLines) {
  at(9, 5, 3);
  logger.logProgram(true);
  at(9, 5, 4);
  logger.logConnectionStatus(1);
  at(10, 5, 4);
  logger.logTimestamp("7.12.2026 9:05:03");
  at(10, 15, 30);
  logger.logHostStatus("router1", "10.0.0.1", 2);
  EXPECT_EQ(fileText(logName),
            "7;12;2026;9;5;3;PROGRAM;STARTUP;;;C:\\Apps\\hostmon.exe;;;;;1.0.5.1.release\r\n"
            "7;12;2026;9;5;4;CONNECTION_STATUS;NETWORK;UP;;C:\\Apps\\hostmon.exe;;;;;1.0.5.1.release\r\n"
            "7;12;2026;10;5;4;PROGRAM;TIMESTAMP;7.12.2026 9:05:03;;C:\\Apps\\hostmon.exe;;;;;"
            "1.0.5.1.release\r\n"
            "7;12;2026;10;15;30;HOST_STATUS;NETWORK;DOWN;router1 // 10.0.0.1;C:\\Apps\\hostmon.exe;"
            ";;;;1.0.5.1.release\r\n");
}

TEST_F(LoggerTest, EachOperationWritesItsWordsOrNothing) {
  struct Case {
    std::function<void(TTolvoLogger&)> call;
    std::string words;  // fields 7 to 10, empty when nothing may be written
  };
  const std::vector<Case> cases = {
      {[](TTolvoLogger& l) { l.logConnectionStatus(2); }, "CONNECTION_STATUS;NETWORK;DOWN;"},
      {[](TTolvoLogger& l) { l.logConnectionStatus(0); }, ""},
      {[](TTolvoLogger& l) { l.logConnectionStatus(3); }, ""},
      {[](TTolvoLogger& l) { l.logHostStatus("Gw", "1.2.3.4", 1); }, "HOST_STATUS;NETWORK;UP;Gw // 1.2.3.4"},
      {[](TTolvoLogger& l) { l.logHostStatus("gw", "1.2.3.4", 0); }, ""},
      {[](TTolvoLogger& l) { l.logHostStatus("gw", "1.2.3.4", 3); }, ""},
      {[](TTolvoLogger& l) { l.logProgram(false); }, "PROGRAM;SHUTDOWN;;"},
      {[](TTolvoLogger& l) { l.logPinging(true); }, "PROGRAM;PINGING;START;"},
      {[](TTolvoLogger& l) { l.logPinging(false); }, "PROGRAM;PINGING;STOP;"},
      // 12-hour stamps: only a..z change case, other bytes (here Latin-1 "ä") stay as they are.
      {[](TTolvoLogger& l) { l.logTimestamp("9:05:03 am \xe4"); }, "PROGRAM;TIMESTAMP;9:05:03 AM \xe4;"},
  };
  at(23, 0, 9);
  for (const Case& c : cases) {
    std::filesystem::remove(logName);
    c.call(logger);
    const std::string expected =
        c.words.empty() ? "" : "7;12;2026;23;0;9;" + c.words + ";" + AppPath + ";;;;;1.0.5.1.release\r\n";
    EXPECT_EQ(fileText(logName), expected) << c.words;
  }
}

TEST_F(LoggerTest, FlagsAndFileNameAreReadAtEveryEntry) {
  settings.general_log_enabled = false;
  logger.logProgram(true);
  logger.logConnectionStatus(1);
  logger.logHostStatus("router1", "10.0.0.1", 1);
  const std::string text = fileText(logName);
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1);
  EXPECT_NE(text.find(";HOST_STATUS;NETWORK;UP;router1 // 10.0.0.1;"), std::string::npos);

  settings.host_log_enabled = false;
  settings.general_log_filename = dir.path().toStdString() + "/other.txt";
  logger.logHostStatus("router1", "10.0.0.1", 2);
  logger.logPinging(true);
  EXPECT_FALSE(std::filesystem::exists(settings.general_log_filename));

  settings.general_log_enabled = true;  // appends, never truncates
  logger.logPinging(true);
  settings.general_log_filename = logName;
  logger.logPinging(false);
  EXPECT_EQ(fileText(logName).substr(0, text.size()), text);
  EXPECT_NE(fileText(logName).find("PINGING;STOP"), std::string::npos);
}

TEST_F(LoggerTest, SemicolonsNeverAddFields) {
  TTolvoLogger oddPath(clock, "/opt/my;apps/sorvelo");
  oddPath.logHostStatus("ro;uter;1", "10.0.0.1", 1);
  oddPath.logTimestamp("7;12");
  const std::string text = fileText(logName);
  std::istringstream lines(text);
  std::string line;
  int count = 0;
  while (std::getline(lines, line) && count < 10) {
    ++count;
    EXPECT_EQ(std::count(line.begin(), line.end(), ';'), 15) << line;
  }
  EXPECT_EQ(count, 2);
  EXPECT_NE(text.find(";router1 // 10.0.0.1;/opt/myapps/sorvelo;"), std::string::npos);
  EXPECT_NE(text.find(";TIMESTAMP;712;"), std::string::npos);
}

TEST_F(LoggerTest, MissingDirectoryDropsEntriesWithoutCreatingIt) {
  const std::string missing = dir.path().toStdString() + "/no/such";
  settings.general_log_filename = missing + "/general_log.txt";
  logger.logProgram(true);
  EXPECT_FALSE(std::filesystem::exists(missing));
  EXPECT_FALSE(TTolvoLogger::appendLine(settings.general_log_filename, "x"));
  EXPECT_FALSE(TTolvoLogger::appendLine(dir.path().toStdString(), "x"));  // a directory
  EXPECT_TRUE(TTolvoLogger::appendLine(logName, "x"));
  EXPECT_EQ(fileText(logName), "x\r\n");
}

TEST_F(LoggerTest, EmptyProgramPathMeansTheRunningProgram) {
  TTolvoLogger own(clock);
  EXPECT_NE(own.formatEntry("PROGRAM", "STARTUP", "", "").find(";;;" + programFilePath() + ";;;;;"),
            std::string::npos);
  EXPECT_FALSE(programFilePath().empty());
}

}  // namespace
