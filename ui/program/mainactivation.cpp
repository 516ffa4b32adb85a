#include "ui/program/mainactivation.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QMessageBox>
#include <QTimer>

#include <cctype>
#include <exception>

#include "config/programpath.h"
#include "config/settings.h"
#include "config/startupentry.h"
#include "base/tolvotime.h"
#include "net/kestohttp.h"
#include "ui/common/siteaddresses.h"

namespace {

constexpr int ReplyLineShown = 7;         // the eighth line: status line and headers count
constexpr std::int32_t WaitStampSeconds = 5;
constexpr int WakeIntervalMs = 100;       // how often the wait looks at the clocks between events

bool askYesNo(QWidget* parent, QMessageBox::Icon icon, const QString& title, const QString& text) {
  QMessageBox box(icon, title, text, QMessageBox::Yes | QMessageBox::No, parent);
  box.setDefaultButton(QMessageBox::Yes);
  return box.exec() == QMessageBox::Yes;
}

bool confirm(QWidget* parent, const char* text) {
  return askYesNo(parent, QMessageBox::Question, QStringLiteral("Confirm"),
                  QString::fromLatin1(text));
}

void showPlain(QWidget* parent, const std::string& text) {
  QMessageBox box(QMessageBox::NoIcon, QString::fromLatin1(ApplicationTitle),
                  QString::fromStdString(text), QMessageBox::Ok, parent);
  // The server's words are shown as they are: markup in them is never interpreted.
  box.setTextFormat(Qt::PlainText);
  box.exec();
}

QString folderQuestion() {
  const std::string text =
      std::string("Is ") + "\n\n" + programDirectory() + "/" + "\n\n" +
      " the directory you're going to " +
      "run this program? If no, copy the EXE to correct directory (like c:\\tolvo) since after you "
      "have " +
      "answered YES, the settings are made based on this directory. By selecting NO, settings are "
      "not generated.";
  return QString::fromStdString(text);
}

bool equalsIgnoringCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    const auto x = static_cast<unsigned char>(a[i]);
    const auto y = static_cast<unsigned char>(b[i]);
    if (std::tolower(x) != std::tolower(y)) return false;
  }
  return true;
}

}  // namespace

TMainActivation::TMainActivation()
    : target{VersionCheckUrl, VersionCheckHost, VersionCheckPort} {}

bool TMainActivation::activate(QWidget* mainWindow, const TActivationActions& actions) {
  if (running) return true;
  running = true;
  struct Reset {
    bool& flag;
    ~Reset() { flag = false; }
  } reset{running};

  if (settings.checkversion == 0) {
    settings.checkversion =
        confirm(mainWindow, "Do you want Sorvelo to check newer version when you start the program?")
            ? 2
            : 1;
  }
  if (settings.firsttime == 1 && !askFirstRunQuestions(mainWindow, actions)) return false;
  settings.firsttime = 0;
  if (settings.checkversion == 2 && !versionCheckRan) {
    versionCheckRan = true;  // first, so an activation during the wait starts no second check
    runVersionCheck(mainWindow);
  }
  return true;
}

bool TMainActivation::askFirstRunQuestions(QWidget* mainWindow, const TActivationActions& actions) {
  if (!askYesNo(mainWindow, QMessageBox::Warning, QStringLiteral("Warning"), folderQuestion())) {
    if (actions.closeMainWindow) actions.closeMainWindow();
    return false;
  }
  if (confirm(mainWindow, "Do you want Sorvelo to start when you start windows?")) {
    // A start-up entry that cannot be written is reported; the remaining questions still come.
    try {
      addToStartup();
    } catch (const std::exception& e) {
      QMessageBox::critical(mainWindow, QString::fromLatin1(ApplicationTitle),
                            QString::fromStdString(e.what()));
    }
  }
  if (confirm(mainWindow,
              "Do you want Sorvelo to start the pinging automatically when you start the program?")) {
    settings.auto_startup = true;
  }
  if (settings.auto_startup && actions.startStopClick) actions.startStopClick();
  return true;
}

// Waits on the event loop (asleep until the next event or the wake-up timer) until the client is
// done, 5 stamp seconds have passed, or the wall-clock limit is reached. The stamp difference is
// taken with stampSecondsSince, which stays right across the turn of the year; the wall-clock limit
// bounds the wait even if the date-time clock jumps back.
void TMainActivation::runVersionCheck(QWidget* mainWindow) {
  const TClock& now = clock ? *clock : systemClock();
  TKestoHttp http;
  http.url = target.url;
  http.host = target.host;
  http.port = target.port;
  http.postData = VersionCheckBody;

  const TDateTime start = now.now();
  QElapsedTimer wall;
  wall.start();
  http.connect();

  QTimer wake;
  wake.start(WakeIntervalMs);
  QEventLoop loop;
  while (!http.done) {
    if (stampSecondsSince(now.now(), start) >= WaitStampSeconds) break;
    if (wall.elapsed() >= wallLimit.count()) break;
    loop.processEvents(QEventLoop::WaitForMoreEvents);
  }
  wake.stop();

  const std::vector<std::string> lines = http.replyLines;
  if (lines.size() <= ReplyLineShown) return;
  showPlain(mainWindow, lines[ReplyLineShown]);
  for (const std::string& line : lines) {
    std::string bare = line;
    if (!bare.empty() && bare.back() == '\r') bare.pop_back();
    if (equalsIgnoringCase(bare, "#VERSIONCHECK#")) {
      showPlain(mainWindow, bare);
      break;
    }
  }
}
