#include "historysettings.h"

#include <QDir>
#include <QFileInfo>
#include <QString>

#include <charconv>

#include "config/settings.h"

const std::array<THistorySettingKey, 4> HistorySettingKeys{{
    {"raw_days", 10, &THistoryLengths::rawDays},
    {"five_minute_days", 60, &THistoryLengths::fiveMinuteDays},
    {"hourly_days", 730, &THistoryLengths::hourlyDays},
    {"daily_days", 3650, &THistoryLengths::dailyDays},
}};

namespace {

std::optional<std::int32_t> days(const std::string& text) {
  std::int32_t value = 0;
  const char* end = text.data() + text.size();
  const auto [last, ec] = std::from_chars(text.data(), end, value);
  if (ec != std::errc() || last != end || value < 1 || value > MaxHistoryDays) return std::nullopt;
  return value;
}

}  // namespace

THistoryLengths historyLengths() {
  THistoryLengths lengths;
  for (const THistorySettingKey& key : HistorySettingKeys) {
    const std::optional<std::string> stored = extraSetting(HistorySection, key.name);
    const std::optional<std::int32_t> value = stored ? days(*stored) : std::nullopt;
    lengths.*key.field = value.value_or(key.defaultDays);
  }
  return lengths;
}

void setHistoryLengths(const THistoryLengths& lengths) {
  for (const THistorySettingKey& key : HistorySettingKeys)
    setExtraSetting(HistorySection, key.name, std::to_string(lengths.*key.field));
}

std::string historyFilePath(const std::string& hostsFileName) {
  const QFileInfo hostsFile(QString::fromStdString(hostsFileName));
  return QDir(hostsFile.absolutePath()).filePath(QStringLiteral("history.sqlite")).toStdString();
}
