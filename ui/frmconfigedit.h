#pragma once
// "Configuration": file names and switches of the settings record, and the start-up entry.
// Shown modally by the main window.

#include <QDialog>

class TfrmConfigEdit : public QDialog {
  Q_OBJECT
 public:
  explicit TfrmConfigEdit(QWidget* parent = nullptr);
  ~TfrmConfigEdit() override;
};
