#include "preferenceswindow.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QShowEvent>
#include <QSpinBox>
#include <QTabWidget>
#include <QVBoxLayout>

#include "history/historysettings.h"
#include "metrics/metricssettings.h"
#include "ui/views/overviewsettings.h"

TPreferencesWindow::TPreferencesWindow(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("Preferences"));
  setObjectName(QStringLiteral("frmPreferences"));
  tabs = new QTabWidget(this);
  buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(buttons, &QDialogButtonBox::accepted, this, [this] {
    if (applyAll()) accept();
  });
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  auto* column = new QVBoxLayout(this);
  column->addWidget(tabs, 1);
  column->addWidget(buttons);
  addHistoryPage();
  addOverviewPage();
  addMetricsPage();
}

void TPreferencesWindow::addPage(QWidget* page, const QString& title, TPage handlers) {
  tabs->addTab(page, title);
  pages.push_back({page, std::move(handlers)});
  if (pages.back().handlers.load) pages.back().handlers.load();
}

bool TPreferencesWindow::applyAll() {
  for (const TEntry& entry : pages) {
    const QString problem = entry.handlers.validate ? entry.handlers.validate() : QString();
    if (problem.isEmpty()) continue;
    tabs->setCurrentWidget(entry.page);
    QMessageBox box(QMessageBox::Warning, windowTitle(), problem, QMessageBox::Ok, this);
    box.setTextFormat(Qt::PlainText);
    box.exec();
    return false;
  }
  for (const TEntry& entry : pages)
    if (entry.handlers.apply) entry.handlers.apply();
  return true;
}

void TPreferencesWindow::showEvent(QShowEvent* event) {
  if (!event->spontaneous())
    for (const TEntry& entry : pages)
      if (entry.handlers.load) entry.handlers.load();
  QDialog::showEvent(event);
}

void TPreferencesWindow::addHistoryPage() {
  auto* page = new QWidget;
  auto* form = new QFormLayout(page);
  auto days = [page](const char* name) {
    auto* box = new QSpinBox(page);
    box->setObjectName(QString::fromLatin1(name));
    box->setRange(1, MaxHistoryDays);
    box->setSuffix(QStringLiteral(" days"));
    return box;
  };
  sbRawDays = days("sbRawDays");
  sbFiveMinuteDays = days("sbFiveMinuteDays");
  sbHourlyDays = days("sbHourlyDays");
  sbDailyDays = days("sbDailyDays");
  form->addRow(QStringLiteral("Every echo:"), sbRawDays);
  form->addRow(QStringLiteral("5-minute summaries:"), sbFiveMinuteDays);
  form->addRow(QStringLiteral("Hourly summaries:"), sbHourlyDays);
  form->addRow(QStringLiteral("Daily summaries:"), sbDailyDays);
  auto* note = new QLabel(
      QStringLiteral("How long the history database keeps each level.\n"
                     "What is past a shorter length is removed within the hour."),
      page);
  // Lines of its own rather than word wrap: the tabs size a page by its widest line, never by the
  // height a wrapped text needs, and the text was cut off.
  form->addRow(note);

  TPage handlers;
  handlers.load = [this] {
    const THistoryLengths lengths = historyLengths();
    sbRawDays->setValue(lengths.rawDays);
    sbFiveMinuteDays->setValue(lengths.fiveMinuteDays);
    sbHourlyDays->setValue(lengths.hourlyDays);
    sbDailyDays->setValue(lengths.dailyDays);
  };
  handlers.validate = [this]() -> QString {
    // A coarser level shorter than a finer one would show gaps where the finer one was pruned.
    const QSpinBox* order[] = {sbRawDays, sbFiveMinuteDays, sbHourlyDays, sbDailyDays};
    const char* names[] = {"every echo", "5-minute summaries", "hourly summaries",
                           "daily summaries"};
    for (int i = 1; i < 4; ++i)
      if (order[i]->value() < order[i - 1]->value())
        return QStringLiteral("The %1 must be kept at least as long as the %2 (%3 days).")
            .arg(QString::fromLatin1(names[i]), QString::fromLatin1(names[i - 1]))
            .arg(order[i - 1]->value());
    return {};
  };
  handlers.apply = [this] {
    setHistoryLengths({sbRawDays->value(), sbFiveMinuteDays->value(), sbHourlyDays->value(),
                       sbDailyDays->value()});
  };
  addPage(page, QStringLiteral("History"), std::move(handlers));
}

void TPreferencesWindow::addOverviewPage() {
  auto* page = new QWidget;
  auto* column = new QVBoxLayout(page);
  cbOpenOverview = new QCheckBox(QStringLiteral("&Open the overview at start"), page);
  cbOpenOverview->setObjectName(QStringLiteral("cbOpenOverview"));
  column->addWidget(cbOpenOverview);
  column->addStretch(1);
  TPage handlers;
  handlers.load = [this] { cbOpenOverview->setChecked(overviewOpenAtStart()); };
  handlers.apply = [this] { setOverviewOpenAtStart(cbOpenOverview->isChecked()); };
  addPage(page, QStringLiteral("Overview"), std::move(handlers));
}

void TPreferencesWindow::addMetricsPage() {
  auto* page = new QWidget;
  auto* column = new QVBoxLayout(page);
  cbServeMetrics = new QCheckBox(QStringLiteral("&Serve metrics for Prometheus"), page);
  cbServeMetrics->setObjectName(QStringLiteral("cbServeMetrics"));
  auto* where = new QLabel(page);
  column->addWidget(cbServeMetrics);
  column->addWidget(where);
  column->addStretch(1);
  TPage handlers;
  handlers.load = [this, where] {
    const TMetricsSettings metrics = readMetricsSettings(false);
    cbServeMetrics->setChecked(metrics.enabled);
    where->setText(QStringLiteral("at http://%1/metrics ([metrics] in the settings file)")
                       .arg(QString::fromStdString(listeningAddress(metrics))));
  };
  handlers.apply = [this] { setMetricsEnabled(cbServeMetrics->isChecked()); };
  addPage(page, QStringLiteral("Metrics"), std::move(handlers));
}
