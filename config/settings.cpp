#include "config/settings.h"

#include <array>
#include <optional>
#include <vector>
#include <stdexcept>

#include "base/usermessages.h"
#include "config/atomicfile.h"
#include "config/inifile.h"
#include "config/programpath.h"
#include "config/xdgdirs.h"

configRecord settings;

namespace {

// The file as last loaded, for the sections of the further parts, and the values set since.
struct TExtraSettings {
  TIniFile loaded;
  std::vector<std::array<std::string, 3>> changed;  // section, name, value
  std::string overriddenPath;
};

TExtraSettings& extras() {
  static TExtraSettings state;
  return state;
}

enum class TSettingKind { Flag, Number, Text };

// One row per stored value, in the order they are read and written. For numbers and flags the
// default is the stored text form; for texts it is a file name in the default data directory.
struct TSettingKey {
  const char* section;
  const char* name;
  TSettingKind kind;
  const char* defaultText;
  bool configRecord::*flag = nullptr;
  std::int32_t configRecord::*number = nullptr;
  std::string configRecord::*text = nullptr;
};

const std::array<TSettingKey, 9> SettingKeys{{
    {"logging", "general_log_enabled", TSettingKind::Flag, "1", &configRecord::general_log_enabled},
    {"logging", "host_log_enabled", TSettingKind::Flag, "0", &configRecord::host_log_enabled},
    {"logging", "general_log_filename", TSettingKind::Text, "general_log.txt", nullptr, nullptr,
     &configRecord::general_log_filename},
    {"hosts", "hosts_file_name", TSettingKind::Text, "tolvo_hosts.cfg", nullptr, nullptr,
     &configRecord::hosts_file_name},
    {"pinging", "ping_speed", TSettingKind::Number, "1", nullptr, &configRecord::ping_speed},
    {"pinging", "auto_startup", TSettingKind::Flag, "0", &configRecord::auto_startup},
    {"general", "firsttime", TSettingKind::Number, "1", nullptr, &configRecord::firsttime},
    {"general", "logtimestampinterval", TSettingKind::Number, "60", nullptr,
     &configRecord::logtimestampinterval},
    {"general", "checkversion", TSettingKind::Number, "0", nullptr, &configRecord::checkversion},
}};

// A decimal integer with an optional sign, in the int32 range; blanks around it are allowed so that a
// hand-edited "name = 2" still reads as 2. Hexadecimal and everything else is not a number here.
std::optional<std::int32_t> decimalInteger(const std::string& stored) {
  const auto first = stored.find_first_not_of(" \t");
  if (first == std::string::npos) return std::nullopt;
  const std::string t = stored.substr(first, stored.find_last_not_of(" \t") - first + 1);
  std::size_t at = (t[0] == '+' || t[0] == '-') ? 1 : 0;
  if (at == t.size()) return std::nullopt;
  const bool negative = t[0] == '-';
  const std::int64_t limit = negative ? std::int64_t{1} << 31 : (std::int64_t{1} << 31) - 1;
  std::int64_t value = 0;
  for (; at < t.size(); ++at) {
    if (t[at] < '0' || t[at] > '9') return std::nullopt;
    value = value * 10 + (t[at] - '0');
    if (value > limit) return std::nullopt;
  }
  return static_cast<std::int32_t>(negative ? -value : value);
}

void loadValue(const TIniFile& file, const TSettingKey& key, configRecord& record) {
  const std::optional<std::string> stored = file.value(key.section, key.name);
  if (key.kind == TSettingKind::Text) {
    // Only a missing value takes the default: an empty stored text stays empty.
    record.*key.text = stored ? *stored : defaultDataDirectory() + "/" + key.defaultText;
    return;
  }
  const std::int32_t fallback = *decimalInteger(key.defaultText);
  const std::int32_t number = stored ? decimalInteger(*stored).value_or(fallback) : fallback;
  if (key.kind == TSettingKind::Flag) {
    record.*key.flag = number != 0;
  } else {
    record.*key.number = number;
  }
}

std::string storedForm(const TSettingKey& key, const configRecord& record) {
  switch (key.kind) {
    case TSettingKind::Flag:
      return record.*key.flag ? "1" : "0";
    case TSettingKind::Number:
      return std::to_string(record.*key.number);
    case TSettingKind::Text:
      return record.*key.text;
  }
  return {};
}

// What the user is told when the file is there but is not read; the defaults are used then, as for
// a missing file. Empty when there is nothing to say.
std::string loadProblem(TIniFile::TLoadResult result, const TIniFile& file, const std::string& path) {
  const std::string named = "The settings file \"" + path + "\" ";
  switch (result) {
    case TIniFile::TLoadResult::notRegular:
      return named + "is not a regular file and was not read; the default settings are used.";
    case TIniFile::TLoadResult::tooLarge:
      return named + "is larger than 4 MiB and was not read; the default settings are used.";
    case TIniFile::TLoadResult::unreadable:
      return named + "could not be read; the default settings are used, and the file is not "
                     "written over.";
    case TIniFile::TLoadResult::missing:
      return {};
    case TIniFile::TLoadResult::loaded:
      break;
  }
  if (file.overlongLines() == 0) return {};
  return named + "has " + std::to_string(file.overlongLines()) +
         " line(s) longer than 64 KiB; they were not read (the values in them take their defaults) and "
         "are kept as they are.";
}

[[noreturn]] void failedToSet(const char* name) {
  throw std::runtime_error(std::string("Failed to set data for '") + name + "'");
}

}  // namespace

std::string settingsFilePath() {
  if (!extras().overriddenPath.empty()) return extras().overriddenPath;
  return xdgConfigHome() + "/Sorvelo/Sorvelo.conf";
}

void overrideSettingsFilePath(const std::string& path) { extras().overriddenPath = path; }

std::string storedHostsFileName() {
  TIniFile file;
  file.load(settingsFilePath());
  configRecord record;
  for (const TSettingKey& key : SettingKeys)
    if (key.text == &configRecord::hosts_file_name) loadValue(file, key, record);
  return record.hosts_file_name;
}

std::optional<std::string> extraSetting(const std::string& section, const std::string& name) {
  const auto& changed = extras().changed;
  for (auto it = changed.rbegin(); it != changed.rend(); ++it)
    if ((*it)[0] == section && (*it)[1] == name) return (*it)[2];
  return extras().loaded.value(section, name);
}

void setExtraSetting(const std::string& section, const std::string& name, const std::string& value) {
  extras().changed.push_back({section, name, value});
}

// A file that is missing or cannot be read gives the defaults, like a missing value; the user is told
// when the file is there and could not be read (whole).
void loadSettings() {
  const std::string path = settingsFilePath();
  removeLeftoverTemporaryFiles(path);
  TIniFile file;
  const std::string problem = loadProblem(file.load(path), file, path);
  if (!problem.empty()) showUserMessage(problem);
  for (const TSettingKey& key : SettingKeys) loadValue(file, key, settings);
  extras().loaded = file;
  extras().changed.clear();
}

// Lines of other sections and unknown names in the existing file are kept. Nothing reaches the disk
// unless every value can be stored: the old file stays whole on any failure. A file that is there
// but cannot be read (no permission, such as one left owned by root) may hold the user's settings
// whole: it is never replaced by the defaults.
void saveSettings() {
  const std::string path = settingsFilePath();
  TIniFile file;
  if (file.load(path) == TIniFile::TLoadResult::unreadable) failedToSet(SettingKeys.front().name);
  for (const TSettingKey& key : SettingKeys)
    if (!file.setValue(key.section, key.name, storedForm(key, settings))) failedToSet(key.name);
  for (const auto& [section, name, value] : extras().changed)
    if (!file.setValue(section, name, value)) failedToSet(name.c_str());
  if (!makeDirectories(parentDirectory(path)) || !writeFileAtomically(path, file.text()))
    failedToSet(SettingKeys.front().name);
}
