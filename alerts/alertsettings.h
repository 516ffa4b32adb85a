#pragma once
// The settings of alerts, section [alerts] of the settings file: every key, its default and its
// allowed range named once in the table of alertsettings.cpp, read and written by the same code.
//
// Per-host values live in the same section keyed by the host's address, so the hosts file keeps its
// format: "down_after.10.0.0.1=5", "up_after.10.0.0.1=1", "notify.10.0.0.1=0".
//
// A value outside its range (0, negative, absurd, not a number) is refused with a message: loading
// keeps the default for it, storing leaves the file as it was.

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "webhooksettings.h"

struct TAlertSettings {
  bool notify = true;              // desktop notifications at all
  bool quietWhileStopped = true;   // none while pinging is stopped
  std::int32_t lostToDown = 3;     // consecutive lost echoes before a host counts as down
  std::int32_t answersToUp = 2;    // consecutive answers before it counts as up again
  double degradedLossPercent = 5;  // loss over 5 minutes at or above this is degraded; 0 = off
  std::int32_t degradedRttMs = 0;  // mean round trip over 5 minutes above this is degraded; 0 = off
  double degradedRttFactor = 3;    // ... or above this multiple of the 24-hour median; 0 = off
  std::int32_t degradedMinEchoes = 10;  // echoes in the 5 minutes needed before judging
  std::vector<std::string> command;     // program and arguments; empty = none
  TWebhookSettings webhook;             // where changes are posted

  // Per-host overrides by address.
  std::map<std::string, std::int32_t> downAfter;
  std::map<std::string, std::int32_t> upAfter;
  std::map<std::string, bool> notifyHost;

  std::int32_t lostToDownFor(const std::string& address) const;
  std::int32_t answersToUpFor(const std::string& address) const;
  bool notifyFor(const std::string& address) const;

  // Reads [alerts]; every refused value adds a message to `problems` (when given) and keeps its
  // default. Per-host keys are read for the addresses given.
  static TAlertSettings load(const std::vector<std::string>& addresses,
                             std::vector<std::string>* problems = nullptr);
  // Writes every global value and the overrides of the addresses given (an address without an
  // override has its keys emptied).
  void store(const std::vector<std::string>& addresses) const;
};

// Checks one value of a global key ("lost_to_down", "degraded_loss_percent", ...) as typed; the
// message that refuses it, or nothing when it is fine. Per-host keys use "down_after"/"up_after".
std::optional<std::string> checkAlertSetting(const std::string& key, const std::string& text);

// The command as stored (words separated by tabs) and back.
std::vector<std::string> splitCommandWords(const std::string& stored);
std::string joinCommandWords(const std::vector<std::string>& words);
