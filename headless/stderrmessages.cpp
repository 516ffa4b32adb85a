#include "stderrmessages.h"

#include <chrono>
#include <cstdio>
#include <map>
#include <mutex>

#include "base/usermessages.h"

namespace {

using SteadyClock = std::chrono::steady_clock;
constexpr std::chrono::seconds RepeatQuiet{60};

const char* prefix(TSeverity severity) {
  switch (severity) {
    case TSeverity::Error: return "error: ";
    case TSeverity::Warning: return "warning: ";
    case TSeverity::Info: return "info: ";
  }
  return "";
}

// One line per message: the boxes' line breaks become separators.
std::string oneLine(const std::string& text) {
  std::string line;
  for (std::size_t at = 0; at < text.size(); ++at) {
    if (text[at] != '\n' && text[at] != '\r') {
      line += text[at];
      continue;
    }
    while (at + 1 < text.size() && (text[at + 1] == '\n' || text[at + 1] == '\r')) ++at;
    if (!line.empty() && at + 1 < text.size()) line += ": ";
  }
  return line;
}

void printPosted(const std::string& text) {
  static std::mutex lock;
  static std::map<std::string, SteadyClock::time_point> lastPrinted;
  const auto now = SteadyClock::now();
  {
    std::lock_guard guard(lock);
    const auto found = lastPrinted.find(text);
    if (found != lastPrinted.end() && now - found->second < RepeatQuiet) return;
    lastPrinted[text] = now;
  }
  printMessage(TSeverity::Error, text);
}

}  // namespace

void printMessage(TSeverity severity, const std::string& text) {
  const std::string line = prefix(severity) + oneLine(text) + "\n";
  std::fputs(line.c_str(), stderr);
  std::fflush(stderr);
}

void installStderrMessageSink() {
  installUserMessageSink({[](const std::string& text) { printMessage(TSeverity::Error, text); },
                          &printPosted});
}
