// The line queue under the HTTP client: where lines end, what stays queued, and that taking lines
// costs time in proportion to the data.

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "net/dataqueue.h"

namespace {

struct TQueueCase {
  const char* name;
  std::vector<std::string> chunks;
  std::vector<std::string> lines;
  std::size_t left;
};

std::vector<std::string> drain(TDataQueue& queue) {
  std::vector<std::string> lines;
  std::string line;
  for (int guard = 0; guard < 1000 && queue.readLine(line); ++guard) lines.push_back(line);
  return lines;
}

}  // namespace

TEST(DataQueue, LinesEndAtTheEarliestPair) {
  const TQueueCase cases[] = {
      {"crlf", {"abc\r\ndef\r\n"}, {"abc", "def"}, 0},
      {"lfcr", {"abc\n\rdef"}, {"abc"}, 3},
      {"pair cut between chunks", {"abc\r", "\ndef\r", "\n"}, {"abc", "def"}, 0},
      {"lone cr and lf removed inside", {"a\rb\nc\r\n"}, {"abc"}, 0},
      {"empty lines", {"\r\n\r\n"}, {"", ""}, 0},
      {"lf cr wins over the cr lf after it", {"\n\r\n"}, {""}, 1},
      {"cr cr lf", {"x\r\r\ny"}, {"x"}, 1},
      {"no line end", {"no end"}, {}, 6},
      {"bytes kept in order across calls", {"ab", "c\r", "\nd", "e\n\r"}, {"abc", "de"}, 0},
      {"binary bytes pass", {std::string("a\0b\r\n", 5)}, {std::string("a\0b", 3)}, 0},
  };
  for (const auto& c : cases) {
    TDataQueue queue;
    std::vector<std::string> lines;
    for (const auto& chunk : c.chunks) {
      queue.append(chunk.data(), chunk.size());
      const auto more = drain(queue);
      lines.insert(lines.end(), more.begin(), more.end());
    }
    EXPECT_EQ(lines, c.lines) << c.name;
    EXPECT_EQ(queue.size(), c.left) << c.name;
  }
}

TEST(DataQueue, NoLineGivesFalseAndAnEmptyLine) {
  TDataQueue queue;
  std::string line = "stale";
  EXPECT_FALSE(queue.readLine(line));
  EXPECT_EQ(line, "");
  queue.append("partial\r", 8);
  line = "stale";
  EXPECT_FALSE(queue.readLine(line));
  EXPECT_EQ(line, "");
  queue.append("\n", 1);
  ASSERT_TRUE(queue.readLine(line));
  EXPECT_EQ(line, "partial");
}

// A long line fed a byte at a time, and many short lines taken one by one: a queue that scanned its
// whole content again per call, or moved the rest forward per line, would need minutes for these.
TEST(DataQueue, TakingLinesIsLinearInTheData) {
  const auto start = std::chrono::steady_clock::now();
  TDataQueue queue;
  std::string line;
  constexpr std::size_t LongLine = 2 * 1024 * 1024;
  for (std::size_t i = 0; i < LongLine; ++i) {
    queue.append("x", 1);
    ASSERT_FALSE(queue.readLine(line));
  }
  queue.append("\r\n", 2);
  ASSERT_TRUE(queue.readLine(line));
  EXPECT_EQ(line.size(), LongLine);

  std::string many;
  constexpr int ShortLines = 200000;
  for (int i = 0; i < ShortLines; ++i) many += std::to_string(i) + "\r\n";
  queue.append(many.data(), many.size());
  int taken = 0;
  while (taken <= ShortLines && queue.readLine(line)) {
    ASSERT_EQ(line, std::to_string(taken));
    ++taken;
  }
  EXPECT_EQ(taken, ShortLines);
  EXPECT_EQ(queue.size(), 0u);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
}
