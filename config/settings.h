#pragma once
// The program's settings: one process-wide record, read from the per-user settings file at start and
// written back at an orderly close.
//
// The file is $XDG_CONFIG_HOME/Sorvelo/Sorvelo.conf (~/.config when the variable is unset), an INI
// file with the sections [logging], [hosts], [pinging] and [general]; every value is text
// ("0"/"1", decimal integers, file names). The location is worked out at every call, so tests that set
// XDG_CONFIG_HOME never touch the user's own file.

#include <cstdint>
#include <optional>
#include <string>

struct configRecord {
  bool general_log_enabled = false;
  bool host_log_enabled = false;
  std::string general_log_filename;
  std::string hosts_file_name;
  std::int32_t ping_speed = 0;
  bool auto_startup = false;
  std::int32_t firsttime = 0;
  std::int32_t logtimestampinterval = 0;
  std::int32_t checkversion = 0;

  bool operator==(const configRecord&) const = default;
};

// Zeroed until loadSettings has run.
extern configRecord settings;

// Fills `settings` from the file, with the defaults for whatever is missing.
void loadSettings();
// Writes all nine values (atomically: a temporary file renamed over the old one). Throws
// std::runtime_error("Failed to set data for '<value name>'") when the file cannot be written.
void saveSettings();

std::string settingsFilePath();
// The hosts file the settings file names (the default when it names none), read without telling
// the user about problems in the file: for the checks made before the settings are loaded.
std::string storedHostsFileName();
// Another settings file than the per-user one (the command line's --config); empty goes back.
void overrideSettingsFilePath(const std::string& path);

// The settings of the parts beyond the nine values above live in sections of their own
// ([history], [alerts], [metrics], [overview], ...) of the same file. loadSettings reads them along,
// they are kept as text, and saveSettings writes the ones that were set. Each part names its keys and
// defaults in one table of its own.
std::optional<std::string> extraSetting(const std::string& section, const std::string& name);
void setExtraSetting(const std::string& section, const std::string& name, const std::string& value);
