// The main window's activation step: the questions in their order with their exact wording, what
// the answers change, and the start-up version check against a server of the test's own on
// 127.0.0.1.

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QFile>
#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <QWidget>

#include <memory>
#include <string>
#include <vector>

#include "activation_boxanswerer.h"
#include "config/programpath.h"
#include "config/settings.h"
#include "config/startupentry.h"
#include "base/tolvotime.h"
#include "ui/program/mainactivation.h"
#include "ui/common/siteaddresses.h"

namespace {

constexpr auto Yes = QMessageBox::Yes;
constexpr auto No = QMessageBox::No;

// A version page on 127.0.0.1: counts connections, keeps each request, and answers with the given
// lines once the request body has arrived (or never, when told to stay silent).
class TVersionServer {
 public:
  explicit TVersionServer(std::vector<std::string> reply, bool silent = false)
      : replyLines(std::move(reply)), quiet(silent) {
    server.listen(QHostAddress::LocalHost, 0);
    QObject::connect(&server, &QTcpServer::newConnection, [this] { accept(); });
  }

  TVersionCheckTarget target() const {
    const std::string port = std::to_string(server.serverPort());
    return {"http://127.0.0.1:" + port + "/versioncheck", "127.0.0.1", server.serverPort()};
  }

  int connections = 0;
  std::vector<QByteArray> requests;

 private:
  void accept() {
    while (QTcpSocket* socket = server.nextPendingConnection()) {
      ++connections;
      requests.emplace_back();
      const std::size_t index = requests.size() - 1;
      QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket, index] {
        requests[index] += socket->readAll();
        if (quiet || !requests[index].contains(VersionCheckBody)) return;
        // No line end after the last line: the client's closing step then adds no empty entry,
        // and replyLines holds exactly these lines.
        QByteArray text;
        for (const std::string& line : replyLines) text += QByteArray::fromStdString(line) + "\r\n";
        text.chop(2);
        socket->write(text);
        socket->disconnectFromHost();
      });
    }
  }

  QTcpServer server;
  std::vector<std::string> replyLines;
  bool quiet;
};

std::vector<std::string> reply(int lines, const std::string& eighth = "Newest version: 1.0.6.0") {
  std::vector<std::string> out{"HTTP/1.0 200 OK", "Content-Type: text/plain", "Server: test",
                               "Connection: close", "", "Sorvelo version page", "-"};
  if (lines > 7) out.push_back(eighth);
  for (int i = 8; i < lines; ++i) out.push_back("extra line " + std::to_string(i));
  out.resize(static_cast<std::size_t>(lines));
  return out;
}

class ActivationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    saved = settings;
    settings = configRecord{};
    settings.firsttime = 0;
    settings.checkversion = 1;
    QFile::remove(QString::fromStdString(startupEntryPath()));
    // Nothing listens on a port just released: a refused connection ends any unplanned check.
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    activation.target = {"http://127.0.0.1/versioncheck", "127.0.0.1", probe.serverPort()};
  }
  void TearDown() override {
    QFile::remove(QString::fromStdString(startupEntryPath()));
    settings = saved;
  }

  TActivationActions actions() {
    return {[this] { ++startStops; }, [this] { ++closes; }};
  }

  configRecord saved;
  QWidget window;
  TMainActivation activation;
  int startStops = 0;
  int closes = 0;
};

std::string folderText() {
  return "Is \n\n" + programDirectory() +
         "/\n\n the directory you're going to run this program? If no, copy the EXE to correct "
         "directory (like c:\\tolvo) since after you have answered YES, the settings are made "
         "based on this directory. By selecting NO, settings are not generated.";
}

TEST_F(ActivationTest, FirstRunAsksTheFourQuestionsInOrder) {
  settings.firsttime = 1;
  settings.checkversion = 0;
  TBoxAnswerer answers({Yes, Yes, Yes, Yes});
  EXPECT_TRUE(activation.activate(&window, actions()));
  ASSERT_EQ(answers.seen.size(), 4u);
  const std::vector<std::pair<QString, std::string>> expected{
      {"Confirm", "Do you want Sorvelo to check newer version when you start the program?"},
      {"Warning", folderText()},
      {"Confirm", "Do you want Sorvelo to start when you start windows?"},
      {"Confirm", "Do you want Sorvelo to start the pinging automatically when you start the program?"}};
  for (std::size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(answers.seen[i].title, expected[i].first) << i;
    EXPECT_EQ(answers.seen[i].text.toStdString(), expected[i].second) << i;
    EXPECT_EQ(answers.seen[i].buttons, QMessageBox::Yes | QMessageBox::No) << i;
    EXPECT_EQ(answers.seen[i].icon, i == 1 ? QMessageBox::Warning : QMessageBox::Question) << i;
  }
  EXPECT_EQ(settings.checkversion, 2);
  EXPECT_EQ(settings.firsttime, 0);
  EXPECT_TRUE(settings.auto_startup);
  EXPECT_EQ(startStops, 1);
  EXPECT_EQ(closes, 0);
  EXPECT_TRUE(QFile::exists(QString::fromStdString(startupEntryPath())));
  EXPECT_TRUE(activation.versionCheckRan);  // the first Yes asked for it
}

TEST_F(ActivationTest, NoToTheLaterQuestionsChangesNothingButFirstTime) {
  settings.firsttime = 1;
  settings.checkversion = 0;
  TBoxAnswerer answers({No, Yes, No, No});
  EXPECT_TRUE(activation.activate(&window, actions()));
  EXPECT_EQ(answers.seen.size(), 4u);
  EXPECT_EQ(settings.checkversion, 1);
  EXPECT_EQ(settings.firsttime, 0);
  EXPECT_FALSE(settings.auto_startup);
  EXPECT_EQ(startStops, 0);
  EXPECT_FALSE(QFile::exists(QString::fromStdString(startupEntryPath())));
  EXPECT_FALSE(activation.versionCheckRan);

  // Set up: later activations ask nothing.
  TBoxAnswerer later;
  EXPECT_TRUE(activation.activate(&window, actions()));
  EXPECT_TRUE(later.seen.empty());
}

// Pinging that was already switched on (by the settings) is started even when the question is
// answered No.
TEST_F(ActivationTest, AutomaticPingingFromTheSettingsStartsOnFirstRun) {
  settings.firsttime = 1;
  settings.auto_startup = true;
  TBoxAnswerer answers({Yes, No, No});
  EXPECT_TRUE(activation.activate(&window, actions()));
  EXPECT_EQ(answers.seen.size(), 3u);
  EXPECT_EQ(startStops, 1);
}

TEST_F(ActivationTest, NoToTheFolderQuestionClosesAndTheNextStartAsksAgain) {
  settings.firsttime = 1;
  settings.checkversion = 0;
  {
    TBoxAnswerer answers({Yes, No});
    EXPECT_FALSE(activation.activate(&window, actions()));
    EXPECT_EQ(answers.seen.size(), 2u);
    EXPECT_EQ(closes, 1);
    EXPECT_EQ(startStops, 0);
    EXPECT_EQ(settings.firsttime, 1);
    EXPECT_FALSE(activation.versionCheckRan);
  }
  {
    // Still the same run: the folder question comes again, the version question does not.
    TBoxAnswerer answers({No});
    EXPECT_FALSE(activation.activate(&window, actions()));
    ASSERT_EQ(answers.seen.size(), 1u);
    EXPECT_EQ(answers.seen[0].title, "Warning");
  }
  // The settings were never saved, so the next start reads none and asks everything again.
  settings = configRecord{};
  loadSettings();
  ASSERT_EQ(settings.firsttime, 1);
  ASSERT_EQ(settings.checkversion, 0);
  TMainActivation nextStart;
  nextStart.target = activation.target;
  TBoxAnswerer answers({No, No});
  EXPECT_FALSE(nextStart.activate(&window, actions()));
  ASSERT_EQ(answers.seen.size(), 2u);
  EXPECT_EQ(answers.seen[0].text,
            "Do you want Sorvelo to check newer version when you start the program?");
  EXPECT_EQ(answers.seen[1].title, "Warning");
}

// Closing one of the boxes activates the main window again; that activation asks nothing.
TEST_F(ActivationTest, AnActivationInsideAnActivationAsksNothing) {
  settings.firsttime = 1;
  settings.checkversion = 0;
  TBoxAnswerer answers({No, Yes, No, No});
  int nestedResults = 0;
  answers.onBox = [&](const TSeenBox&) {
    if (activation.activate(&window, actions())) ++nestedResults;
  };
  EXPECT_TRUE(activation.activate(&window, actions()));
  EXPECT_EQ(answers.seen.size(), 4u);
  EXPECT_EQ(nestedResults, 4);
}

TEST_F(ActivationTest, OneVersionCheckPerProcessShowingTheEighthLine) {
  settings.checkversion = 2;
  TVersionServer server(reply(9));
  activation.target = server.target();
  TBoxAnswerer answers;
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(activation.activate(&window, actions()));
  EXPECT_EQ(server.connections, 1);
  ASSERT_EQ(server.requests.size(), 1u);
  EXPECT_TRUE(server.requests[0].startsWith("POST "));
  EXPECT_TRUE(server.requests[0].endsWith(QByteArray("\r\n\r\n") + VersionCheckBody + "\r\n"));
  ASSERT_EQ(answers.seen.size(), 1u);
  EXPECT_EQ(answers.seen[0].text, "Newest version: 1.0.6.0");
  EXPECT_EQ(answers.seen[0].title, ApplicationTitle);
  EXPECT_EQ(answers.seen[0].buttons, QMessageBox::Ok);
  EXPECT_EQ(answers.seen[0].icon, QMessageBox::NoIcon);
}

TEST_F(ActivationTest, SevenLinesShowNothing) {
  settings.checkversion = 2;
  TVersionServer server(reply(7));
  activation.target = server.target();
  TBoxAnswerer answers;
  activation.activate(&window, actions());
  EXPECT_EQ(server.connections, 1);
  EXPECT_TRUE(answers.seen.empty());
}

TEST_F(ActivationTest, TheMarkerLineInAnyCaseIsShownInASecondBox) {
  settings.checkversion = 2;
  std::vector<std::string> lines = reply(10, "Version 1.0.6.0 is out");
  lines[9] = "#versioncheck#";
  TVersionServer server(lines);
  activation.target = server.target();
  TBoxAnswerer answers;
  activation.activate(&window, actions());
  ASSERT_EQ(answers.seen.size(), 2u);
  EXPECT_EQ(answers.seen[0].text, "Version 1.0.6.0 is out");
  EXPECT_EQ(answers.seen[1].text, "#versioncheck#");
  EXPECT_EQ(answers.seen[1].title, ApplicationTitle);
}

TEST_F(ActivationTest, MarkupFromTheServerIsShownAsPlainText) {
  settings.checkversion = 2;
  const std::string hostile = "<img src=\"file:///etc/passwd\"><b>new</b>";
  TVersionServer server(reply(8, hostile));
  activation.target = server.target();
  TBoxAnswerer answers;
  activation.activate(&window, actions());
  ASSERT_EQ(answers.seen.size(), 1u);
  EXPECT_EQ(answers.seen[0].text, QString::fromStdString(hostile));
  EXPECT_EQ(answers.seen[0].format, Qt::PlainText);
}

TEST_F(ActivationTest, NoCheckWhenNotChosen) {
  TVersionServer server(reply(9));
  activation.target = server.target();
  for (int value : {0, 1}) {
    settings.checkversion = value;
    TBoxAnswerer answers({No});
    activation.activate(&window, actions());
  }
  EXPECT_EQ(server.connections, 0);
  EXPECT_FALSE(activation.versionCheckRan);
}

TEST_F(ActivationTest, ASilentServerEndsTheWaitAfterAboutFiveSeconds) {
  settings.checkversion = 2;
  TVersionServer server({}, true);
  activation.target = server.target();
  TBoxAnswerer answers;
  QElapsedTimer wall;
  wall.start();
  activation.activate(&window, actions());
  const qint64 ms = wall.elapsed();
  EXPECT_EQ(server.connections, 1);
  // Whole stamp seconds: between four and five seconds, never past the 6 s wall-clock limit.
  EXPECT_GE(ms, 3900);
  EXPECT_LE(ms, 6300);
  EXPECT_TRUE(answers.seen.empty());
}

// A date-time clock that stands still (or jumps back across the turn of the year) cannot hold the
// wait open: the wall-clock limit ends it.
TEST_F(ActivationTest, TheWallClockLimitEndsTheWaitWhateverTheDateClockDoes) {
  settings.checkversion = 2;
  TVersionServer server({}, true);
  activation.target = server.target();
  TManualClock frozen(encodeDateTime(2024, 12, 31, 23, 59, 59));
  activation.clock = &frozen;
  activation.wallLimit = std::chrono::milliseconds(800);
  QElapsedTimer wall;
  wall.start();
  activation.activate(&window, actions());
  EXPECT_GE(wall.elapsed(), 750);
  EXPECT_LE(wall.elapsed(), 2500);
  EXPECT_EQ(server.connections, 1);
}

}  // namespace
