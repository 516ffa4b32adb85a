// The About box, the tray icon, the message-box sink and the signal-driven shutdown.

#include <gtest/gtest.h>

#include <QFontDatabase>
#include <QFontInfo>
#include <QGuiApplication>
#include <QImage>
#include <QLabel>
#include <QPlainTextEdit>
#include <QScreen>
#include <QSet>
#include <QSystemTrayIcon>
#include <QTextBlock>

#include <csignal>
#include <thread>

#include "base/usermessages.h"
#include "mainwindowtestsupport.h"
#include "ui/common/siteaddresses.h"
#include "ui/program/programpictures.h"
#include "ui/program/signalshutdown.h"
#include "ui/standard/tfrmabout.h"
#include "ui/program/trayicon.h"
#include "ui/program/usermessagebox.h"

namespace {

QStringList memoLines(const QPlainTextEdit& memo) {
  QStringList lines;
  for (QTextBlock b = memo.document()->begin(); b.isValid(); b = b.next()) lines << b.text();
  return lines;
}

TEST(AboutBox, ShowsTheSameEightLinesAtEveryShowing) {
  TfrmAbout about;
  for (int showing = 0; showing < 2; ++showing) {
    about.show();
    const QStringList lines = memoLines(*about.Memo1);
    ASSERT_EQ(lines.size(), 8) << lines.join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(lines[0], "Sorvelo");
    EXPECT_EQ(lines[1], VersionText);
    for (int empty : {2, 4, 6}) EXPECT_EQ(lines[empty], "");
    for (int filled : {3, 5, 7}) EXPECT_FALSE(lines[filled].isEmpty());
    about.hide();
  }
  EXPECT_EQ(about.windowTitle(), "About");
  EXPECT_EQ(about.size(), QSize(235, 390));
  EXPECT_FALSE(about.Memo1->isEnabled());
  EXPECT_EQ(about.Memo1->height(), 193);
  EXPECT_EQ(about.Image1->height(), 161);
}

// What the program controls is what it asks for; which installed font the machine matches it to is
// the machine's. Where any installed family is matched to a really fixed-pitch font, the memo's is.
TEST(AboutBox, TheMemoAsksForAFixedPitchFontAndGetsOneWhereTheMachineHasOne) {
  TfrmAbout about;
  const QFont asked = about.Memo1->font();
  EXPECT_TRUE(asked.fixedPitch());
  EXPECT_EQ(asked.styleHint(), QFont::TypeWriter);
  bool machineHasOne = false;
  for (const QString& family : QFontDatabase::families())
    if (QFontDatabase::isFixedPitch(family) && QFontInfo(QFont(family)).fixedPitch())
      machineHasOne = true;
  if (machineHasOne) {
    EXPECT_TRUE(QFontInfo(asked).fixedPitch()) << asked.family().toStdString();
  }
}

TEST(AboutBox, TheFirstCandidateThatIsReallyFixedPitchIsTaken) {
  const QFont courier(QStringLiteral("Courier New")), mono(QStringLiteral("Some Mono")),
      other(QStringLiteral("Other Mono"));
  // Stands for the font matcher: which families end up fixed-pitch on this imagined machine.
  auto machine = [](QStringList fixed) {
    return [fixed](const QFont& font) { return fixed.contains(font.family()); };
  };
  struct TCase {
    QStringList reallyFixed;
    QString chosen;
  };
  const TCase cases[] = {{{"Courier New", "Some Mono"}, "Courier New"},
                         {{"Some Mono", "Other Mono"}, "Some Mono"},
                         {{"Other Mono"}, "Other Mono"},
                         {{}, "Courier New"}};  // none: the first, as asked
  for (const TCase& c : cases) {
    EXPECT_EQ(TfrmAbout::firstFixedPitch({courier, mono, other}, machine(c.reallyFixed)).family(),
              c.chosen)
        << c.reallyFixed.join(',').toStdString();
  }
}

TEST(AboutBox, EveryOpeningIsCentredOnTheScreen) {
  TfrmAbout about;
  const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
  for (int opening = 0; opening < 3; ++opening) {
    about.show();
    EXPECT_LE((about.geometry().center() - area.center()).manhattanLength(), 2) << opening;
    about.move(about.pos() + QPoint(0, 20));  // moved while open
    about.hide();
  }
}

TEST(AboutBox, TheGliderHasATransparentBackground) {
  TfrmAbout about;
  const QImage glider = about.Image1->pixmap().toImage();
  ASSERT_EQ(glider.size(), QSize(200, 150));
  EXPECT_EQ(qAlpha(glider.pixel(0, 0)), 0);
  EXPECT_EQ(qAlpha(glider.pixel(199, 149)), 0);
  EXPECT_EQ(qAlpha(glider.pixel(100, 80)), 255);  // the fuselage
}

class TrayIconTest : public ::testing::Test {
 protected:
  QWidget form;
  TTrayIcon tray{&form};
};

TEST_F(TrayIconTest, ShowsThreeDifferentPicturesAndTheLastForAnIndexBeyondIt) {
  EXPECT_TRUE(tray.systemTrayIcon()->toolTip().startsWith("Hi! I'm tolvo.\n"));
  std::vector<QImage> pictures;
  for (int index : {0, 1, 2}) {
    tray.setIconIndex(index);
    pictures.push_back(tray.currentIcon().pixmap(16, 16).toImage());
    EXPECT_EQ(qAlpha(pictures.back().pixel(0, 0)), 0) << index;  // transparent corner
  }
  EXPECT_NE(pictures[0], pictures[1]);
  EXPECT_NE(pictures[1], pictures[2]);
  tray.setIconIndex(7);
  EXPECT_EQ(tray.IconIndex(), 7);
  EXPECT_EQ(tray.shownPicture(), 2);
  EXPECT_EQ(tray.currentIcon().pixmap(16, 16).toImage(), pictures[2]);
}

TEST_F(TrayIconTest, MinimisingHidesInTheTrayAndADoubleClickRestores) {
  tray.trayAvailable = true;
  tray.OnDblClick = [this] { tray.showMainForm(); };
  form.show();
  form.showMinimized();
  EXPECT_TRUE(uitest::waitUntil([&] { return !form.isVisible(); }, 2000));

  emit tray.systemTrayIcon()->activated(QSystemTrayIcon::DoubleClick);
  EXPECT_TRUE(form.isVisible());
  EXPECT_FALSE(form.isMinimized());
  // A single click does nothing.
  form.hide();
  emit tray.systemTrayIcon()->activated(QSystemTrayIcon::Trigger);
  EXPECT_FALSE(form.isVisible());
}

TEST(TrayIcon, AppearsWhenTheTrayStartsAfterTheProgram) {
  QWidget form;
  bool trayThere = false;
  TTrayIcon tray(&form, [&trayThere] { return trayThere; });
  EXPECT_FALSE(tray.trayAvailable);
  EXPECT_FALSE(tray.systemTrayIcon()->isVisible());
  tray.lookForTray();  // still no tray
  EXPECT_FALSE(tray.systemTrayIcon()->isVisible());

  trayThere = true;  // the panel has started
  tray.lookForTray();
  EXPECT_TRUE(tray.trayAvailable);
  EXPECT_TRUE(tray.systemTrayIcon()->isVisible());
  // Minimising now goes to the tray.
  form.show();
  form.showMinimized();
  EXPECT_TRUE(uitest::waitUntil([&] { return !form.isVisible(); }, 2000));

  // The tray goes away (the panel restarts): minimising keeps the window reachable again.
  trayThere = false;
  tray.lookForTray();
  EXPECT_FALSE(tray.trayAvailable);
  // The program looks by itself, on a timer that runs all the time.
  ASSERT_NE(tray.findChild<QTimer*>(), nullptr);
  EXPECT_TRUE(tray.findChild<QTimer*>()->isActive());
  EXPECT_EQ(tray.findChild<QTimer*>()->interval(), TTrayIcon::TrayLookInterval.count());
}

TEST_F(TrayIconTest, WithoutASystemTrayMinimisingLeavesTheWindowOnTheTaskBar) {
  tray.trayAvailable = false;
  form.show();
  form.showMinimized();
  QApplication::processEvents();
  uitest::waitUntil([] { return false; }, 100);
  EXPECT_TRUE(form.isVisible());
  EXPECT_TRUE(form.isMinimized());
}

TEST(UserMessageBox, ShowsAPlainBoxTitledWithTheApplicationTitle) {
  TUserMessageBox sink;
  uitest::TMessageBoxClicker clicker;
  showUserMessage("Hello there");
  ASSERT_EQ(clicker.seen.size(), 1u);
  EXPECT_EQ(clicker.seen[0].title, ApplicationTitle);
  EXPECT_EQ(clicker.seen[0].text, "Hello there");
}

TEST(UserMessageBox, PastedTextIsShownAsItIsNeverAsMarkup) {
  TUserMessageBox sink;
  uitest::TMessageBoxClicker clicker;
  showUserMessage("<h1>router</h1>");
  ASSERT_EQ(clicker.seen.size(), 1u);
  EXPECT_EQ(clicker.seen[0].text, "<h1>router</h1>");
  EXPECT_EQ(clicker.seen[0].format, Qt::PlainText);
}

TEST(UserMessageBox, RepeatsPostedWhileTheBoxIsUpAreMerged) {
  TUserMessageBox sink;
  uitest::TMessageBoxClicker clicker;
  // A worker thread keeps failing while the first box waits to be shown and is on screen.
  std::thread worker([] {
    for (int i = 0; i < 5; ++i) postUserMessage("error #1: ICMP sockets are not permitted");
  });
  worker.join();
  postUserMessage("another text");
  ASSERT_TRUE(uitest::waitUntil([&] { return clicker.seen.size() >= 2; }));
  uitest::waitUntil([] { return false; }, 100);  // nothing else may follow
  ASSERT_EQ(clicker.seen.size(), 2u);
  // The second text may open on top of the first box: the order on screen is not fixed.
  QStringList texts = {clicker.seen[0].text, clicker.seen[1].text};
  texts.sort();
  EXPECT_EQ(texts, QStringList({"another text", "error #1: ICMP sockets are not permitted"}));

  // Once the box has been closed, the same text shows again.
  postUserMessage("error #1: ICMP sockets are not permitted");
  EXPECT_TRUE(uitest::waitUntil([&] { return clicker.seen.size() == 3; }));
}

TEST(SignalShutdown, ASignalBecomesACallOnTheInterfaceThread) {
  TSignalShutdown watcher({SIGUSR1, SIGUSR2});
  std::vector<int> received;
  watcher.setAction([&](int signo) { received.push_back(signo); });
  std::raise(SIGUSR1);
  EXPECT_TRUE(received.empty());  // never inside the handler itself
  EXPECT_TRUE(uitest::waitUntil([&] { return received.size() == 1; }));
  EXPECT_EQ(received, std::vector<int>{SIGUSR1});
}

TEST(SignalShutdown, ASignalBeforeTheActionIsKeptForIt) {
  TSignalShutdown watcher({SIGUSR2});
  std::raise(SIGUSR2);
  EXPECT_TRUE(uitest::waitUntil([&] { return watcher.pendingSignal() == SIGUSR2; }));
  int received = 0;
  watcher.setAction([&](int signo) { received = signo; });
  EXPECT_EQ(received, SIGUSR2);
  EXPECT_EQ(watcher.pendingSignal(), 0);
}

TEST(SignalShutdown, ASignalDuringStartUpClosesTheBoxStartUpWaitsOn) {
  TSignalShutdown watcher({SIGUSR1});
  QMessageBox box(QMessageBox::NoIcon, "Start-up", "Nobody answers this", QMessageBox::Ok);
  bool closedByTest = false;
  QTimer::singleShot(0, [] { std::raise(SIGUSR1); });
  QTimer::singleShot(3000, &box, [&] {  // only if the signal did not close it
    closedByTest = true;
    box.close();
  });
  box.exec();
  EXPECT_FALSE(closedByTest);
  EXPECT_EQ(watcher.pendingSignal(), SIGUSR1);
}

TEST(SignalShutdown, TerminationClosesTheMainWindowInOrder) {
  uitest::TProgramFiles files;
  files.writeSettings();
  files.writeHosts({{"gateway", "127.0.0.1"}});
  uitest::TFakeEcho echo;
  TfrmMain frm(systemClock(), echo.service());
  frm.btnStartStopClick();
  TSignalShutdown watcher({SIGTERM});
  watcher.setAction([&](int) { frm.close(); });
  std::raise(SIGTERM);
  ASSERT_TRUE(uitest::waitUntil([&] { return frm.isClosed(); }));
  const std::vector<std::string> log = files.log();
  ASSERT_GE(log.size(), 4u);
  EXPECT_EQ(std::vector<std::string>(log.end() - 4, log.end()),
            (std::vector<std::string>{"TIMESTAMP " + frm.runControl().startTimeText,
                                      "TIMESTAMP " + frm.runControl().startTimeText,
                                      "PINGING STOP", "SHUTDOWN"}));
  EXPECT_NE(uitest::readFile(files.hostsPath()).find("gateway"), std::string::npos);
}

}  // namespace

namespace {

int blendedPixels(const QImage& image) {
  int count = 0;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) count += qAlpha(image.pixel(x, y)) % 255 != 0;
  return count;
}

// HOST NAME is whole pixels of two colours at every size (dark ink on its own light plate, so it
// reads on a dark palette); a tray picture drawn at 32 pixels has fewer blended edge pixels than
// the 16-pixel one scaled up.
TEST(ProgramPictures, SharpAtEverySizeAndReadableOnADarkPalette) {
  for (int side : {16, 24, 32, 48}) {
    const QImage picture = hostNameIcon().pixmap(QSize(side, side)).toImage();
    ASSERT_EQ(picture.size(), QSize(side, side));
    QSet<QRgb> colours;
    for (int y = 0; y < side; ++y)
      for (int x = 0; x < side; ++x) colours.insert(picture.pixel(x, y));
    ASSERT_EQ(colours.size(), 2) << side;
    EXPECT_GT(std::abs(qGray(colours.values()[0]) - qGray(colours.values()[1])), 150) << side;
    EXPECT_EQ(blendedPixels(picture), 0) << side;
  }
  const QImage drawn = trayIcon(TTrayPicture::ConnectionOk).pixmap(QSize(32, 32)).toImage();
  ASSERT_EQ(drawn.size(), QSize(32, 32));
  EXPECT_LT(blendedPixels(drawn), blendedPixels(trayPicture(TTrayPicture::ConnectionOk)
                                                    .scaled(32, 32, Qt::IgnoreAspectRatio,
                                                            Qt::SmoothTransformation)
                                                    .toImage()));
}

}  // namespace
