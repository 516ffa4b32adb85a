// Writing the hosts file: the exact block, the round trip, and saves that must fail safely.

#include <gtest/gtest.h>

#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QTemporaryDir>

#include <climits>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "support/testdata.h"
#include "storage/hostsfile.h"

namespace fs = std::filesystem;

namespace {

const TRegionalFormat Dotted{"%-d.%-m.%Y", "%-H:%M:%S"};

std::string fileText(const std::string& name) {
  std::ifstream in(name, std::ios::binary);
  std::stringstream all;
  all << in.rdbuf();
  return all.str();
}

THostFileRecord router1() {
  THostFileRecord r;
  r.callingName = r.hostName = "router1";
  r.ipAddress = "10.0.0.1";
  r.succeededCount = 120;
  r.failedCount = 3;
  r.lastSucceededAt = r.lastSentAt = encodeDateTime(2026, 12, 7, 9, 5, 3);
  r.lastFailedAt = encodeDateTime(2026, 12, 6, 23, 59, 58);
  return r;
}

std::vector<THostFileRecord> manyHosts(int count) {
  std::vector<THostFileRecord> out(static_cast<std::size_t>(count), router1());
  return out;
}

TEST(HostsWriter, WritesTheDocumentedBlock) {
  EXPECT_EQ(formatHostBlock(router1(), Dotted), readTestData("router1.hosts"));
  THostFileRecord never = router1();
  never.lastFailedAt = 0;
  never.lastSentAt = encodeDateTime(2026, 1, 2);
  const std::string block = formatHostBlock(never, Dotted);
  EXPECT_NE(block.find("\r\nLASTFAILEDAT %DATETIME% 30.12.1899\r\n"), std::string::npos);
  EXPECT_NE(block.find("\r\nLASTSENTAT %DATETIME% 2.1.2026\r\n"), std::string::npos);
}

class HostsFileSaveTest : public ::testing::Test {
 protected:
  std::vector<std::string> entries() const {
    std::vector<std::string> out;
    for (const auto& e : fs::directory_iterator(dir.path().toStdString())) out.push_back(e.path().filename());
    return out;
  }
  QTemporaryDir dir;
  std::string path = dir.path().toStdString() + "/tolvo_hosts.cfg";
};

TEST_F(HostsFileSaveTest, SavedFieldsComeBackAndDatesDoNot) {
  std::vector<THostFileRecord> records = {router1(), {}, router1()};
  records[1].callingName = "core router 2 ";
  records[1].hostName = " ";
  records[1].ipAddress = "x\r\nNEW_HOST_END $$@@$$ ";  // a line break must not split the block
  records[1].timeout = INT32_MIN;
  records[1].interval = INT32_MAX;
  ASSERT_TRUE(writeHostsFile(path, records, Dotted));

  std::vector<THostFileRecord> back;
  const auto result = readHostsFile(path, [&](const THostFileRecord& r) { back.push_back(r); }, {}, Dotted);
  EXPECT_TRUE(result.ok);
  ASSERT_EQ(back.size(), 3U);
  EXPECT_EQ(back[1].callingName, "core router 2 ");
  EXPECT_EQ(back[1].hostName, " ");
  EXPECT_EQ(back[1].ipAddress, "x  NEW_HOST_END $$@@$$ ");
  EXPECT_EQ(back[1].timeout, INT32_MIN);
  EXPECT_EQ(back[1].interval, INT32_MAX);
  EXPECT_EQ(back[2].ipAddress, "10.0.0.1");
  EXPECT_EQ(back[2].succeededCount, 120);
  EXPECT_EQ(back[2].failedCount, 3);
  EXPECT_EQ(back[2].lastSucceededAt, 0);

  ASSERT_TRUE(writeHostsFile(path, {}, Dotted));  // an empty list replaces it with an empty file
  EXPECT_EQ(fs::file_size(path), 0U);
  EXPECT_EQ(entries(), std::vector<std::string>{"tolvo_hosts.cfg"});
}

TEST_F(HostsFileSaveTest, KeepsPermissionsAndSymbolicLinks) {
  ASSERT_TRUE(writeHostsFile(path, manyHosts(1), Dotted));
  fs::permissions(path, fs::perms::owner_read | fs::perms::owner_write);
  const std::string link = dir.path().toStdString() + "/link.cfg";
  fs::create_symlink(path, link);
  ASSERT_TRUE(writeHostsFile(link, manyHosts(2), Dotted));
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_EQ(fileText(path), formatHostBlock(router1(), Dotted) + formatHostBlock(router1(), Dotted));
  EXPECT_EQ(fs::status(path).permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write);
}

TEST_F(HostsFileSaveTest, FailedSaveLeavesNoTraceAndReportsFalse) {
  fs::create_directory(path);  // the rename over a directory is refused
  EXPECT_FALSE(writeHostsFile(path, manyHosts(1), Dotted));
  EXPECT_EQ(entries(), std::vector<std::string>{"tolvo_hosts.cfg"});
  EXPECT_TRUE(fs::is_empty(path));

  const std::string plain = dir.path().toStdString() + "/plain";
  std::ofstream(plain) << "keep";
  EXPECT_FALSE(writeHostsFile(plain + "/tolvo_hosts.cfg", manyHosts(1), Dotted));  // parent not a folder
  EXPECT_EQ(fileText(plain), "keep");
}

// A read-only file system and a full one, each on a small tmpfs of the test's own.
TEST_F(HostsFileSaveTest, ReadOnlyOrFullDiskKeepsThePreviousFile) {
  if (geteuid() != 0) GTEST_SKIP() << "mounting a tmpfs needs root";
  const std::string mnt = dir.path().toStdString() + "/mnt";
  fs::create_directory(mnt);
  if (mount("tmpfs", mnt.c_str(), "tmpfs", 0, "size=16k") != 0) GTEST_SKIP() << "cannot mount a tmpfs here";
  struct Unmount {
    std::string at;
    ~Unmount() { umount2(at.c_str(), MNT_DETACH); }
  } unmount{mnt};
  const std::string target = mnt + "/tolvo_hosts.cfg";
  const std::string before = formatHostBlock(router1(), Dotted);

  EXPECT_TRUE(writeHostsFile(target, manyHosts(1), Dotted));
  EXPECT_FALSE(writeHostsFile(target, manyHosts(255), Dotted));  // about 80 KB into 16 KB
  EXPECT_EQ(fileText(target), before);
  EXPECT_EQ(std::distance(fs::directory_iterator(mnt), fs::directory_iterator()), 1);

  ASSERT_EQ(mount("tmpfs", mnt.c_str(), "tmpfs", MS_REMOUNT | MS_RDONLY, "size=16k"), 0);
  EXPECT_FALSE(writeHostsFile(target, manyHosts(2), Dotted));
  EXPECT_EQ(fileText(target), before);
}

}  // namespace
