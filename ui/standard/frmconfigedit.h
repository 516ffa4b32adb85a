#pragma once
// "Configuration": file names and switches of the settings record, and the start-up entry.
// Shown modally by the main window. Escape and a close request from the window manager leave it
// like "Don't save": the settings record stays as it was.

#include <QDialog>

class QCheckBox;
class QLineEdit;
class QPushButton;

class TfrmConfigEdit : public QDialog {
  Q_OBJECT
 public:
  explicit TfrmConfigEdit(QWidget* parent = nullptr);
  ~TfrmConfigEdit() override;

  // The controls, reachable for tests.
  QLineEdit* edGenLogFileName = nullptr;
  QLineEdit* edHostsFileName = nullptr;
  QCheckBox* cbGenLogEnabled = nullptr;
  QCheckBox* cbHostLogEnabled = nullptr;
  QCheckBox* cbAutostartup = nullptr;
  QCheckBox* cbCheckVersion = nullptr;
  QPushButton* btnSave = nullptr;
  QPushButton* btnNoSave = nullptr;
  QPushButton* btnAddToStart = nullptr;
  QPushButton* btnRemoveStart = nullptr;

  // Fills every control from `settings` (done at each opening).
  void fillFromSettings();
  // Copies every control back into `settings`.
  void storeToSettings();

 protected:
  void showEvent(QShowEvent* event) override;
  // Return or Enter on a focused button presses it, as Space does.
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void buildControls();
  void btnSaveClick();
  void btnNoSaveClick();
  void btnAddToStartClick();
  void btnRemoveStartClick();
};
