#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <stdexcept>

#include "config/programpath.h"
#include "config/startupentry.h"
#include "support/messagerecorder.h"
#include "xdgsandbox.h"

namespace {

// Reads an Exec value back the way a desktop session does: first the string escapes of the file
// format, then one double-quoted argument with its backslash escapes. Nullopt for anything else.
std::optional<std::string> execArgument(const std::string& value) {
  std::string unescaped;
  for (std::size_t i = 0; i < value.size(); ++i) {
    if (value[i] == '%') {
      if (i + 1 >= value.size() || value[i + 1] != '%') return std::nullopt;
      unescaped += '%';
      ++i;
    } else if (value[i] != '\\') {
      unescaped += value[i];
    } else if (i + 1 < value.size()) {
      const char c = value[++i];
      unescaped += c == 'n' ? '\n' : c == 't' ? '\t' : c == 'r' ? '\r' : c == 's' ? ' ' : c;
    } else {
      return std::nullopt;
    }
  }
  if (unescaped.size() < 2 || unescaped.front() != '"' || unescaped.back() != '"') return std::nullopt;
  std::string argument;
  for (std::size_t i = 1; i + 1 < unescaped.size(); ++i) {
    char c = unescaped[i];
    if (c == '\\') c = unescaped[++i];
    else if (c == '"' || c == '`' || c == '$') return std::nullopt;  // must have been escaped
    argument += c;
  }
  return argument;
}

std::string execLine(const std::string& entry) {
  const auto at = entry.find("\nExec=");
  if (at == std::string::npos) return {};
  const auto end = entry.find('\n', at + 1);
  return entry.substr(at + 6, end - at - 6);
}

TEST(StartupEntryText, QuotesThePathAsOneArgument) {
  const struct {
    const char* path;
    const char* exec;
  } cases[] = {
      {"/usr/bin/sorvelo", R"("/usr/bin/sorvelo")"},
      {"/opt/Program Files/Monitor/sorvelo", R"("/opt/Program Files/Monitor/sorvelo")"},
      {"/opt/a\"b/sorvelo", R"("/opt/a\\"b/sorvelo")"},
      {"/opt/$HOME/sorvelo", R"("/opt/\\$HOME/sorvelo")"},
      {"/opt/a\\b/sorvelo", R"("/opt/a\\\\b/sorvelo")"},
      {"/opt/100%/sorvelo", R"("/opt/100%%/sorvelo")"},
  };
  for (const auto& c : cases) EXPECT_EQ(quotedExecValue(c.path), c.exec) << c.path;
}

TEST(StartupEntryText, EveryPathReadsBackUnchanged) {
  for (const char* path : {"/usr/bin/sorvelo", "/home/me/my apps/sorvelo", "/a\"quoted\"/b", "/x/`cmd`/y",
                           "/x/$(id)/y", "/back\\slash/\\\\two", "/new\nline/\ttab", "/per%cent/%f"}) {
    const std::string entry = startupEntryText(path);
    EXPECT_EQ(execArgument(execLine(entry)), std::optional<std::string>(path)) << entry;
    // The value stays on its one line.
    EXPECT_EQ(execLine(entry).find('\n'), std::string::npos);
  }
}

TEST(StartupEntryText, IsAnAutostartApplicationEntry) {
  const std::string entry = startupEntryText("/usr/bin/sorvelo");
  EXPECT_EQ(entry.rfind("[Desktop Entry]\n", 0), 0u);
  for (const char* line : {"\nType=Application\n", "\nName=Sorvelo\n", "\nX-GNOME-Autostart-enabled=true\n",
                           "\nExec=\"/usr/bin/sorvelo\"\n", "\nComment="})
    EXPECT_NE(entry.find(line), std::string::npos) << line;
}

class StartupEntryTest : public ::testing::Test {
 protected:
  std::string autostart() const { return sandbox.configHome() + "/autostart"; }

  TXdgSandbox sandbox;
  TMessageRecorder recorder;
};

TEST_F(StartupEntryTest, AddingTwiceLeavesOneEntryWithThisProgram) {
  EXPECT_EQ(startupEntryPath(), autostart() + "/sorvelorun.desktop");
  std::filesystem::create_directories(autostart());
  writeWholeFile(startupEntryPath(), "[Desktop Entry]\nType=Application\nExec=\"/old/place/sorvelo\"\n");
  addToStartup();
  addToStartup();
  const auto entries = std::distance(std::filesystem::directory_iterator(autostart()),
                                     std::filesystem::directory_iterator());
  EXPECT_EQ(entries, 1);
  const std::string entry = readWholeFile(startupEntryPath());
  EXPECT_EQ(execArgument(execLine(entry)), std::optional<std::string>(programFilePath()));
  EXPECT_EQ(entry.find("/old/place"), std::string::npos);
  EXPECT_TRUE(recorder.messages().empty());
}

TEST_F(StartupEntryTest, AddCreatesTheDirectoryAndRemoveTakesTheEntryAway) {
  ASSERT_FALSE(std::filesystem::exists(sandbox.configHome()));
  addToStartup();
  ASSERT_TRUE(std::filesystem::is_regular_file(startupEntryPath()));
  removeFromStartup();
  EXPECT_FALSE(std::filesystem::exists(startupEntryPath()));
  EXPECT_TRUE(recorder.messages().empty());
}

TEST_F(StartupEntryTest, RemovingAMissingEntryFails) {
  removeFromStartup();  // no autostart directory at all
  std::filesystem::create_directories(autostart());
  removeFromStartup();  // directory without the entry
  EXPECT_EQ(recorder.messages(),
            (std::vector<std::string>{"Removing from registry failed!", "Removing from registry failed!"}));
}

// As root a directory's permissions stop nothing, so a regular file stands where the directory
// belongs: it cannot be opened as one.
TEST_F(StartupEntryTest, AutostartThatIsNoDirectory) {
  std::filesystem::create_directories(sandbox.configHome());
  writeWholeFile(autostart(), "not a directory");
  removeFromStartup();
  EXPECT_EQ(recorder.messages(), std::vector<std::string>{"Opening of registry failed."});
  EXPECT_NO_THROW(addToStartup());  // a directory that cannot be made is silent
  EXPECT_EQ(readWholeFile(autostart()), "not a directory");
}

TEST_F(StartupEntryTest, EntryThatCannotBeReplacedThrowsAndCannotBeRemoved) {
  std::filesystem::create_directories(startupEntryPath() + "/inside");
  try {
    addToStartup();
    ADD_FAILURE() << "no error";
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "Failed to set data for 'sorvelorun'");
  }
  removeFromStartup();
  EXPECT_EQ(recorder.messages(), std::vector<std::string>{"Removing from registry failed!"});
  EXPECT_TRUE(std::filesystem::is_directory(startupEntryPath() + "/inside"));
  const auto entries = std::distance(std::filesystem::directory_iterator(autostart()),
                                     std::filesystem::directory_iterator());
  EXPECT_EQ(entries, 1) << "a temporary file was left behind";
}

}  // namespace
