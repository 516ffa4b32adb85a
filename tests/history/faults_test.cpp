// Faults of the database never stop monitoring: a file that is not a database, one of a newer
// version, a folder that cannot be written.

#include <QDir>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QVariant>

#include <chrono>

#include "historyfixture.h"

namespace {

using namespace std::chrono_literals;

int messagesContaining(const TMessageRecorder& recorder, const std::string& part) {
  int n = 0;
  for (const std::string& m : recorder.messages()) n += m.find(part) != std::string::npos;
  return n;
}

// Counts the results that reach other subscribers: the engine goes on whatever the database does.
struct TEchoCounter : TEngineObserver {
  int echoes = 0;
  void echoResult(const TTolvoHost&, const TEchoResult&) override { ++echoes; }
};

class FaultsTest : public HistoryFixture {};

TEST_F(FaultsTest, AFileThatIsNotADatabaseIsMovedAsideAndANewOneStarted) {
  const QByteArray junk("this is a hosts list, not a database\n" + QByteArray(4096, 'x'));
  {
    QFile file(QString::fromStdString(dbPath()));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(junk);
  }
  auto recorder = makeRecorder();
  auto host = makeHost("a", "a.lan", "127.0.0.2");
  hub.hostAdded(*host);
  echo(*host, DayStartMs, 100);
  recorder->start(dbPath());
  ASSERT_TRUE(recorder->waitWritten(5s));

  const QStringList aside = QDir(dir.path()).entryList({"history.sqlite.broken-*"}, QDir::Files);
  ASSERT_EQ(aside.size(), 1);
  QFile moved(QDir(dir.path()).filePath(aside[0]));
  ASSERT_TRUE(moved.open(QIODevice::ReadOnly));
  EXPECT_EQ(moved.readAll(), junk);
  EXPECT_EQ(messagesContaining(messages, "was moved to"), 1);
  THistoryReader reader(dbPath());
  EXPECT_EQ(reader.echoes(reader.hosts().at(0).id, DayStartMs, DayStartMs + 1).size(), 1u);
}

// A file of the first version (no runs table) is upgraded in place and keeps its results.
TEST_F(FaultsTest, AFileOfTheFirstVersionIsUpgradedAndKeepsItsResults) {
  auto host = makeHost("a", "a.lan", "127.0.0.2");
  {
    auto recorder = makeRecorder();
    hub.hostAdded(*host);
    echo(*host, DayStartMs, 100);
    recorder->start(dbPath());
    ASSERT_TRUE(recorder->waitWritten(5s));
  }
  {
    QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "first");
    db.setDatabaseName(QString::fromStdString(dbPath()));
    ASSERT_TRUE(db.open());
    QSqlQuery q(db);
    // Back to the first version's tables.
    for (const char* table : {"runs", "path_rounds", "path_hops", "path_changes", "address_changes",
                              "path_summaries", "path_summaries_due"})
      ASSERT_TRUE(q.exec(QStringLiteral("DROP TABLE %1").arg(table)));
    ASSERT_TRUE(q.exec("PRAGMA user_version = 1"));
  }
  QSqlDatabase::removeDatabase("first");
  nowMs = DayStartMs + 60'000;
  auto recorder = makeRecorder();
  recorder->start(dbPath());
  echo(*host, DayStartMs + 60'000, 200);
  ASSERT_TRUE(recorder->waitWritten(5s));
  THistoryReader reader(dbPath());
  EXPECT_EQ(reader.echoes(reader.hosts().at(0).id, DayStartMs, nowMs + 1).size(), 2u);
  EXPECT_EQ(reader.runBounds(), std::vector<std::int64_t>{DayStartMs + 60'000});
}

TEST_F(FaultsTest, ADatabaseOfANewerVersionIsKeptAndNotWritten) {
  {
    QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "newer");
    db.setDatabaseName(QString::fromStdString(dbPath()));
    ASSERT_TRUE(db.open());
    QSqlQuery q(db);
    ASSERT_TRUE(q.exec("CREATE TABLE future (x)"));
    ASSERT_TRUE(q.exec("PRAGMA user_version = 7"));
  }
  QSqlDatabase::removeDatabase("newer");
  QFile file(QString::fromStdString(dbPath()));
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const QByteArray before = file.readAll();
  file.close();

  auto recorder = makeRecorder();
  auto host = makeHost("a", "a.lan", "127.0.0.2");
  hub.hostAdded(*host);
  recorder->start(dbPath());
  for (int i = 0; i < 5; ++i) {
    echo(*host, DayStartMs + i, 100);
    EXPECT_FALSE(recorder->waitWritten(2s));
  }
  recorder->stop();
  EXPECT_TRUE(recorder->stats().refused);
  EXPECT_EQ(messagesContaining(messages, "newer version"), 1);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  EXPECT_EQ(file.readAll(), before);
  EXPECT_FALSE(THistoryReader(dbPath()).open());
}

TEST_F(FaultsTest, AFolderThatCannotBeWrittenGivesOneMessageAndRecordingResumes) {
  const QString folder = QDir(dir.path()).filePath("hosts");
  ASSERT_TRUE(QDir().mkpath(folder));
  const std::string path = QDir(folder).filePath("history.sqlite").toStdString();
  // A read-only folder. Root writes into one all the same: then the folder's place is taken by a
  // plain file, which fails the same way (the file cannot be created).
  QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
  const bool enforced = !QFile(QDir(folder).filePath("probe")).open(QIODevice::WriteOnly);
  if (!enforced) {
    QFile::remove(QDir(folder).filePath("probe"));
    QDir(folder).removeRecursively();
    QFile blocker(folder);
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
  }
  TEchoCounter counter;
  auto recorder = makeRecorder();
  hub.subscribe(&counter);
  auto host = makeHost("a", "a.lan", "127.0.0.2");
  hub.hostAdded(*host);
  recorder->start(path);
  for (int i = 0; i < 20; ++i) {
    echo(*host, DayStartMs + i * 1000LL, 100 + i);
    EXPECT_FALSE(recorder->waitWritten(50ms));
  }
  EXPECT_EQ(counter.echoes, 20);
  EXPECT_EQ(messagesContaining(messages, "cannot be written"), 1);
  EXPECT_EQ(messages.messages().size(), 1u);

  if (enforced) {
    QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                      QFileDevice::ExeOwner);
  } else {
    QFile::remove(folder);
    QDir().mkpath(folder);
  }
  ASSERT_TRUE(recorder->waitWritten(5s));
  hub.unsubscribe(&counter);
  THistoryReader reader(path);
  EXPECT_EQ(reader.echoes(reader.hosts().at(0).id, DayStartMs, DayStartMs + 60'000).size(), 20u);
}

}  // namespace
