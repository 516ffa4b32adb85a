// The configuration dialog: what it shows, what Save and Don't save leave in the settings record,
// and the start-up entry buttons, which act at once whatever the dialog is closed with.

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QFile>
#include <QGuiApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>

#include <fstream>
#include <sstream>
#include <string>

#include "config/settings.h"
#include "config/startupentry.h"
#include "support/messagerecorder.h"
#include "storage/tolvologger.h"
#include "ui/standard/frmconfigedit.h"

namespace {

std::string readAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

class ConfigEditTest : public ::testing::Test {
 protected:
  void SetUp() override {
    saved = settings;
    settings.general_log_filename = dir.filePath("general_log.txt").toStdString();
    settings.hosts_file_name = dir.filePath("tolvo_hosts.cfg").toStdString();
    settings.general_log_enabled = true;
    settings.host_log_enabled = false;
    settings.auto_startup = true;
    settings.checkversion = 2;
    settings.firsttime = 0;
    settings.ping_speed = 3;
    settings.logtimestampinterval = 60;
    QFile::remove(QString::fromStdString(startupEntryPath()));
  }
  void TearDown() override {
    dlg.hide();
    QFile::remove(QString::fromStdString(startupEntryPath()));
    settings = saved;
  }

  configRecord saved;
  QTemporaryDir dir;
  TfrmConfigEdit dlg;
};

TEST_F(ConfigEditTest, OpeningFillsEveryControlFromTheSettings) {
  dlg.show();
  EXPECT_EQ(dlg.windowTitle(), "Configuration");
  EXPECT_EQ(dlg.size(), QSize(324, 257));
  EXPECT_FALSE(dlg.windowFlags() & Qt::WindowCloseButtonHint);
  EXPECT_EQ(dlg.edGenLogFileName->text().toStdString(), settings.general_log_filename);
  EXPECT_EQ(dlg.edHostsFileName->text().toStdString(), settings.hosts_file_name);
  EXPECT_TRUE(dlg.cbGenLogEnabled->isChecked());
  EXPECT_FALSE(dlg.cbHostLogEnabled->isChecked());
  EXPECT_TRUE(dlg.cbAutostartup->isChecked());
  EXPECT_TRUE(dlg.cbCheckVersion->isChecked());
  EXPECT_EQ(dlg.focusWidget(), dlg.btnNoSave);
  EXPECT_EQ(dlg.btnNoSave->nextInFocusChain(), dlg.btnSave);
  EXPECT_EQ(dlg.btnAddToStart->text(), "Add Tolvo to Windows startup");
  EXPECT_EQ(dlg.btnRemoveStart->text(), "Remove Tolvo from Windows startup");
  dlg.hide();

  // Only 2 means "check": 0 (never asked) and 1 show unchecked.
  for (int value : {0, 1}) {
    settings.checkversion = value;
    dlg.show();
    EXPECT_FALSE(dlg.cbCheckVersion->isChecked()) << value;
    dlg.hide();
  }
}

TEST_F(ConfigEditTest, SaveCopiesEveryControlBackAsTyped) {
  settings.checkversion = 0;
  dlg.show();
  dlg.edGenLogFileName->setText(" spaced name.log ");
  dlg.edHostsFileName->clear();
  dlg.cbGenLogEnabled->setChecked(false);
  dlg.cbHostLogEnabled->setChecked(true);
  dlg.cbAutostartup->setChecked(false);
  const configRecord before = settings;
  dlg.btnSave->click();
  EXPECT_FALSE(dlg.isVisible());
  EXPECT_EQ(dlg.result(), QDialog::Accepted);
  EXPECT_EQ(settings.general_log_filename, " spaced name.log ");
  EXPECT_EQ(settings.hosts_file_name, "");
  EXPECT_FALSE(settings.general_log_enabled);
  EXPECT_TRUE(settings.host_log_enabled);
  EXPECT_FALSE(settings.auto_startup);
  EXPECT_EQ(settings.checkversion, 1);  // never asked, saved unchecked: "no check"
  // Not shown here, so never touched.
  EXPECT_EQ(settings.ping_speed, before.ping_speed);
  EXPECT_EQ(settings.firsttime, before.firsttime);
  EXPECT_EQ(settings.logtimestampinterval, before.logtimestampinterval);

  dlg.show();
  dlg.cbCheckVersion->setChecked(true);
  dlg.btnSave->click();
  EXPECT_EQ(settings.checkversion, 2);
}

// File names that are not UTF-8 (a Latin-1 folder name) come back byte for byte when left alone.
TEST_F(ConfigEditTest, FileNamesThatAreNotUtf8SurviveSave) {
  const std::string logName = dir.path().toStdString() + "/B\xfcro log.txt";
  settings.general_log_filename = logName;
  dlg.show();
  EXPECT_EQ(dlg.edGenLogFileName->text(), dir.path() + QStringLiteral("/B\u00fcro log.txt"));
  dlg.btnSave->click();
  EXPECT_EQ(settings.general_log_filename, logName);

  dlg.show();
  dlg.edHostsFileName->setText(QStringLiteral("/tmp/\u00fc.cfg"));
  dlg.btnSave->click();
  EXPECT_EQ(settings.general_log_filename, logName);
  EXPECT_EQ(settings.hosts_file_name, "/tmp/\xc3\xbc.cfg");
}

TEST_F(ConfigEditTest, DontSaveAndEscapeLeaveTheSettingsAndTheNextOpeningShowsThem) {
  const configRecord before = settings;
  for (bool escape : {false, true}) {
    dlg.show();
    dlg.edGenLogFileName->setText("abandoned.log");
    dlg.cbCheckVersion->setChecked(false);
    if (escape) {
      QTest::keyClick(&dlg, Qt::Key_Escape);
    } else {
      dlg.btnNoSave->click();
    }
    EXPECT_FALSE(dlg.isVisible());
    EXPECT_EQ(settings.general_log_filename, before.general_log_filename);
    EXPECT_EQ(settings.checkversion, 2);
    dlg.show();
    EXPECT_EQ(dlg.edGenLogFileName->text().toStdString(), before.general_log_filename);
    EXPECT_TRUE(dlg.cbCheckVersion->isChecked());
    dlg.hide();
  }
}

TEST_F(ConfigEditTest, ASavedLogFileNameTakesTheNextLogEntry) {
  TTolvoLogger logger(systemClock(), "/opt/sorvelo/sorvelo");
  logger.logPinging(true);
  const std::string oldLog = settings.general_log_filename;
  const std::string newLog = dir.filePath("moved.log").toStdString();
  dlg.show();
  dlg.edGenLogFileName->setText(QString::fromStdString(newLog));
  dlg.btnSave->click();
  logger.logPinging(false);
  EXPECT_EQ(readAll(oldLog).find("STOP"), std::string::npos);
  EXPECT_NE(readAll(oldLog).find("START"), std::string::npos);
  EXPECT_NE(readAll(newLog).find("STOP"), std::string::npos);
}

TEST_F(ConfigEditTest, StartUpButtonsActAtOnceEvenWithDontSave) {
  TMessageRecorder messages;
  const QString entry = QString::fromStdString(startupEntryPath());
  dlg.show();
  dlg.btnAddToStart->click();
  EXPECT_TRUE(QFile::exists(entry));
  dlg.btnNoSave->click();
  EXPECT_TRUE(QFile::exists(entry));
  EXPECT_TRUE(settings.auto_startup);  // the buttons do not touch the pinging switch

  dlg.show();
  dlg.btnRemoveStart->click();
  EXPECT_FALSE(QFile::exists(entry));
  dlg.btnNoSave->click();
  EXPECT_FALSE(QFile::exists(entry));
  EXPECT_TRUE(messages.messages().empty());

  // Removing what is not there is reported in the start-up entry's own words.
  dlg.show();
  dlg.btnRemoveStart->click();
  EXPECT_EQ(messages.messages(), std::vector<std::string>{"Removing from registry failed!"});
}

TEST_F(ConfigEditTest, ReturnPressesTheFocusedButtonButNotFromAFileName) {
  const configRecord before = settings;
  dlg.show();
  dlg.edGenLogFileName->setText("abandoned.log");
  // Return in a file name presses no button: the dialog stays open with what was typed.
  dlg.edGenLogFileName->setFocus();
  QTest::keyClick(dlg.edGenLogFileName, Qt::Key_Return);
  EXPECT_TRUE(dlg.isVisible());
  EXPECT_EQ(dlg.edGenLogFileName->text(), "abandoned.log");

  dlg.btnNoSave->setFocus();
  QTest::keyClick(dlg.btnNoSave, Qt::Key_Return);
  EXPECT_FALSE(dlg.isVisible());
  EXPECT_EQ(dlg.result(), QDialog::Rejected);
  EXPECT_EQ(settings.general_log_filename, before.general_log_filename);

  dlg.show();
  dlg.edGenLogFileName->setText("kept.log");
  dlg.btnSave->setFocus();
  QTest::keyClick(dlg.btnSave, Qt::Key_Enter);
  EXPECT_FALSE(dlg.isVisible());
  EXPECT_EQ(dlg.result(), QDialog::Accepted);
  EXPECT_EQ(settings.general_log_filename, "kept.log");
}

TEST_F(ConfigEditTest, EveryOpeningIsCentredOnTheScreen) {
  const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
  for (int opening = 0; opening < 3; ++opening) {
    dlg.show();
    const QPoint offCentre = dlg.geometry().center() - area.center();
    EXPECT_LE(offCentre.manhattanLength(), 2) << opening;
    dlg.move(dlg.pos() + QPoint(37, 20));  // the user or the window manager moves it
    dlg.btnNoSave->click();
  }
}

}  // namespace
