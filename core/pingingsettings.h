#pragma once
// The engine's settings beyond the specified ones, kept as text in the settings file's [pinging]
// section. The windows (or the headless runner) read them after loading the settings and hand
// them to the host list; the engine itself reads no file.

#include <optional>
#include <string>

struct TPingingSettingKey {
  const char* section;
  const char* name;
  const char* defaultValue;
};

// 1: names with addresses of both families are pinged over IPv6; 0 (default): over IPv4.
inline constexpr TPingingSettingKey PreferIpv6Setting{"pinging", "prefer_ipv6", "0"};

// A flag's stored text ("1" or "0", blanks around it ignored) as a Boolean; anything else is the
// default.
inline bool pingingFlag(const TPingingSettingKey& key, const std::optional<std::string>& stored) {
  std::string text = stored.value_or(key.defaultValue);
  const auto first = text.find_first_not_of(" \t");
  const auto last = text.find_last_not_of(" \t");
  text = first == std::string::npos ? std::string() : text.substr(first, last - first + 1);
  if (text != "0" && text != "1") text = key.defaultValue;
  return text == "1";
}
