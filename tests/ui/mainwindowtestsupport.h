#pragma once
// What the main-window tests share: a settings file and a hosts file of the test's own in a
// temporary folder, the general log read back as entries, a fake echo service the test switches
// between answering and failing, bounded waits, and a timer that answers message boxes.

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "config/settings.h"
#include "core/threadping.h"
#include "icmp/ping.h"
#include "base/tolvotime.h"
#include "ui/program/tfrmmain.h"

namespace uitest {

// Processes events until `done` holds or the time limit passes; returns `done()`.
inline bool waitUntil(const std::function<bool()>& done, int limitMs = 3000) {
  QElapsedTimer timer;
  timer.start();
  while (!done() && timer.elapsed() < limitMs) {
    QApplication::processEvents(QEventLoop::AllEvents, 10);
    QThread::msleep(1);
  }
  return done();
}

inline std::string readFile(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return {};
  return file.readAll().toStdString();
}

inline void writeFile(const QString& path, const std::string& text) {
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
  file.write(text.data(), static_cast<qint64>(text.size()));
}

// One host block of the hosts file.
struct THostEntry {
  std::string callingName;
  std::string address;
  int succeeded = 0;
  int failed = 0;
  int interval = 1;
};

inline std::string hostsFileText(const std::vector<THostEntry>& hosts) {
  std::string text;
  for (const THostEntry& h : hosts) {
    text += "NEW_HOST_START $$@@$$ \r\n";
    text += "HOSTCALLINGNAME %STRING% " + h.callingName + "\r\n";
    text += "HOSTNAME %STRING% " + h.address + "\r\n";
    text += "HOSTIPADDRESS %STRING% " + h.address + "\r\n";
    text += "TIMEOUT %INTEGER% 1000\r\n";
    text += "INTERVAL %INTEGER% " + std::to_string(h.interval) + "\r\n";
    text += "SUCCEEDEDCOUNT %INTEGER% " + std::to_string(h.succeeded) + "\r\n";
    text += "FAILEDCOUNT %INTEGER% " + std::to_string(h.failed) + "\r\n";
    text += "NEW_HOST_END $$@@$$ \r\n";
  }
  return text;
}

// Kind, subject and state of one log line (fields 7 to 9).
struct TLogEntry {
  std::string kind, subject, state;
  // "STARTUP", "PINGING START", "TIMESTAMP <text>"; "CONNECTION_STATUS UP", "HOST_STATUS DOWN".
  std::string text() const {
    const std::string head = kind == "PROGRAM" ? subject : kind;
    return head + (state.empty() ? "" : " " + state);
  }
};

inline std::vector<TLogEntry> readLog(const QString& path) {
  std::vector<TLogEntry> entries;
  const QStringList lines = QString::fromStdString(readFile(path)).split(QStringLiteral("\r\n"));
  for (const QString& line : lines) {
    const QStringList fields = line.split(QLatin1Char(';'));
    if (fields.size() < 10) continue;
    entries.push_back({fields[6].toStdString(), fields[7].toStdString(), fields[8].toStdString()});
  }
  return entries;
}

// The entries as "SUBJECT STATE" texts, the way the tests compare them.
inline std::vector<std::string> logTexts(const QString& path) {
  std::vector<std::string> texts;
  for (const TLogEntry& e : readLog(path)) texts.push_back(e.text());
  return texts;
}

// An echo service whose answer the test sets; counts the echoes asked of it.
struct TFakeEcho {
  std::shared_ptr<std::atomic<bool>> answer = std::make_shared<std::atomic<bool>>(true);
  std::shared_ptr<std::atomic<int>> echoes = std::make_shared<std::atomic<int>>(0);
  // No permission for ICMP sockets: every echo fails to open the facility.
  std::shared_ptr<std::atomic<bool>> refused = std::make_shared<std::atomic<bool>>(false);

  TEchoService service() const {
    return [answer = answer, echoes = echoes, refused = refused](const std::string&, std::int32_t) {
      if (*refused)
        throw TICMPException("Unable to get ping handle", "Not permitted. Allow it with: setcap x");
      ++*echoes;
      return *answer ? TEchoOutcome{true, 7} : TEchoOutcome{false, -1};
    };
  }
};

// Answers every modal message box with its first button and records what it showed.
class TMessageBoxClicker {
 public:
  struct TSeen {
    QString title;
    QString text;
    bool mainWindowVisible = false;
    Qt::TextFormat format = Qt::AutoText;
  };

  explicit TMessageBoxClicker(int limitMs = 10000) {
    clock.start();
    timer.setInterval(10);
    QObject::connect(&timer, &QTimer::timeout, [this, limitMs] {
      if (clock.elapsed() > limitMs) timer.stop();  // never outlive the test by much
      poll();
    });
    timer.start();
  }

  std::vector<TSeen> seen;

 private:
  void poll() {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box || !box->isVisible() || box->property("clicked").toBool()) return;
    box->setProperty("clicked", true);
    bool mainVisible = false;
    for (QWidget* w : QApplication::topLevelWidgets())
      if (qobject_cast<TfrmMain*>(w) && w->isVisible()) mainVisible = true;
    seen.push_back({box->windowTitle(), box->text(), mainVisible, box->textFormat()});
    if (!box->buttons().isEmpty()) box->buttons().first()->click();
  }

  QElapsedTimer clock;
  QTimer timer;
};

// A temporary folder with the settings file, the hosts file and the general log of one test.
class TProgramFiles {
 public:
  TProgramFiles() {
    EXPECT_TRUE(dir.isValid());
    QDir().mkpath(QFileInfo(settingsPath()).path());
  }
  ~TProgramFiles() { QFile::remove(settingsPath()); }

  QString logPath() const { return dir.filePath(QStringLiteral("general_log.txt")); }
  QString hostsPath() const { return dir.filePath(QStringLiteral("hosts.cfg")); }
  static QString settingsPath() { return QString::fromStdString(settingsFilePath()); }

  // A run that has been set up (firsttime 0, no version check), with the log and hosts file here;
  // `changes` replaces or adds values, "name" -> text ("" removes the value).
  void writeSettings(const std::map<std::string, std::string>& changes = {}) const {
    std::map<std::string, std::string> values = {
        {"general_log_enabled", "1"}, {"host_log_enabled", "1"},
        {"general_log_filename", logPath().toStdString()},
        {"hosts_file_name", hostsPath().toStdString()},
        {"ping_speed", "1"},          {"auto_startup", "0"},
        {"firsttime", "0"},           {"logtimestampinterval", "60"},
        {"checkversion", "1"}};
    for (const auto& [name, value] : changes) values[name] = value;
    const std::map<std::string, std::vector<std::string>> sections = {
        {"logging", {"general_log_enabled", "host_log_enabled", "general_log_filename"}},
        {"hosts", {"hosts_file_name"}},
        {"pinging", {"ping_speed", "auto_startup"}},
        {"general", {"firsttime", "logtimestampinterval", "checkversion"}}};
    std::string text;
    for (const auto& [section, names] : sections) {
      text += "[" + section + "]\n";
      for (const std::string& name : names)
        if (!values[name].empty()) text += name + "=" + values[name] + "\n";
    }
    writeFile(settingsPath(), text);
  }

  void writeHosts(const std::vector<THostEntry>& hosts) const {
    writeFile(hostsPath(), hostsFileText(hosts));
  }

  std::vector<std::string> log() const { return logTexts(logPath()); }

 private:
  QTemporaryDir dir;
};

}  // namespace uitest
