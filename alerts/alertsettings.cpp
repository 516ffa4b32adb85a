#include "alertsettings.h"

#include <charconv>
#include <cmath>

#include "config/settings.h"

namespace {

constexpr const char* Section = "alerts";
constexpr const char* Off = "off";

// One numeric key: its range, whether the word "off" turns it off, and whether it is whole.
struct TNumberKey {
  const char* name;
  double minimum;       // smallest allowed value
  bool minimumIncluded;
  double maximum;
  bool whole;
  bool offAllowed;
  const char* meaning;  // for the message
};

constexpr TNumberKey NumberKeys[] = {
    {"lost_to_down", 1, true, 1000, true, false, "lost echoes before a host counts as down"},
    {"answers_to_up", 1, true, 1000, true, false, "answers before a host counts as up again"},
    {"degraded_loss_percent", 0, false, 100, false, true, "loss in percent that makes a host degraded"},
    {"degraded_rtt_ms", 1, true, 600000, true, true, "round trip in ms that makes a host degraded"},
    {"degraded_rtt_factor", 1, false, 1000, false, true, "multiple of the 24-hour median round trip"},
    {"degraded_min_echoes", 1, true, 100000, true, false, "echoes needed before judging a host"},
};

const TNumberKey* numberKey(const std::string& key) {
  const std::string global = key == "down_after" ? "lost_to_down"
                             : key == "up_after" ? "answers_to_up"
                                                 : key;
  for (const TNumberKey& k : NumberKeys)
    if (global == k.name) return &k;
  return nullptr;
}

std::optional<double> parseNumber(const std::string& text) {
  double value = 0;
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, value);
  if (ec != std::errc() || ptr != end || !std::isfinite(value)) return std::nullopt;
  return value;
}

std::string formatNumber(double value) {
  char buffer[32];
  const auto [ptr, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
  return ec == std::errc() ? std::string(buffer, ptr) : std::string("0");
}

std::string rangeText(const TNumberKey& k) {
  std::string text = k.whole ? "a whole number from " : "a number ";
  text += k.whole ? formatNumber(k.minimum) + " to " + formatNumber(k.maximum)
                  : std::string(k.minimumIncluded ? "from " : "above ") + formatNumber(k.minimum) +
                        " up to " + formatNumber(k.maximum);
  if (k.offAllowed) text += ", or \"off\"";
  return text;
}

// The value of a numeric key (0 for "off"), or the message refusing it.
std::optional<double> readNumber(const std::string& key, const std::string& text, double fallback,
                                 std::vector<std::string>* problems) {
  if (const auto refusal = checkAlertSetting(key, text)) {
    if (problems) problems->push_back(*refusal + " The setting stays at " + formatNumber(fallback) + ".");
    return std::nullopt;
  }
  if (text == Off) return 0.0;
  return parseNumber(text);
}

bool readFlag(const std::string& name, bool fallback, std::vector<std::string>* problems) {
  const auto text = extraSetting(Section, name);
  if (!text || text->empty()) return fallback;
  if (*text == "0" || *text == "1") return *text == "1";
  if (problems) problems->push_back("Alerts: " + name + " must be 0 or 1, not \"" + *text + "\".");
  return fallback;
}

template <typename T>
void readInto(const std::string& key, const std::string& stored, T& target,
              std::vector<std::string>* problems) {
  const auto text = extraSetting(Section, stored);
  if (!text || text->empty()) return;
  if (const auto value = readNumber(key, *text, static_cast<double>(target), problems))
    target = static_cast<T>(*value);
}

std::string numberText(double value) { return value == 0 ? std::string(Off) : formatNumber(value); }

}  // namespace

std::optional<std::string> checkAlertSetting(const std::string& key, const std::string& text) {
  const TNumberKey* k = numberKey(key);
  if (!k) return "Alerts: there is no setting \"" + key + "\".";
  if (k->offAllowed && text == Off) return std::nullopt;
  const auto value = parseNumber(text);
  const bool inRange = value && (k->minimumIncluded ? *value >= k->minimum : *value > k->minimum) &&
                       *value <= k->maximum && (!k->whole || std::floor(*value) == *value);
  if (inRange) return std::nullopt;
  return "Alerts: \"" + text + "\" is refused for " + k->meaning + " (" + key + "); it must be " +
         rangeText(*k) + ".";
}

std::vector<std::string> splitCommandWords(const std::string& stored) {
  std::vector<std::string> words;
  std::string word;
  for (char c : stored) {
    if (c == '\t') {
      if (!word.empty()) words.push_back(word);
      word.clear();
    } else {
      word += c;
    }
  }
  if (!word.empty()) words.push_back(word);
  return words;
}

std::string joinCommandWords(const std::vector<std::string>& words) {
  std::string stored;
  for (const std::string& word : words) {
    if (word.empty()) continue;
    if (!stored.empty()) stored += '\t';
    stored += word;
  }
  return stored;
}

std::int32_t TAlertSettings::lostToDownFor(const std::string& address) const {
  const auto it = downAfter.find(address);
  return it == downAfter.end() ? lostToDown : it->second;
}

std::int32_t TAlertSettings::answersToUpFor(const std::string& address) const {
  const auto it = upAfter.find(address);
  return it == upAfter.end() ? answersToUp : it->second;
}

bool TAlertSettings::notifyFor(const std::string& address) const {
  const auto it = notifyHost.find(address);
  return notify && (it == notifyHost.end() || it->second);
}

TAlertSettings TAlertSettings::load(const std::vector<std::string>& addresses,
                                    std::vector<std::string>* problems) {
  TAlertSettings s;
  s.notify = readFlag("notify", s.notify, problems);
  s.quietWhileStopped = readFlag("quiet_while_stopped", s.quietWhileStopped, problems);
  readInto("lost_to_down", "lost_to_down", s.lostToDown, problems);
  readInto("answers_to_up", "answers_to_up", s.answersToUp, problems);
  readInto("degraded_loss_percent", "degraded_loss_percent", s.degradedLossPercent, problems);
  readInto("degraded_rtt_ms", "degraded_rtt_ms", s.degradedRttMs, problems);
  readInto("degraded_rtt_factor", "degraded_rtt_factor", s.degradedRttFactor, problems);
  readInto("degraded_min_echoes", "degraded_min_echoes", s.degradedMinEchoes, problems);
  s.command = splitCommandWords(extraSetting(Section, "command").value_or(""));
  s.webhook = TWebhookSettings::load(problems);
  for (const std::string& address : addresses) {
    std::int32_t down = 0;
    std::int32_t up = 0;
    readInto("down_after", "down_after." + address, down, problems);
    readInto("up_after", "up_after." + address, up, problems);
    if (down > 0) s.downAfter[address] = down;
    if (up > 0) s.upAfter[address] = up;
    if (!readFlag("notify." + address, true, problems)) s.notifyHost[address] = false;
  }
  return s;
}

void TAlertSettings::store(const std::vector<std::string>& addresses) const {
  setExtraSetting(Section, "notify", notify ? "1" : "0");
  setExtraSetting(Section, "quiet_while_stopped", quietWhileStopped ? "1" : "0");
  setExtraSetting(Section, "lost_to_down", std::to_string(lostToDown));
  setExtraSetting(Section, "answers_to_up", std::to_string(answersToUp));
  setExtraSetting(Section, "degraded_loss_percent", numberText(degradedLossPercent));
  setExtraSetting(Section, "degraded_rtt_ms", numberText(degradedRttMs));
  setExtraSetting(Section, "degraded_rtt_factor", numberText(degradedRttFactor));
  setExtraSetting(Section, "degraded_min_echoes", std::to_string(degradedMinEchoes));
  setExtraSetting(Section, "command", joinCommandWords(command));
  webhook.store();
  for (const std::string& address : addresses) {
    const auto down = downAfter.find(address);
    const auto up = upAfter.find(address);
    setExtraSetting(Section, "down_after." + address,
                    down == downAfter.end() ? "" : std::to_string(down->second));
    setExtraSetting(Section, "up_after." + address,
                    up == upAfter.end() ? "" : std::to_string(up->second));
    const auto quiet = notifyHost.find(address);
    setExtraSetting(Section, "notify." + address,
                    quiet != notifyHost.end() && !quiet->second ? "0" : "");
  }
}
