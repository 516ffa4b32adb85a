#pragma once
// "Maintain hosts": add hosts from pasted text, edit, delete. Shown modally by the main window, which
// sets hostList right before each opening.

#include <QDialog>

class TTolvoHosts;

class TfrmMaintainHosts : public QDialog {
  Q_OBJECT
 public:
  explicit TfrmMaintainHosts(QWidget* parent = nullptr);
  ~TfrmMaintainHosts() override;

  TTolvoHosts* hostList = nullptr;
};
