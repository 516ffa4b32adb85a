#include "ui/standard/edithostsdialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>
#include <functional>

#include "alerts/alertsettings.h"

namespace {

// The value every host has, or nothing when they differ.
std::optional<int> shared(const std::vector<TTolvoHost*>& hosts,
                          const std::function<int(const TTolvoHost&)>& value) {
  const int first = value(*hosts.front());
  for (const TTolvoHost* host : hosts)
    if (value(*host) != first) return std::nullopt;
  return first;
}

QString sharedText(const std::optional<int>& value) {
  return value ? QString::number(*value) : QString();
}

}  // namespace

TfrmEditHosts::TfrmEditHosts(TTolvoHosts& hostList, const std::vector<TTolvoHost*>& hosts,
                             QWidget* parent)
    : QDialog(parent), list(hostList) {
  setWindowTitle(QStringLiteral("Edit hosts"));
  std::vector<std::string> addresses;
  for (const TTolvoHost* host : hosts) {
    runIds.push_back(host->runId);
    addresses.push_back(host->ipAddress);
  }
  const TAlertSettings alerts = TAlertSettings::load(addresses);

  auto* grid = new QGridLayout;
  int row = 0;
  auto* intro =
      new QLabel(QStringLiteral("%1 hosts. A field left as shown keeps each host's own value; "
                                "an empty field means the hosts differ.")
                     .arg(hosts.size()),
                 this);
  intro->setWordWrap(true);
  grid->addWidget(intro, row++, 0, 1, 3);
  const auto field = [&](const char* caption, const std::optional<int>& value,
                         const QString& hint) {
    auto* edit = new QLineEdit(sharedText(value), this);
    if (!value) edit->setPlaceholderText(QStringLiteral("differs"));
    grid->addWidget(new QLabel(QString::fromLatin1(caption), this), row, 0);
    grid->addWidget(edit, row, 1);
    grid->addWidget(new QLabel(hint, this), row, 2);
    ++row;
    return edit;
  };
  const auto message = [&] {
    auto* label = new QLabel(this);  // short texts of the program's own: one line each
    grid->addWidget(label, row++, 1, 1, 2);
    return label;
  };
  edTimeout = field("Timeout (ms):", shared(hosts, [](const TTolvoHost& h) { return h.timeout; }),
                    QStringLiteral("%1 to %2 ms").arg(EditMinTimeoutMs).arg(EditMaxTimeoutMs));
  lblTimeout = message();
  edInterval = field("Interval (s):", shared(hosts, [](const TTolvoHost& h) { return h.interval; }),
                     QStringLiteral("%1 to %2 s").arg(EditMinIntervalS).arg(EditMaxIntervalS));
  lblInterval = message();
  edDownAfter =
      field("Down after (lost echoes):",
            shared(hosts, [&](const TTolvoHost& h) { return alerts.lostToDownFor(h.ipAddress); }),
            QStringLiteral("all hosts: %1").arg(alerts.lostToDown));
  lblDownAfter = message();
  edUpAfter =
      field("Up after (answers):",
            shared(hosts, [&](const TTolvoHost& h) { return alerts.answersToUpFor(h.ipAddress); }),
            QStringLiteral("all hosts: %1").arg(alerts.answersToUp));
  lblUpAfter = message();
  cbNotify = new QCheckBox(QStringLiteral("Notify when these hosts go down or up"), this);
  const std::optional<int> notify =
      shared(hosts, [&](const TTolvoHost& h) { return alerts.notifyFor(h.ipAddress) ? 1 : 0; });
  if (notify) {
    cbNotify->setChecked(*notify == 1);
  } else {
    cbNotify->setTristate(true);
    cbNotify->setCheckState(Qt::PartiallyChecked);
  }
  grid->addWidget(cbNotify, row++, 1, 1, 2);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  btnOk = buttons->button(QDialogButtonBox::Ok);
  connect(buttons, &QDialogButtonBox::accepted, this, &TfrmEditHosts::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  for (QLineEdit* edit : {edTimeout, edInterval, edDownAfter, edUpAfter}) {
    edit->setProperty("shown", edit->text());
    connect(edit, &QLineEdit::textChanged, this, &TfrmEditHosts::recheck);
  }
  auto* column = new QVBoxLayout(this);
  column->addLayout(grid);
  column->addWidget(buttons);
  recheck();
}

std::optional<std::string> TfrmEditHosts::changed(const QLineEdit* edit) const {
  if (edit->text().trimmed() == edit->property("shown").toString()) return std::nullopt;
  return edit->text().toStdString();
}

THostsEditTexts TfrmEditHosts::texts() const { return {changed(edTimeout), changed(edInterval)}; }

std::vector<TTolvoHost*> TfrmEditHosts::current() const {
  std::vector<TTolvoHost*> found;
  for (int slot = 1; slot <= TTolvoHosts::MaxHosts; ++slot)
    if (TTolvoHost* host = list.hostAt(slot);
        host && std::find(runIds.begin(), runIds.end(), host->runId) != runIds.end())
      found.push_back(host);
  return found;
}

void TfrmEditHosts::recheck() {
  const THostEditCheck check = checkHostsEdit(texts());
  lblTimeout->setText(QString::fromStdString(check.timeout));
  lblInterval->setText(
      QString::fromStdString(check.interval.empty() ? check.intervalNote : check.interval));
  const std::optional<std::string> down = changed(edDownAfter);
  const std::optional<std::string> up = changed(edUpAfter);
  const std::optional<std::string> downFault =
      down ? checkAlertSetting("down_after", *down) : std::nullopt;
  const std::optional<std::string> upFault = up ? checkAlertSetting("up_after", *up) : std::nullopt;
  lblDownAfter->setText(QString::fromStdString(downFault.value_or("")));
  lblUpAfter->setText(QString::fromStdString(upFault.value_or("")));
  btnOk->setEnabled(check.ok() && !downFault && !upFault);
}

// As for one host: a value equal to that of all hosts is no override.
void TfrmEditHosts::storeAlertSettings(const std::vector<std::string>& addresses) const {
  const std::optional<std::string> down = changed(edDownAfter);
  const std::optional<std::string> up = changed(edUpAfter);
  const Qt::CheckState notify = cbNotify->checkState();
  if (!down && !up && notify == Qt::PartiallyChecked) return;
  TAlertSettings alerts = TAlertSettings::load(addresses);
  for (const std::string& address : addresses) {
    if (down) {
      const int value = QString::fromStdString(*down).trimmed().toInt();
      if (value != alerts.lostToDown)
        alerts.downAfter[address] = value;
      else
        alerts.downAfter.erase(address);
    }
    if (up) {
      const int value = QString::fromStdString(*up).trimmed().toInt();
      if (value != alerts.answersToUp)
        alerts.upAfter[address] = value;
      else
        alerts.upAfter.erase(address);
    }
    if (notify == Qt::Unchecked) alerts.notifyHost[address] = false;
    if (notify == Qt::Checked) alerts.notifyHost.erase(address);
  }
  alerts.store(addresses);
}

void TfrmEditHosts::accept() {
  recheck();
  if (!btnOk->isEnabled()) return;
  const std::vector<TTolvoHost*> hosts = current();
  std::vector<std::string> addresses;
  for (const TTolvoHost* host : hosts) addresses.push_back(host->ipAddress);
  storeAlertSettings(addresses);
  applyHostsEdit(hosts, texts());
  QDialog::accept();
}
