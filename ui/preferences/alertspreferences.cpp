#include "alertspreferences.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QHBoxLayout>
#include <QProcess>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include <cstdio>

#include "alerts/alertsettings.h"
#include "alerts/webhooksender.h"

namespace {

enum Column { ColName, ColAddress, ColDownAfter, ColUpAfter, ColNotify, ColumnCount };

QString numberText(double value) {
  if (value == 0) return QStringLiteral("off");
  return QString::number(value, 'g', 10);
}

// Words back to a line the user can edit: a word with blanks or quotes is quoted.
QString commandLine(const std::vector<std::string>& words) {
  QStringList parts;
  for (const std::string& word : words) {
    QString w = QString::fromStdString(word);
    if (w.contains(u' ') || w.contains(u'"') || w.contains(u'\t')) {
      w.replace(QStringLiteral("\""), QStringLiteral("\"\"\""));
      w = u'"' + w + u'"';
    }
    parts << w;
  }
  return parts.join(u' ');
}

QLineEdit* field(QFormLayout* form, const QString& label, const QString& hint) {
  auto* edit = new QLineEdit;
  edit->setToolTip(hint);
  form->addRow(label, edit);
  return edit;
}

}  // namespace

TAlertsPreferences::TAlertsPreferences(std::function<std::vector<THostRow>()> hosts, QWidget* parent)
    : QWidget(parent), listHosts(std::move(hosts)) {
  auto* column = new QVBoxLayout(this);
  cbNotify = new QCheckBox(QStringLiteral("Show desktop notifications"));
  cbQuietWhileStopped = new QCheckBox(QStringLiteral("Not while pinging is stopped"));
  column->addWidget(cbNotify);
  column->addWidget(cbQuietWhileStopped);
  auto* form = new QFormLayout;
  edLostToDown = field(form, QStringLiteral("Down after lost echoes:"),
                       QStringLiteral("Consecutive lost echoes before a host counts as down"));
  edAnswersToUp = field(form, QStringLiteral("Up after answers:"),
                        QStringLiteral("Consecutive answers before a host counts as up again"));
  edLossPercent = field(form, QStringLiteral("Degraded at loss (%):"),
                        QStringLiteral("Loss over the last 5 minutes, or \"off\""));
  edRttMs = field(form, QStringLiteral("Degraded above round trip (ms):"),
                  QStringLiteral("Mean round trip over the last 5 minutes, or \"off\""));
  edRttFactor = field(form, QStringLiteral("Degraded above median times:"),
                      QStringLiteral("Mean round trip over 5 minutes against the 24-hour median, or \"off\""));
  edMinEchoes = field(form, QStringLiteral("Echoes needed to judge:"),
                      QStringLiteral("Echoes in the last 5 minutes before a host is judged degraded"));
  edCommand = field(form, QStringLiteral("Command on a change:"),
                    QStringLiteral("Program and arguments, run without a shell; the change comes in "
                                   "SORVELO_HOST, SORVELO_CALLING_NAME, SORVELO_ADDRESS, "
                                   "SORVELO_OLD_STATE, SORVELO_NEW_STATE and SORVELO_TIME"));
  edWebhookUrl = new QLineEdit;
  edWebhookUrl->setPlaceholderText(QStringLiteral("https://…"));
  edWebhookUrl->setToolTip(QStringLiteral("Every change is posted here as JSON; request headers "
                                          "(a token) go into the settings file as webhook_header"));
  btnSendTest = new QPushButton(QStringLiteral("Send test"));
  auto* webhookRow = new QHBoxLayout;
  webhookRow->addWidget(edWebhookUrl, 1);
  webhookRow->addWidget(btnSendTest);
  form->addRow(QStringLiteral("Webhook URL:"), webhookRow);
  cbWebhookText = new QCheckBox(QStringLiteral("Post plain text instead of JSON"));
  lbSendTest = new QLabel;
  lbSendTest->setWordWrap(true);
  form->addRow(QString(), cbWebhookText);
  form->addRow(QString(), lbSendTest);
  tester = new TWebhookSender(this);
  connect(btnSendTest, &QPushButton::clicked, this, [this] {
    TWebhookSettings target;
    target.url = edWebhookUrl->text().trimmed().toStdString();
    target.headers = webhookHeaders;
    target.plainText = cbWebhookText->isChecked();
    btnSendTest->setEnabled(false);
    lbSendTest->setText(QStringLiteral("Sending…"));
    tester->sendTest(target, [this](bool delivered, const QString& outcome) {
      btnSendTest->setEnabled(true);
      lbSendTest->setText((delivered ? QStringLiteral("Delivered: ") : QStringLiteral("Not delivered: ")) + outcome);
    });
  });
  column->addLayout(form);
  column->addWidget(new QLabel(QStringLiteral("Per host (empty: as above):")));
  tbHosts = new QTableWidget(0, ColumnCount);
  tbHosts->setHorizontalHeaderLabels(
      {QStringLiteral("Host"), QStringLiteral("Address"), QStringLiteral("Down after"),
       QStringLiteral("Up after"), QStringLiteral("Notify")});
  tbHosts->setWordWrap(false);
  tbHosts->verticalHeader()->hide();
  tbHosts->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
  column->addWidget(tbHosts, 1);
}

std::vector<std::pair<QLineEdit*, const char*>> TAlertsPreferences::fields() const {
  return {{edLostToDown, "lost_to_down"},   {edAnswersToUp, "answers_to_up"},
          {edLossPercent, "degraded_loss_percent"}, {edRttMs, "degraded_rtt_ms"},
          {edRttFactor, "degraded_rtt_factor"}, {edMinEchoes, "degraded_min_echoes"}};
}

void TAlertsPreferences::load() {
  const std::vector<THostRow> hosts = listHosts ? listHosts() : std::vector<THostRow>{};
  shownAddresses.clear();
  for (const THostRow& row : hosts) shownAddresses.push_back(row.address);
  const TAlertSettings s = TAlertSettings::load(shownAddresses);
  cbNotify->setChecked(s.notify);
  cbQuietWhileStopped->setChecked(s.quietWhileStopped);
  edLostToDown->setText(QString::number(s.lostToDown));
  edAnswersToUp->setText(QString::number(s.answersToUp));
  edLossPercent->setText(numberText(s.degradedLossPercent));
  edRttMs->setText(numberText(s.degradedRttMs));
  edRttFactor->setText(numberText(s.degradedRttFactor));
  edMinEchoes->setText(QString::number(s.degradedMinEchoes));
  edCommand->setText(commandLine(s.command));
  edWebhookUrl->setText(QString::fromStdString(s.webhook.url));
  cbWebhookText->setChecked(s.webhook.plainText);
  webhookHeaders = s.webhook.headers;
  lbSendTest->clear();
  tbHosts->setRowCount(static_cast<int>(hosts.size()));
  for (int r = 0; r < static_cast<int>(hosts.size()); ++r) {
    const std::string& address = hosts[r].address;
    auto fixed = [](const std::string& text) {
      auto* item = new QTableWidgetItem(QString::fromStdString(text));
      item->setFlags(item->flags() & ~Qt::ItemIsEditable);
      return item;
    };
    tbHosts->setItem(r, ColName, fixed(hosts[r].name));
    tbHosts->setItem(r, ColAddress, fixed(address));
    const auto down = s.downAfter.find(address);
    const auto up = s.upAfter.find(address);
    tbHosts->setItem(r, ColDownAfter, new QTableWidgetItem(down == s.downAfter.end() ? QString() : QString::number(down->second)));
    tbHosts->setItem(r, ColUpAfter, new QTableWidgetItem(up == s.upAfter.end() ? QString() : QString::number(up->second)));
    auto* notify = new QTableWidgetItem;
    notify->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable | Qt::ItemIsSelectable);
    const auto quiet = s.notifyHost.find(address);
    notify->setCheckState(quiet != s.notifyHost.end() && !quiet->second ? Qt::Unchecked : Qt::Checked);
    tbHosts->setItem(r, ColNotify, notify);
  }
}

QString TAlertsPreferences::validate() const {
  for (const auto& [edit, key] : fields())
    if (const auto refusal = checkAlertSetting(key, edit->text().trimmed().toStdString()))
      return QString::fromStdString(*refusal);
  for (int r = 0; r < tbHosts->rowCount(); ++r)
    for (const auto& [column, key] : {std::pair{ColDownAfter, "down_after"}, std::pair{ColUpAfter, "up_after"}}) {
      const QString text = tbHosts->item(r, column) ? tbHosts->item(r, column)->text().trimmed() : QString();
      if (text.isEmpty()) continue;
      if (const auto refusal = checkAlertSetting(key, text.toStdString()))
        return tbHosts->item(r, ColAddress)->text() + QStringLiteral(": ") + QString::fromStdString(*refusal);
    }
  if (const std::string refusal = checkWebhookUrl(edWebhookUrl->text().trimmed().toStdString()); !refusal.empty())
    return QString::fromStdString(refusal);
  // The words are stored separated by tabs.
  for (const QString& word : QProcess::splitCommand(edCommand->text()))
    if (word.contains(u'\t')) return QStringLiteral("Alerts: a word of the command may not hold a tab.");
  return {};
}

void TAlertsPreferences::apply() {
  TAlertSettings s;
  s.notify = cbNotify->isChecked();
  s.quietWhileStopped = cbQuietWhileStopped->isChecked();
  auto number = [](QLineEdit* edit) {
    const QString text = edit->text().trimmed();
    return text == QLatin1String("off") ? 0.0 : text.toDouble();
  };
  s.lostToDown = static_cast<std::int32_t>(number(edLostToDown));
  s.answersToUp = static_cast<std::int32_t>(number(edAnswersToUp));
  s.degradedLossPercent = number(edLossPercent);
  s.degradedRttMs = static_cast<std::int32_t>(number(edRttMs));
  s.degradedRttFactor = number(edRttFactor);
  s.degradedMinEchoes = static_cast<std::int32_t>(number(edMinEchoes));
  for (const QString& word : QProcess::splitCommand(edCommand->text())) s.command.push_back(word.toStdString());
  s.webhook.url = edWebhookUrl->text().trimmed().toStdString();
  s.webhook.headers = webhookHeaders;
  s.webhook.plainText = cbWebhookText->isChecked();
  for (int r = 0; r < tbHosts->rowCount(); ++r) {
    const std::string address = tbHosts->item(r, ColAddress)->text().toStdString();
    const QString down = tbHosts->item(r, ColDownAfter)->text().trimmed();
    const QString up = tbHosts->item(r, ColUpAfter)->text().trimmed();
    if (!down.isEmpty()) s.downAfter[address] = down.toInt();
    if (!up.isEmpty()) s.upAfter[address] = up.toInt();
    if (tbHosts->item(r, ColNotify)->checkState() != Qt::Checked) s.notifyHost[address] = false;
  }
  s.store(shownAddresses);
  if (onApplied) onApplied();
}
