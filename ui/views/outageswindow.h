#pragma once
// Outages (Views > Outages): every outage in the results database within a date range, for all
// hosts or one, with start, end, duration and lost echoes; exported as CSV or JSON in the same
// forms as `sorvelo --outages`.

#include <QWidget>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "history/outagesformat.h"

class QComboBox;
class QDateTimeEdit;
class QLabel;
class QPushButton;
class QTableWidget;
class THistoryReader;

class TOutagesWindow : public QWidget {
  Q_OBJECT
 public:
  // nowMs: the wall clock in UTC milliseconds (tests pass their own).
  explicit TOutagesWindow(std::function<std::string()> databasePath,
                          std::function<std::int64_t()> nowMs = {}, QWidget* parent = nullptr);
  ~TOutagesWindow() override;

  // Reads the hosts and the outages of the chosen range and host again.
  void reload();
  void setRange(std::int64_t fromMs, std::int64_t toMs);
  const std::vector<THostOutage>& outages() const { return shown; }
  bool exportFile(const QString& path, bool json) const;

  QDateTimeEdit* edFrom = nullptr;
  QDateTimeEdit* edTo = nullptr;
  QComboBox* cbHost = nullptr;
  QPushButton* btnShow = nullptr;
  QPushButton* btnExportCsv = nullptr;
  QPushButton* btnExportJson = nullptr;
  QTableWidget* tbOutages = nullptr;
  QLabel* lblStatus = nullptr;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void buildControls();
  void fillHosts(const std::vector<THistoryHost>& hosts);
  void fillTable();
  void exportClick(bool json);

  std::function<std::string()> pathOf;
  std::function<std::int64_t()> clock;
  std::vector<THostOutage> shown;
  bool shownOnce = false;
};
