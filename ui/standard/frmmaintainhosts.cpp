#include "ui/standard/frmmaintainhosts.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QTextBlock>
#include <QTextBrowser>
#include <QUrl>
#include <QTimer>
#include <QVBoxLayout>

#include <exception>
#include <utility>

#include "config/settings.h"
#include "core/addhost.h"
#include "core/pingingsettings.h"
#include "core/tolvohosts.h"
#include "base/textutils.h"
#include "base/usermessages.h"
#include "net/dnsquery.h"
#include "net/pastedforms.h"
#include "ui/standard/maintainupdown.h"
#include "ui/common/siteaddresses.h"
#include "ui/common/storedtext.h"
#include "ui/common/windowfit.h"

namespace {

constexpr int ClientWidth = 775;
constexpr int ClientHeight = 513;
// The label shows one ampersand. QLabel without a buddy draws "&" as it stands, so the single
// ampersand is written here (a doubled one would show doubled).
constexpr const char* NewHostsLabel =
    "Enter / paste the hosts to be added in here (copy & paste traceroute etc..) :";
constexpr const char* NewHostsInitialLine = "Paste or enter hosts that should be added in here ..";
constexpr int HostRole = Qt::UserRole + 1;
constexpr int AddReportHeight = 110;
constexpr std::uint32_t BlockSizeAsked = 16;  // a larger block is added only after a question
constexpr const char* OfferScheme = "offer";
constexpr qint64 EventGapMs = 50;  // longest stretch of an Add without serving the window's events

QString listLine(const TTolvoHost& host) {
  return shownText(host.callingName) + QStringLiteral(" (") + shownText(host.hostName) +
         QStringLiteral(" / ") + shownText(host.ipAddress) + QStringLiteral(")");
}

QLineEdit* fieldRow(QGridLayout* grid, int row, const char* label, QWidget* parent) {
  auto* edit = new QLineEdit(parent);
  grid->addWidget(new QLabel(QString::fromLatin1(label), parent), row, 0);
  grid->addWidget(edit, row, 1);
  return edit;
}

}  // namespace

TfrmMaintainHosts::TfrmMaintainHosts(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("Maintain hosts"));
  // Fixed single border with only a close button.
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
  buildControls();
  setFixedSize(fittedSize(*this, QSize(ClientWidth, ClientHeight)));
  updateControlStates();
}

TfrmMaintainHosts::~TfrmMaintainHosts() = default;  // after TAddReport is known

void TfrmMaintainHosts::buildControls() {
  auto* right = new QVBoxLayout;
  right->addWidget(buildHostFields());
  right->addWidget(buildNewHostsArea(), 1);
  auto* main = new QHBoxLayout(this);
  main->addWidget(buildListArea(), 1);
  main->addLayout(right, 1);
}

QWidget* TfrmMaintainHosts::buildHostFields() {
  auto* frame = new QGroupBox(this);
  auto* grid = new QGridLayout(frame);
  edName = fieldRow(grid, 0, "Name :", frame);
  edHostAddress = fieldRow(grid, 1, "Host name :", frame);
  edIPAddress = fieldRow(grid, 2, "IP-address  :", frame);
  edIPAddress->setReadOnly(true);

  edPingInterval = new QLineEdit(frame);
  udInterval = new TMaintainUpDown(frame);
  udInterval->setAssociate(edPingInterval);
  auto* intervalRow = new QHBoxLayout;
  intervalRow->addWidget(edPingInterval);
  intervalRow->addWidget(udInterval);
  intervalRow->addStretch(1);
  grid->addWidget(new QLabel(QStringLiteral("Target ping interval :"), frame), 3, 0);
  grid->addLayout(intervalRow, 3, 1);

  btnSave = new QPushButton(QStringLiteral("Save"), frame);
  grid->addWidget(btnSave, 4, 1, Qt::AlignRight);
  connect(btnSave, &QPushButton::clicked, this, &TfrmMaintainHosts::btnSaveClick);
  return frame;
}

QWidget* TfrmMaintainHosts::buildNewHostsArea() {
  auto* area = new QWidget(this);
  auto* column = new QVBoxLayout(area);
  column->setContentsMargins(0, 0, 0, 0);
  lblNewHosts = new QLabel(QString::fromLatin1(NewHostsLabel), area);
  lblNewHosts->setTextFormat(Qt::PlainText);
  lblNewHosts->setWordWrap(true);
  mNewHosts = new QPlainTextEdit(area);
  mNewHosts->setPlainText(QString::fromLatin1(NewHostsInitialLine));
  mNewHosts->setLineWrapMode(QPlainTextEdit::NoWrap);
  connect(mNewHosts, &QPlainTextEdit::textChanged, this, &TfrmMaintainHosts::updateControlStates);

  cbReverseResolve = new QCheckBox(QStringLiteral("Add with reverse resolve"), area);
  btnClearMemo = new QPushButton(QStringLiteral("Clear"), area);
  btnAdd = new QPushButton(QStringLiteral("Add"), area);
  connect(btnClearMemo, &QPushButton::clicked, this, &TfrmMaintainHosts::btnClearMemoClick);
  connect(btnAdd, &QPushButton::clicked, this, &TfrmMaintainHosts::btnAddClick);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(cbReverseResolve);
  buttons->addStretch(1);
  buttons->addWidget(btnClearMemo);
  buttons->addWidget(btnAdd);

  tbAddReport = new QTextBrowser(area);
  tbAddReport->setOpenLinks(false);
  tbAddReport->setFixedHeight(AddReportHeight);
  tbAddReport->hide();
  connect(tbAddReport, &QTextBrowser::anchorClicked, this, &TfrmMaintainHosts::offerClicked);

  column->addWidget(lblNewHosts);
  column->addWidget(mNewHosts, 1);
  column->addLayout(buttons);
  column->addWidget(tbAddReport);
  return area;
}

QWidget* TfrmMaintainHosts::buildListArea() {
  auto* area = new QWidget(this);
  auto* column = new QVBoxLayout(area);
  column->setContentsMargins(0, 0, 0, 0);
  lbHosts = new QListWidget(area);
  lbHosts->setSelectionMode(QAbstractItemView::SingleSelection);
  connect(lbHosts, &QListWidget::itemSelectionChanged, this, &TfrmMaintainHosts::lbHostsClick);

  btnDeleteDown = new QPushButton(QStringLiteral("Delete hosts that are down"), area);
  btnDelete = new QPushButton(QStringLiteral("Delete"), area);
  btnDeleteAll = new QPushButton(QStringLiteral("Delete All"), area);
  connect(btnDeleteDown, &QPushButton::clicked, this, &TfrmMaintainHosts::btnDeleteDownClick);
  connect(btnDelete, &QPushButton::clicked, this, &TfrmMaintainHosts::btnDeleteClick);
  connect(btnDeleteAll, &QPushButton::clicked, this, &TfrmMaintainHosts::btnDeleteAllClick);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(btnDeleteDown);
  buttons->addStretch(1);
  buttons->addWidget(btnDelete);
  buttons->addWidget(btnDeleteAll);

  column->addWidget(lbHosts, 1);
  column->addLayout(buttons);
  return area;
}

// Filled at every opening rather than at every activation: a message box closing over the dialog
// must not drop the selection the user is working with.
void TfrmMaintainHosts::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (event->spontaneous()) return;
  if (QScreen* screen = this->screen()) {
    move(screen->availableGeometry().center() - rect().center());
  }
  closedMeanwhile = false;
  refreshHostList();
  const TTolvoHost* wanted = std::exchange(hostToSelect, nullptr);
  for (int row = 0; wanted && row < lbHosts->count(); ++row) {
    const quintptr carried = lbHosts->item(row)->data(HostRole).value<quintptr>();
    if (reinterpret_cast<const TTolvoHost*>(carried) != wanted) continue;
    lbHosts->setCurrentRow(row);  // shows the host in the fields, as a click does
    break;
  }
}

void TfrmMaintainHosts::done(int result) {
  if (adding) closedMeanwhile = true;
  saveHosts();
  QDialog::done(result);
}

void TfrmMaintainHosts::saveHosts() {
  if (hostList) hostList->saveToFile(settings.hosts_file_name);
}

bool TfrmMaintainHosts::isListed(const TTolvoHost* host) const {
  if (!hostList || !host) return false;
  for (int slot = 1; slot <= TTolvoHosts::MaxHosts; ++slot) {
    if (hostList->hostAt(slot) == host) return true;
  }
  return false;
}

TTolvoHost* TfrmMaintainHosts::selectedHost() const {
  const QList<QListWidgetItem*> selected = lbHosts->selectedItems();
  if (selected.isEmpty()) return nullptr;
  const QListWidgetItem* item = selected.first();
  auto* host = reinterpret_cast<TTolvoHost*>(item->data(HostRole).value<quintptr>());
  // A new host may have taken the memory of a deleted one: it must also still read as the line.
  return isListed(host) && listLine(*host) == item->text() ? host : nullptr;
}

void TfrmMaintainHosts::refreshHostList() {
  if (!hostList) {
    // Queued: called from the opening inside exec(), an immediate close would come before exec's
    // event loop exists, and that loop would then never end.
    QTimer::singleShot(0, this, [this] { close(); });
    return;
  }
  {
    const QSignalBlocker quiet(lbHosts);
    lbHosts->clear();
    hostList->firstHost();
    TTolvoHost* host = nullptr;
    // At most one line per slot, whatever the enumeration does.
    for (int n = 0; n < TTolvoHosts::MaxHosts && hostList->hasMoreHosts(); ++n) {
      if (!hostList->nextHost(host) || !host) break;
      auto* item = new QListWidgetItem(listLine(*host), lbHosts);
      item->setData(HostRole, QVariant::fromValue(reinterpret_cast<quintptr>(host)));
    }
    lbHosts->setCurrentRow(-1);
    lbHosts->clearSelection();
  }
  updateControlStates();
}

void TfrmMaintainHosts::showSelectedHost() {
  if (const TTolvoHost* host = selectedHost()) {
    edName->setText(shownText(host->callingName));
    edHostAddress->setText(shownText(host->hostName));
    edIPAddress->setText(shownText(host->ipAddress));
    edPingInterval->setText(QString::number(host->interval));
  }
  updateControlStates();
}

// The address that is pinged stays as it is, and a changed host name is not looked up. An interval
// that is not a whole number of at least one second leaves the host's interval as it was: zero
// would have the host pinged on every scheduler pass and its worker found dead at once; the user is
// told. A name field left as it was shown keeps its bytes exactly, whatever their encoding.
void TfrmMaintainHosts::storeSelectedHost() {
  if (TTolvoHost* host = selectedHost()) {
    const THostNames before{host->callingName, host->hostName, host->ipAddress};
    host->callingName = editedText(edName->text(), before.callingName);
    host->hostName = editedText(edHostAddress->text(), before.hostName);
    if (hostList && (before.callingName != host->callingName || before.hostName != host->hostName))
      hostList->hostEdited(host, before);
    bool ok = false;
    const int interval = edPingInterval->text().trimmed().toInt(&ok);
    if (ok && interval >= 1) {
      host->interval = interval;
    } else {
      showUserMessage("The target ping interval must be a whole number of seconds, at least 1. The "
                      "host keeps its interval of " + std::to_string(host->interval) + " seconds.");
    }
  }
  updateControlStates();
}

void TfrmMaintainHosts::updateControlStates() {
  const bool selected = !lbHosts->selectedItems().isEmpty();
  for (QWidget* w : std::initializer_list<QWidget*>{btnSave, edName, edHostAddress, edIPAddress,
                                                   edPingInterval, udInterval, btnDelete,
                                                   btnDeleteAll}) {
    w->setEnabled(selected);
  }
  const bool hasLine = !mNewHosts->document()->isEmpty();
  btnAdd->setEnabled(hasLine);
  btnClearMemo->setEnabled(hasLine);
  btnDeleteDown->setEnabled(true);
  cbReverseResolve->setEnabled(true);
}

void TfrmMaintainHosts::lbHostsClick() { showSelectedHost(); }

void TfrmMaintainHosts::btnSaveClick() {
  if (selectedHost()) {
    storeSelectedHost();
    refreshHostList();
  }
  updateControlStates();
}

void TfrmMaintainHosts::btnClearMemoClick() {
  mNewHosts->clear();
  updateControlStates();
}

void TfrmMaintainHosts::btnDeleteClick() {
  if (!hostList) return;
  if (TTolvoHost* host = selectedHost()) hostList->deleteHost(host);
  refreshHostList();
  updateControlStates();
}

void TfrmMaintainHosts::btnDeleteAllClick() {
  if (!hostList) return;
  QMessageBox box(QMessageBox::Question, QStringLiteral("Confirm"),
                  QStringLiteral("Are you sure you want to delete all hosts?"),
                  QMessageBox::Yes | QMessageBox::No, this);
  box.setDefaultButton(QMessageBox::Yes);
  if (box.exec() == QMessageBox::Yes) hostList->clearHosts();
  refreshHostList();
}

// Only hosts that have recorded a result in this run can be judged: a host whose history is still
// empty shows "Unknown" and is kept, so pressing this right after start-up deletes nothing.
void TfrmMaintainHosts::btnDeleteDownClick() {
  if (!hostList) return;
  hostList->firstHost();
  TTolvoHost* host = nullptr;
  for (int n = 0; n < TTolvoHosts::MaxHosts && hostList->hasMoreHosts(); ++n) {
    if (!hostList->nextHost(host) || !host) break;
    const bool hasResult = host->historyAt(TTolvoHost::HistorySize).used;
    if (hasResult && !host->recentlyUp(10)) hostList->deleteHost(host);
  }
  refreshHostList();
}

// The lookups inside addHost wait on the event loop, so a click on Add can arrive while an Add is
// running. Rather than nesting a second pass over the same text, it is run once more afterwards.
void TfrmMaintainHosts::btnAddClick() {
  if (adding) {
    addAgain = true;
    return;
  }
  adding = true;
  closedMeanwhile = false;
  setPreferIpv6(pingingFlag(PreferIpv6Setting,
                            extraSetting(PreferIpv6Setting.section, PreferIpv6Setting.name)));
  auto report = std::make_unique<TAddReport>();
  for (int pass = 0; pass < 100; ++pass) {
    addAgain = false;
    // A pass after the first finds the hosts of the ones before as duplicates: it reports what it
    // did on top of the hosts they added.
    auto passReport = std::make_unique<TAddReport>();
    addFromText(*passReport);
    passReport->added += pass == 0 ? 0 : report->added;
    report = std::move(passReport);
    if (!addAgain || closedMeanwhile) break;
  }
  adding = false;
  // Closed during a lookup: the file was written at closing; write it again with what came after.
  if (closedMeanwhile) {
    saveHosts();
    return;
  }
  refreshHostList();
  showAddReport(*report);
}

void TfrmMaintainHosts::addFromText(TAddReport& report) {
  // Line by line, reading the text box afresh each time: it may change during a lookup. A paste of
  // many megabytes takes a second or more even without lookups: the window's events are served
  // between lines now and then, as during a lookup.
  QElapsedTimer sinceEvents;
  sinceEvents.start();
  for (int line = 0; line < mNewHosts->document()->blockCount(); ++line) {
    if (sinceEvents.elapsed() >= EventGapMs) {
      QCoreApplication::processEvents();
      sinceEvents.restart();
      if (closedMeanwhile || !hostList) return;
    }
    const std::string text = mNewHosts->document()->findBlockByNumber(line).text().toStdString();
    for (const THostPart& part : hostParts(text, localHostNames())) {
      if (closedMeanwhile || !hostList) return;
      if (!addPart(part, report)) return;
    }
  }
}

bool TfrmMaintainHosts::addPart(const THostPart& part, TAddReport& report) {
  try {
    addHostPart(*hostList, part, cbReverseResolve->isChecked(), report);
    return true;
  } catch (const std::exception& e) {
    // A lookup that cannot even start ends this Add; the hosts added before it stay.
    showLookupFailure(e);
    return false;
  }
}

void TfrmMaintainHosts::showLookupFailure(const std::exception& failure) {
  QMessageBox::critical(this, QString::fromLatin1(ApplicationTitle),
                        QString::fromStdString(failure.what()));
}

// The report's texts are the user's own: every one is escaped before it goes into the page.
void TfrmMaintainHosts::showAddReport(const TAddReport& report) {
  QString page;
  for (const std::string& line : report.lines()) {
    const QString text = QString::fromStdString(line).toHtmlEscaped();
    page += line.starts_with("  ") ? "&nbsp;&nbsp;" + text.trimmed() : text;
    page += "<br>";
  }
  for (std::size_t i = 0; i < report.offers.size(); ++i) {
    const TAddOffer& offer = report.offers[i];
    QString what = QString::fromStdString(offer.text).toHtmlEscaped();
    if (offer.block) {
      const std::optional<TAddressBlock> block = parseAddressBlock(offer.text);
      what = QString("the %1 addresses of %2").arg(block ? block->count : 0).arg(what);
    }
    page += QString("<a href=\"%1:%2\">Add %3</a><br>").arg(OfferScheme).arg(i).arg(what);
  }
  shownReport = std::make_unique<TAddReport>(report);
  tbAddReport->setHtml(page);
  tbAddReport->show();
}

void TfrmMaintainHosts::offerClicked(const QUrl& link) {
  if (adding || !hostList || !shownReport || link.scheme() != OfferScheme) return;
  bool ok = false;
  const std::size_t index = link.path().toULong(&ok);
  if (!ok || index >= shownReport->offers.size()) return;
  adding = true;
  closedMeanwhile = false;
  setPreferIpv6(pingingFlag(PreferIpv6Setting,
                            extraSetting(PreferIpv6Setting.section, PreferIpv6Setting.name)));
  TAddReport report;
  const bool done = addOffered(index, report);
  adding = false;
  if (closedMeanwhile) {
    saveHosts();
    return;
  }
  if (!done) return;
  // The other offers stay on offer.
  std::vector<TAddOffer> left = shownReport->offers;
  left.erase(left.begin() + static_cast<std::ptrdiff_t>(index));
  for (const TAddOffer& offer : left) report.offer(offer);
  refreshHostList();
  showAddReport(report);
}

// False when the user said no to a large block.
bool TfrmMaintainHosts::addOffered(std::size_t index, TAddReport& report) {
  const TAddOffer offer = shownReport->offers[index];
  try {
    if (!offer.block) {
      addNamedHost(*hostList, offer.text, report, offer.evenUnresolved);
      return true;
    }
    const std::optional<TAddressBlock> block = parseAddressBlock(offer.text);
    if (!block || block->count == 0) return false;
    if (block->count > BlockSizeAsked) {
      QMessageBox box(QMessageBox::Question, QStringLiteral("Confirm"),
                      QString("Add the %1 addresses of %2?")
                          .arg(block->count)
                          .arg(QString::fromStdString(offer.text)),
                      QMessageBox::Yes | QMessageBox::No, this);
      if (box.exec() != QMessageBox::Yes) return false;
    }
    addAddressBlock(*hostList, *block, cbReverseResolve->isChecked(), report,
                    [this] { return !closedMeanwhile && hostList != nullptr; });
  } catch (const std::exception& e) {
    showLookupFailure(e);
  }
  return true;
}
