// Preferences: values shown from the settings, a wrong value named and nothing applied, OK applies
// every page.

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>

#include "activation_boxanswerer.h"
#include "config/settings.h"
#include "history/historysettings.h"
#include "ui/overviewsettings.h"
#include "ui/preferenceswindow.h"

namespace {

TEST(Preferences, ShowsTheSettingsRefusesAWrongOrderAndAppliesOnOk) {
  setHistoryLengths({7, 30, 365, 3650});
  setOverviewOpenAtStart(false);
  TPreferencesWindow window;
  window.show();
  EXPECT_EQ(window.sbRawDays->value(), 7);
  EXPECT_EQ(window.sbHourlyDays->value(), 365);
  EXPECT_FALSE(window.cbOpenOverview->isChecked());

  window.tabs->setCurrentIndex(1);
  window.sbFiveMinuteDays->setValue(400);  // longer than the hourly summaries
  window.cbOpenOverview->setChecked(true);
  {
    TBoxAnswerer answers({QMessageBox::Ok});
    window.buttons->button(QDialogButtonBox::Ok)->click();
    ASSERT_EQ(answers.seen.size(), 1u);
    EXPECT_EQ(answers.seen[0].text,
              "The hourly summaries must be kept at least as long as the 5-minute summaries "
              "(400 days).");
  }
  EXPECT_TRUE(window.isVisible());
  EXPECT_EQ(window.tabs->currentIndex(), 0);  // the page with the wrong value
  EXPECT_EQ(historyLengths().fiveMinuteDays, 30);
  EXPECT_FALSE(overviewOpenAtStart());

  window.sbFiveMinuteDays->setValue(90);
  window.buttons->button(QDialogButtonBox::Ok)->click();
  EXPECT_FALSE(window.isVisible());
  EXPECT_EQ(historyLengths().fiveMinuteDays, 90);
  EXPECT_TRUE(overviewOpenAtStart());
  EXPECT_EQ(extraSetting("overview", "open_at_start"), "1");
}

}  // namespace
