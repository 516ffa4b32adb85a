#pragma once
// "Edit hosts": the settings several hosts selected in the overview can share (timeout, interval
// and the alert settings down after, up after, notify), edited for all at once. A field shows the
// value the hosts share, or is empty ("differs") when they differ; a field left as shown keeps each
// host's own value, a changed one is given to every host. A field's fault is shown next to it.

#include <QDialog>
#include <cstdint>
#include <vector>

#include "core/hostedit.h"
#include "core/tolvohosts.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

class TfrmEditHosts : public QDialog {
  Q_OBJECT
 public:
  TfrmEditHosts(TTolvoHosts& list, const std::vector<TTolvoHost*>& hosts,
                QWidget* parent = nullptr);

  QLineEdit* edTimeout = nullptr;
  QLineEdit* edInterval = nullptr;
  QLineEdit* edDownAfter = nullptr;
  QLineEdit* edUpAfter = nullptr;
  QCheckBox* cbNotify = nullptr;  // partly checked: each host keeps its own
  QLabel* lblTimeout = nullptr;   // the messages next to the fields
  QLabel* lblInterval = nullptr;
  QLabel* lblDownAfter = nullptr;
  QLabel* lblUpAfter = nullptr;
  QPushButton* btnOk = nullptr;

  void accept() override;

 private:
  // The field's text when the user changed it, nullopt when it is as shown.
  std::optional<std::string> changed(const QLineEdit* edit) const;
  THostsEditTexts texts() const;
  void recheck();
  void storeAlertSettings(const std::vector<std::string>& addresses) const;
  // The hosts still in the list, found again by their run ids (one may have been deleted or
  // removed by sorvelo --remove while the dialog was open).
  std::vector<TTolvoHost*> current() const;

  TTolvoHosts& list;
  std::vector<std::uint64_t> runIds;
};
