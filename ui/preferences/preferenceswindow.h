#pragma once
// Preferences (File > Preferences...): the settings of the parts beyond the Config dialog, one page
// each. OK checks every page and applies them all, or names the first wrong value and applies
// nothing; Cancel forgets the edits. Other parts add their pages with addPage.

#include <QDialog>

#include <functional>

class QCheckBox;
class QDialogButtonBox;
class QSpinBox;
class QTabWidget;

class TPreferencesWindow : public QDialog {
  Q_OBJECT
 public:
  explicit TPreferencesWindow(QWidget* parent = nullptr);

  struct TPage {
    // Fills the controls from the settings (at every opening).
    std::function<void()> load;
    // An empty text when the page's values are right, else the message that says what is wrong.
    std::function<QString()> validate;
    // Stores the values in the settings.
    std::function<void()> apply;
  };
  // Adds a page of settings; the window takes the widget.
  void addPage(QWidget* page, const QString& title, TPage handlers);
  // Checks and applies every page; false (and a message) when a value is wrong.
  bool applyAll();

  QTabWidget* tabs = nullptr;
  QDialogButtonBox* buttons = nullptr;
  QSpinBox* sbRawDays = nullptr;
  QSpinBox* sbFiveMinuteDays = nullptr;
  QSpinBox* sbHourlyDays = nullptr;
  QSpinBox* sbDailyDays = nullptr;
  QCheckBox* cbOpenOverview = nullptr;
  QCheckBox* cbServeMetrics = nullptr;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void addHistoryPage();
  void addOverviewPage();
  void addMetricsPage();

  struct TEntry {
    QWidget* page;
    TPage handlers;
  };
  std::vector<TEntry> pages;
};
