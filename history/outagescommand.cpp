#include "outagescommand.h"

#include <QDate>
#include <QDateTime>
#include <QFileInfo>
#include <QRegularExpression>
#include <QString>

#include <algorithm>
#include <cstdio>
#include <exception>
#include <optional>

#include "config/settings.h"
#include "historyreader.h"
#include "historysettings.h"
#include "outages.h"
#include "outagesformat.h"

namespace {

constexpr std::int64_t DefaultSinceMs = 24 * 3'600'000LL;

struct TOutagesArgs {
  std::int64_t sinceMs = 0;
  bool json = false;
  std::string hostsFile;
  std::string configFile;
};

// "30m", "24h", "7d", or an ISO 8601 date ("2026-12-01", local midnight) or date-time (local time
// unless it carries its offset: "Z" or +hh:mm up to 14 hours). Every part is checked: a time that
// does not exist or is not a time is refused, never read as the day's midnight.
std::optional<std::int64_t> parseSince(const std::string& text, std::int64_t nowMs) {
  const QString value = QString::fromStdString(text).trimmed();
  static const QRegularExpression relative(QStringLiteral("^(\\d{1,6})([mhd])$"));
  if (const QRegularExpressionMatch m = relative.match(value); m.hasMatch()) {
    const std::int64_t unitMs = m.captured(2) == u'm' ? 60'000 : m.captured(2) == u'h' ? 3'600'000
                                                                                        : 86'400'000;
    return nowMs - m.captured(1).toLongLong() * unitMs;
  }
  static const QRegularExpression dateOnly(QStringLiteral("^\\d{4}-\\d{2}-\\d{2}$"));
  if (dateOnly.match(value).hasMatch()) {
    const QDate day = QDate::fromString(value, Qt::ISODate);
    if (!day.isValid()) return std::nullopt;
    return day.startOfDay().toMSecsSinceEpoch();
  }
  static const QRegularExpression dateTime(QStringLiteral(
      "^\\d{4}-\\d{2}-\\d{2}T\\d{2}:\\d{2}(:\\d{2}(\\.\\d{1,3})?)?(Z|[+-](\\d{2}):?(\\d{2}))?$"));
  const QRegularExpressionMatch m = dateTime.match(value);
  if (!m.hasMatch()) return std::nullopt;
  if (!m.captured(4).isEmpty() && (m.captured(4).toInt() > 14 || m.captured(5).toInt() > 59))
    return std::nullopt;
  QDateTime at = QDateTime::fromString(value, Qt::ISODateWithMs);
  if (!at.isValid()) at = QDateTime::fromString(value, Qt::ISODate);
  if (!at.isValid()) return std::nullopt;
  return at.toMSecsSinceEpoch();
}

// Reads the options; a message on `err` and nullopt for anything it does not know.
std::optional<TOutagesArgs> parseArgs(const std::vector<std::string>& args, std::int64_t nowMs,
                                      std::ostream& err) {
  TOutagesArgs parsed;
  parsed.sinceMs = nowMs - DefaultSinceMs;
  for (std::size_t i = 0; i < args.size(); ++i) {
    std::string name = args[i], value;
    bool hasValue = false;
    if (const std::size_t eq = name.find('='); name.rfind("--", 0) == 0 && eq != std::string::npos) {
      value = name.substr(eq + 1);
      name.resize(eq);
      hasValue = true;
    }
    if (name == "--outages" && !hasValue) continue;
    if (name != "--since" && name != "--format" && name != "--hosts" && name != "--config") {
      err << "sorvelo --outages: unknown argument '" << args[i] << "'\n";
      return std::nullopt;
    }
    if (!hasValue) {
      if (i + 1 >= args.size()) {
        err << "sorvelo --outages: " << name << " needs a value\n";
        return std::nullopt;
      }
      value = args[++i];
    }
    if (name == "--since") {
      const std::optional<std::int64_t> since = parseSince(value, nowMs);
      if (!since) {
        err << "sorvelo --outages: --since takes a duration such as 30m, 24h or 7d, or an ISO 8601 "
               "date or date-time; '" << value << "' is neither\n";
        return std::nullopt;
      }
      parsed.sinceMs = *since;
    } else if (name == "--format") {
      if (value != "csv" && value != "json") {
        err << "sorvelo --outages: --format is csv or json, not '" << value << "'\n";
        return std::nullopt;
      }
      parsed.json = value == "json";
    } else if (value.empty()) {
      err << "sorvelo --outages: " << name << " needs a file name\n";
      return std::nullopt;
    } else {
      (name == "--hosts" ? parsed.hostsFile : parsed.configFile) = value;
    }
  }
  return parsed;
}

}  // namespace

bool isOutagesCommand(int argc, char** argv) {
  for (int i = 1; i < argc; ++i)
    if (std::string(argv[i]) == "--outages") return true;
  return false;
}

int runOutagesCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                      std::int64_t nowMs) {
  if (nowMs == 0) nowMs = QDateTime::currentMSecsSinceEpoch();
  const std::optional<TOutagesArgs> parsed = parseArgs(args, nowMs, err);
  if (!parsed) return 2;
  if (!parsed->configFile.empty()) {
    if (!QFileInfo(QString::fromStdString(parsed->configFile)).isFile()) {
      err << "sorvelo --outages: there is no settings file " << parsed->configFile << '\n';
      return 2;
    }
    overrideSettingsFilePath(parsed->configFile);
  }
  try {
    loadSettings();
  } catch (const std::exception& e) {
    err << "sorvelo --outages: " << e.what() << '\n';
    return 1;
  }
  const std::string hostsFile =
      parsed->hostsFile.empty() ? settings.hosts_file_name : parsed->hostsFile;
  THistoryReader reader(historyFilePath(hostsFile));
  if (!reader.open()) {
    err << "sorvelo --outages: " << reader.errorText() << '\n';
    return 1;
  }
  const std::int32_t minLost = lostToDownSetting();
  const std::vector<THistoryHost> hosts = reader.hosts();
  const std::vector<std::int64_t> runBounds = reader.runBounds();
  std::vector<THostOutage> list;
  for (const THistoryHost& host : hosts)
    for (const TOutage& o :
         outagesOverlapping(reader, host, parsed->sinceMs, nowMs + 1, minLost, runBounds))
      list.push_back({host, o,
                      reader.lastHopDuring(host.address, o.startMs, o.endMs.value_or(nowMs + 1))});
  std::stable_sort(list.begin(), list.end(), [](const THostOutage& a, const THostOutage& b) {
    return a.outage.startMs < b.outage.startMs;
  });
  out << (parsed->json ? outagesJson(list) : outagesCsv(list));
  out.flush();
  return 0;
}
