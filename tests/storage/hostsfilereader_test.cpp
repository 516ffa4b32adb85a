// Reading the hosts file: the rules of the format, line ends, and input that must never hurt.

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <fstream>
#include <random>

#include "support/messagerecorder.h"
#include "storage/hostsfile.h"
#include "storage/hostsfileparser.h"

namespace {

const TRegionalFormat Dotted{"%-d.%-m.%Y", "%-H:%M:%S"};
const std::string StartMsg = "Error loading hosts, HOST_START when hostOpen=TRUE";
const std::string EndMsg = "Error loading hosts, HOST_END when hostOpen=FALSE";

std::string summary(const THostFileRecord& r) {
  return r.callingName + "|" + r.hostName + "|" + r.ipAddress + "|" + std::to_string(r.timeout) + "|" +
         std::to_string(r.interval) + "|" + std::to_string(r.succeededCount) + "|" +
         std::to_string(r.failedCount);
}

struct Loaded {
  THostsFileReadResult result;
  std::vector<std::string> hosts;
  std::vector<std::string> messages;
};

Loaded load(const std::string& path) {
  TMessageRecorder recorder;
  Loaded out;
  int cleared = 0;
  out.result = readHostsFile(
      path,
      [&](const THostFileRecord& r) {
        EXPECT_EQ(cleared, 1) << "a host before the list was cleared";
        out.hosts.push_back(summary(r));
      },
      [&] { ++cleared; }, Dotted);
  EXPECT_EQ(cleared, out.result.opened ? 1 : 0);
  out.messages = recorder.messages();
  return out;
}

class HostsReaderTest : public ::testing::Test {
 protected:
  Loaded loadText(const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
    return load(path);
  }
  QTemporaryDir dir;
  std::string path = dir.path().toStdString() + "/tolvo_hosts.cfg";
};

std::string withCrLf(const std::string& text) {
  std::string out;
  for (char c : text) out += c == '\n' ? std::string("\r\n") : std::string(1, c);
  return out;
}

const std::string S = "NEW_HOST_START $$@@$$ \n";
const std::string E = "NEW_HOST_END $$@@$$ \n";
const std::string Defaults = "|||2000|4|0|0";

TEST_F(HostsReaderTest, FollowsTheLineRulesWithLfAndCrLf) {
  struct Case {
    const char* name;
    std::string text;
    std::vector<std::string> hosts;
    bool ok = true;
    std::string message = {};
  };
  const std::vector<Case> cases = {
      {"empty file", "", {}},
      {"comments", "# x\n\n# NEW_HOST_START $$@@$$ \n" + S + "#HOSTNAME %STRING% c\n" + E,
       {Defaults}},
      {"all fields",
       S + "HOSTCALLINGNAME %STRING% core router\nHOSTNAME %STRING% r1\nHOSTIPADDRESS %STRING% 10.0.0.1\n"
           "TIMEOUT %INTEGER% -5\nINTERVAL %INTEGER% 9\nSUCCEEDEDCOUNT %INTEGER% 120\n"
           "FAILEDCOUNT %INTEGER% 3\nLASTSENTAT %DATETIME% 7.12.2026 9:05:03\n" + E,
       {"core router|r1|10.0.0.1|-5|9|120|3"}},
      {"case, indent, outside block",
       "HOSTNAME %STRING% out\n" + S + "hostname %STRING% x\n HOSTNAME %STRING% y\nHOSTNAME %string% z\n" + E +
           "TIMEOUT %INTEGER% 1\n",
       {Defaults}},
      {"marker words", "NEW_HOST_START x\nNEW_HOST_START $$@@$$ extra\nNEW_HOST_END\n" + E, {Defaults}},
      {"empty value keeps field", S + "HOSTNAME %STRING% a\nHOSTNAME %STRING% \n" + E, {"|a||2000|4|0|0"}},
      {"other tags", S + "HOSTNAME %STRING% a\nHOSTNAME %INTEGER% 5\nTIMEOUT %INTEGER% 7\nTIMEOUT %STRING% 9\n"
                         "INTERVAL %REAL% 2,5\nFAILEDCOUNT %INTEGER% 6\nFAILEDCOUNT %INTEGER% abc\n" + E,
       {"|||7|4|0|0"}},
      {"bad date ignored", S + "HOSTNAME %STRING% a\nLASTFAILEDAT %DATETIME% 12/31/26 1:00\n"
                               "LASTSUCCEEDEDAT %DATETIME% 31.2.2026\n" + E,
       {"|a||2000|4|0|0"}},
      {"duplicates and open end", S + "HOSTNAME %STRING% a\n" + E + S + "HOSTNAME %STRING% a\n" + E + S,
       {"|a||2000|4|0|0", "|a||2000|4|0|0"}},
      {"start inside block", S + E + S + "HOSTNAME %STRING% b\n" + S + E, {Defaults}, false, StartMsg},
      {"end outside block", S + E + E + S + E, {Defaults}, false, EndMsg},
      {"last line without end", S + "HOSTNAME %STRING% a\nNEW_HOST_END $$@@$$ ", {"|a||2000|4|0|0"}},
  };
  for (const Case& c : cases) {
    for (const bool crlf : {false, true}) {
      const Loaded got = loadText(crlf ? withCrLf(c.text) : c.text);
      SCOPED_TRACE(std::string(c.name) + (crlf ? " (CR LF)" : " (LF)"));
      EXPECT_TRUE(got.result.opened);
      EXPECT_EQ(got.result.ok, c.ok);
      EXPECT_EQ(got.hosts, c.hosts);
      EXPECT_EQ(got.messages, c.message.empty() ? std::vector<std::string>{} : std::vector{c.message});
    }
  }
}

TEST_F(HostsReaderTest, LoneCrEndsALineAndChunkBordersDoNotMatter) {
  const std::string text = "NEW_HOST_START $$@@$$ \rHOSTNAME %STRING% a b\r\r\nTIMEOUT %INTEGER% 5\r\n" + E;
  EXPECT_EQ(loadText(text).hosts, std::vector<std::string>{"|a b||5|4|0|0"});
  for (std::size_t chunk = 1; chunk <= 8; ++chunk) {
    std::vector<std::string> hosts;
    THostsFileParser parser([&](const THostFileRecord& r) { hosts.push_back(summary(r)); }, Dotted);
    for (std::size_t at = 0; at < text.size(); at += chunk)
      EXPECT_TRUE(parser.feed(text.data() + at, std::min(chunk, text.size() - at)));
    EXPECT_TRUE(parser.finish());
    EXPECT_EQ(hosts, std::vector<std::string>{"|a b||5|4|0|0"}) << "chunk " << chunk;
  }
}

TEST_F(HostsReaderTest, OverlongLinesAreIgnoredAndTheRestStillLoads) {
  const std::string longest(THostsFileParser::MaxLineBytes - 20, 'n');
  const std::string tooLong(THostsFileParser::MaxLineBytes + 1, 'x');
  const Loaded got = loadText(S + "HOSTNAME %STRING% " + longest + "\n" + "HOSTIPADDRESS %STRING% " + tooLong +
                              "\nNEW_HOST_END " + tooLong + "\n" + E);
  ASSERT_EQ(got.hosts.size(), 1U);
  EXPECT_EQ(got.hosts[0], "|" + longest + "||2000|4|0|0");
}

TEST_F(HostsReaderTest, UnopenableFilesLeaveTheListAlone) {
  for (const std::string& name : {path + ".missing", dir.path().toStdString(), std::string("/dev/zero")}) {
    const Loaded got = load(name);
    EXPECT_FALSE(got.result.opened) << name;
    EXPECT_FALSE(got.result.ok) << name;
  }
}

// Garbage of every kind ends with a result, bounded in time and memory.
TEST_F(HostsReaderTest, GarbageNeverCrashesOrHangs) {
  const std::vector<std::string> words = {"NEW_HOST_START", "NEW_HOST_END", "HOSTNAME", "TIMEOUT", "%STRING%",
                                          "%INTEGER%", "%DATETIME%", "%REAL%", "#", "99999999999", "\r", "\n",
                                          " ", "", std::string("\0\xff", 2)};
  std::mt19937 random(12345);
  for (int round = 0; round < 200; ++round) {
    std::string text;
    for (int i = 0; i < 300; ++i) {
      text += round % 2 ? words[random() % words.size()] : std::string(1, static_cast<char>(random()));
      if (round % 2) text += random() % 3 ? " " : "\n";
    }
    const Loaded got = loadText(text);
    EXPECT_TRUE(got.result.opened);
    EXPECT_EQ(got.result.ok, got.messages.empty());
  }
  const Loaded huge = loadText(std::string(10 * 1024 * 1024, 'a') + "\n" + S + E);
  EXPECT_TRUE(huge.result.ok);
  EXPECT_EQ(huge.hosts, std::vector<std::string>{Defaults});
}

}  // namespace
