#pragma once
// The Path window: the hops of one host's path over a chosen range (the last hour, 24 hours or 7
// days), from the rounds in the results database, as rows: hop, address, name, loss %, last, mean,
// best, worst, jitter. A hop whose router limits its answers (loss that does not go on to later
// hops) says so instead of showing loss, with one line below the table explaining why.

#include <QWidget>

#include <cstdint>
#include <functional>
#include <string>

class QComboBox;
class QLabel;
class QTableWidget;

class TPathWindow : public QWidget {
  Q_OBJECT
 public:
  explicit TPathWindow(std::function<std::string()> databasePath,
                       std::function<std::int64_t()> nowMs = {}, QWidget* parent = nullptr);

  // Shows the path of the host at `address` ("name" in the title).
  void showHost(const std::string& address, const std::string& name);
  void reload();

  QTableWidget* tbHops = nullptr;
  QLabel* lblNote = nullptr;
  QComboBox* cbRange = nullptr;

 private:
  std::function<std::string()> pathOf;
  std::function<std::int64_t()> clock;
  std::string address;
};
