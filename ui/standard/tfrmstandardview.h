#pragma once
// "Ping status": every host of the host list in a grid, one row per host under a title row,
// redrawn five times a second while the window is open. It only reads the host list.
//
// Once the titles have been written, row 0 holds them as before but is shown as the grid's header,
// which stays in sight while the rows scroll. The window is exactly as wide as the columns with the
// grid's frame and its vertical scroll bar (always there, so the width does not jump when it would
// come and go): no empty band beside the last column.

#include <QWidget>

#include <string>
#include <unordered_map>
#include <vector>

#include "base/tolvotime.h"
#include "hostrowtexts.h"

class QAction;
class QTableWidget;
class QTimer;
class QToolBar;
class TTolvoHosts;

class TfrmStandardView : public QWidget {
  Q_OBJECT
 public:
  explicit TfrmStandardView(const TClock& clock = systemClock(), QWidget* parent = nullptr);
  ~TfrmStandardView() override;

  // Set by the main window before each opening; not owned.
  TTolvoHosts* hostList = nullptr;

  QToolBar* ToolBar1;
  QAction* ToolButton1;  // refresh now
  QAction* tbHostName;   // marked: show host names instead of calling names
  QTableWidget* sgResults;
  QTimer* tmrUpdate;

  void refreshGrid();

 protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void createToolBar();
  void createGrid();
  void setCell(int row, int column, const std::string& text);
  void widenColumns();
  int textWidth(const std::string& text, const QString& qtext);
  void repaintCell(int row, int column);
  void showTitlesAsHeader();

  const TClock& clock;
  // What each cell shows, so a refresh touches only the cells whose text changed.
  std::vector<THostRowTexts> shown;
  // Widest text each column has held (pixels): columns only ever grow.
  std::vector<int> widest;
  int cellMargins = 0;
  std::unordered_map<std::string, int> measured;  // text -> width in the grid's font
  bool placed = false;
  bool titlesInHeader = false;
};
