// Preferences: values shown from the settings, a wrong value named and nothing applied, OK applies
// every page.

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QDialogButtonBox>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>

#include "activation_boxanswerer.h"
#include "config/settings.h"
#include "history/historysettings.h"
#include "metrics/metricssettings.h"
#include "ui/views/overviewsettings.h"
#include "ui/preferences/preferenceswindow.h"

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
  window.cbServeMetrics->setChecked(true);
  window.buttons->button(QDialogButtonBox::Ok)->click();
  EXPECT_FALSE(window.isVisible());
  EXPECT_EQ(historyLengths().fiveMinuteDays, 90);
  EXPECT_TRUE(overviewOpenAtStart());
  EXPECT_EQ(extraSetting("overview", "open_at_start"), "1");
  EXPECT_TRUE(readMetricsSettings(false).enabled);
}

// Every text of every page is shown whole, also at the smallest size the window allows, whatever
// the font.
TEST(Preferences, NoTextIsClipped) {
  TPreferencesWindow window;
  window.show();
  window.resize(window.minimumSizeHint());
  for (int index = 0; index < window.tabs->count(); ++index) {
    window.tabs->setCurrentIndex(index);
    QApplication::processEvents();
    for (const QLabel* label : window.tabs->widget(index)->findChildren<QLabel*>()) {
      const int needed = label->wordWrap() ? label->heightForWidth(label->width())
                                           : label->sizeHint().height();
      EXPECT_GE(label->height(), needed) << label->text().toStdString();
      EXPECT_GE(label->width(), label->minimumSizeHint().width()) << label->text().toStdString();
    }
  }
}

}  // namespace
