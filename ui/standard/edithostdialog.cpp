#include "ui/standard/edithostdialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <exception>
#include <memory>

#include "alerts/alertsettings.h"
#include "core/pingingsettings.h"
#include "config/settings.h"
#include "net/dnsquery.h"
#include "ui/common/storedtext.h"

namespace {

// One line: a wrapped label got no more height when its text appeared, and the message was cut.
QLabel* messageLabel(QWidget* parent) { return new QLabel(parent); }

QString rangeHint(int low, int high, const char* unit) {
  return QStringLiteral("%1 to %2 %3").arg(low).arg(high).arg(QString::fromLatin1(unit));
}

}  // namespace

TfrmEditHost::TfrmEditHost(TTolvoHosts& hostList, TTolvoHost& host, QWidget* parent)
    : QDialog(parent), list(hostList), runId(host.runId), shown{host.callingName, host.hostName, host.ipAddress} {
  setWindowTitle(QStringLiteral("Edit host"));
  auto* grid = new QGridLayout;
  int row = 0;
  const auto field = [&](const char* caption, const QString& value, const QString& hint) {
    auto* edit = new QLineEdit(value, this);
    grid->addWidget(new QLabel(QString::fromLatin1(caption), this), row, 0);
    grid->addWidget(edit, row, 1);
    if (!hint.isEmpty()) grid->addWidget(new QLabel(hint, this), row, 2);
    ++row;
    return edit;
  };
  const auto message = [&] {
    QLabel* label = messageLabel(this);
    grid->addWidget(label, row++, 1, 1, 2);
    return label;
  };
  edCallingName = field("Calling name:", shownText(host.callingName), {});
  lblCallingName = message();
  edHostName = field("Host name:", shownText(host.hostName), {});
  edAddress = field("Address:", shownText(host.ipAddress), {});
  btnLookUp = new QPushButton(QStringLiteral("Look up"), this);
  grid->addWidget(btnLookUp, row - 1, 2);
  lblAddress = message();
  edTimeout = field("Timeout (ms):", QString::number(host.timeout),
                    rangeHint(EditMinTimeoutMs, EditMaxTimeoutMs, "ms"));
  lblTimeout = message();
  edInterval = field("Interval (s):", QString::number(host.interval),
                     rangeHint(EditMinIntervalS, EditMaxIntervalS, "s"));
  lblInterval = message();
  const TAlertSettings alerts = TAlertSettings::load({host.ipAddress});
  edDownAfter = field("Down after (lost echoes):", QString::number(alerts.lostToDownFor(host.ipAddress)),
                      QStringLiteral("all hosts: %1").arg(alerts.lostToDown));
  lblDownAfter = message();
  edUpAfter = field("Up after (answers):", QString::number(alerts.answersToUpFor(host.ipAddress)),
                    QStringLiteral("all hosts: %1").arg(alerts.answersToUp));
  lblUpAfter = message();
  cbNotify = new QCheckBox(QStringLiteral("Notify when this host goes down or up"), this);
  cbNotify->setChecked(alerts.notifyFor(host.ipAddress));
  grid->addWidget(cbNotify, row++, 1, 1, 2);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  btnOk = buttons->button(QDialogButtonBox::Ok);
  connect(buttons, &QDialogButtonBox::accepted, this, &TfrmEditHost::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  connect(btnLookUp, &QPushButton::clicked, this, &TfrmEditHost::lookUp);
  for (QLineEdit* edit : {edCallingName, edHostName, edAddress, edTimeout, edInterval, edDownAfter, edUpAfter})
    connect(edit, &QLineEdit::textChanged, this, &TfrmEditHost::recheck);
  auto* column = new QVBoxLayout(this);
  column->addLayout(grid);
  column->addWidget(buttons);
  recheck();
}

THostEditTexts TfrmEditHost::texts() const {
  return {editedText(edCallingName->text(), shown.callingName), editedText(edHostName->text(), shown.hostName),
          editedText(edAddress->text(), shown.ipAddress), edTimeout->text().toStdString(),
          edInterval->text().toStdString()};
}

TTolvoHost* TfrmEditHost::current() const {
  for (int slot = 1; slot <= TTolvoHosts::MaxHosts; ++slot)
    if (TTolvoHost* host = list.hostAt(slot); host && host->runId == runId) return host;
  return nullptr;
}

void TfrmEditHost::recheck() {
  const THostEditCheck check = checkHostEdit(list, current(), texts());
  lblCallingName->setText(QString::fromStdString(check.callingName));
  lblAddress->setText(QString::fromStdString(check.address));
  lblTimeout->setText(QString::fromStdString(check.timeout));
  lblInterval->setText(QString::fromStdString(check.interval.empty() ? check.intervalNote : check.interval));
  const std::optional<std::string> down = checkAlertSetting("down_after", edDownAfter->text().toStdString());
  const std::optional<std::string> up = checkAlertSetting("up_after", edUpAfter->text().toStdString());
  lblDownAfter->setText(QString::fromStdString(down.value_or("")));
  lblUpAfter->setText(QString::fromStdString(up.value_or("")));
  btnOk->setEnabled(check.ok() && !down && !up);
}

// Values equal to those of all hosts are no override: the host then follows later changes of them.
// A changed address takes its overrides along.
void TfrmEditHost::storeAlertSettings(const std::string& oldAddress, const std::string& newAddress) const {
  TAlertSettings alerts = TAlertSettings::load({oldAddress, newAddress});
  for (auto* overrides : {&alerts.downAfter, &alerts.upAfter}) overrides->erase(oldAddress);
  alerts.notifyHost.erase(oldAddress);
  const int down = edDownAfter->text().trimmed().toInt();
  const int up = edUpAfter->text().trimmed().toInt();
  if (down != alerts.lostToDown) alerts.downAfter[newAddress] = down; else alerts.downAfter.erase(newAddress);
  if (up != alerts.answersToUp) alerts.upAfter[newAddress] = up; else alerts.upAfter.erase(newAddress);
  if (!cbNotify->isChecked()) alerts.notifyHost[newAddress] = false; else alerts.notifyHost.erase(newAddress);
  alerts.store({oldAddress, newAddress});
}

// The host name's address, as an Add would take it (the IPv6 preference of the settings applied).
void TfrmEditHost::lookUp() {
  const std::string name = editedText(edHostName->text(), shown.hostName);
  setPreferIpv6(pingingFlag(PreferIpv6Setting, extraSetting(PreferIpv6Setting.section, PreferIpv6Setting.name)));
  std::string address = name;
  btnLookUp->setEnabled(false);
  try {
    if (list.nameLookup) {
      address = list.nameLookup(name, true);
    } else {
      dnsQueryClass dns;
      dns.lookup(name, true, address);
    }
  } catch (const std::exception&) {
    address = name;  // a lookup that cannot start reads as one that failed
  }
  btnLookUp->setEnabled(true);
  if (address == name) {
    lblAddress->setText(QStringLiteral("%1 does not resolve").arg(shownText(name)));
    return;
  }
  edAddress->setText(QString::fromStdString(address));
}

void TfrmEditHost::accept() {
  recheck();
  if (!btnOk->isEnabled()) return;
  // A host gone meanwhile has nothing to take the edit: the dialog just closes.
  if (TTolvoHost* host = current()) {
    // The alert settings first: the edit's event has the alerts read them again.
    const std::string oldAddress = host->ipAddress;
    const THostEditTexts edited = texts();
    storeAlertSettings(oldAddress, addressToStore(edited.address));
    applyHostEdit(list, *host, edited);
  }
  QDialog::accept();
}
