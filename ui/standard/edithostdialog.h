#pragma once
// "Edit host": one host's names, address, time-out and interval, opened from the overview (F2, Enter,
// the right-click menu). Beside Maintain hosts, which keeps its own fields: here the address can be
// changed, and looked up from the host name. A field's fault is shown next to it; OK stays off
// until every field is fine.

#include <QDialog>

#include "core/engineevents.h"
#include "core/hostedit.h"
#include "core/tolvohosts.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QDialogButtonBox;

class TfrmEditHost : public QDialog {
  Q_OBJECT
 public:
  TfrmEditHost(TTolvoHosts& list, TTolvoHost& host, QWidget* parent = nullptr);

  QLineEdit* edCallingName = nullptr;
  QLineEdit* edHostName = nullptr;
  QLineEdit* edAddress = nullptr;
  QPushButton* btnLookUp = nullptr;
  QLineEdit* edTimeout = nullptr;
  QLineEdit* edInterval = nullptr;
  QLabel* lblCallingName = nullptr;  // the messages next to the fields
  QLabel* lblAddress = nullptr;
  QLabel* lblTimeout = nullptr;
  QLabel* lblInterval = nullptr;
  // The host's alert settings ([alerts] of the settings file, by address).
  QLineEdit* edDownAfter = nullptr;
  QLineEdit* edUpAfter = nullptr;
  QCheckBox* cbNotify = nullptr;
  QLabel* lblDownAfter = nullptr;
  QLabel* lblUpAfter = nullptr;
  QPushButton* btnOk = nullptr;

  void accept() override;

 private:
  THostEditTexts texts() const;
  void recheck();
  void lookUp();
  void storeAlertSettings(const std::string& oldAddress, const std::string& newAddress) const;

  // The host, found again by its run id: it may leave the list while the dialog is open (deleted
  // in the overview, removed by sorvelo --remove); nullptr then.
  TTolvoHost* current() const;

  TTolvoHosts& list;
  const std::uint64_t runId;
  const THostNames shown;  // the texts the fields were filled with
};
