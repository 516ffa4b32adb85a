#include "pathsettings.h"

#include <charconv>

#include "config/settings.h"

namespace {

constexpr const char* Section = "paths";

// "1"/"0" (also "true"/"false", "on"/"off"); nothing for anything else.
std::optional<bool> switchValue(const std::string& text) {
  if (text == "1" || text == "true" || text == "on") return true;
  if (text == "0" || text == "false" || text == "off") return false;
  return std::nullopt;
}

void refuse(std::vector<std::string>* problems, const std::string& key, const std::string& value,
            const std::string& wanted) {
  if (problems)
    problems->push_back("[paths] " + key + "=" + value + " is not " + wanted +
                        "; the default is used");
}

}  // namespace

bool TPathSettings::tracedFor(const std::string& address) const {
  const auto it = traceHost.find(address);
  return it != traceHost.end() ? it->second : traceAll;
}

TPathSettings TPathSettings::load(const std::vector<std::string>& addresses,
                                  std::vector<std::string>* problems) {
  TPathSettings loaded;
  if (const auto all = extraSetting(Section, "trace_all"); all && !all->empty()) {
    if (const auto on = switchValue(*all)) {
      loaded.traceAll = *on;
    } else {
      refuse(problems, "trace_all", *all, "0 or 1");
    }
  }
  if (const auto rate = extraSetting(Section, "probes_per_second"); rate && !rate->empty()) {
    double value = 0;
    const auto [end, ec] = std::from_chars(rate->data(), rate->data() + rate->size(), value);
    if (ec == std::errc() && end == rate->data() + rate->size() && value >= 1 && value <= 1000) {
      loaded.probesPerSecond = value;
    } else {
      refuse(problems, "probes_per_second", *rate, "a number from 1 to 1000");
    }
  }
  for (const std::string& address : addresses) {
    const std::string key = "trace." + address;
    const auto value = extraSetting(Section, key);
    if (!value || value->empty()) continue;
    if (const auto on = switchValue(*value)) {
      loaded.traceHost[address] = *on;
    } else {
      refuse(problems, key, *value, "0 or 1");
    }
  }
  return loaded;
}

void TPathSettings::store(const std::vector<std::string>& addresses) const {
  setExtraSetting(Section, "trace_all", traceAll ? "1" : "0");
  char rate[32];
  const auto [end, ec] = std::to_chars(rate, rate + sizeof rate, probesPerSecond);
  setExtraSetting(Section, "probes_per_second", ec == std::errc() ? std::string(rate, end) : "20");
  for (const std::string& address : addresses) {
    const auto it = traceHost.find(address);
    setExtraSetting(Section, "trace." + address,
                    it == traceHost.end() ? std::string() : (it->second ? "1" : "0"));
  }
}
