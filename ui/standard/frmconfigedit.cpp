#include "ui/standard/frmconfigedit.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QVBoxLayout>

#include <exception>

#include "config/settings.h"
#include "config/startupentry.h"
#include "ui/common/siteaddresses.h"
#include "ui/common/storedtext.h"
#include "ui/common/windowfit.h"
#include "ui/common/windowplacement.h"

namespace {
constexpr int ClientWidth = 324;
constexpr int ClientHeight = 257;
}  // namespace

TfrmConfigEdit::TfrmConfigEdit(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("Configuration"));
  // A fixed border without title-bar buttons: only the dialog's own buttons close it.
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::MSWindowsFixedSizeDialogHint);
  buildControls();
  setFixedSize(fittedSize(*this, QSize(ClientWidth, ClientHeight)));
}

TfrmConfigEdit::~TfrmConfigEdit() = default;

void TfrmConfigEdit::buildControls() {
  // "Don't save" is created first so that it is first in the tab order and has the focus.
  btnNoSave = new QPushButton(QStringLiteral("Don't save"), this);
  btnSave = new QPushButton(QStringLiteral("Save"), this);
  edGenLogFileName = new QLineEdit(this);
  edHostsFileName = new QLineEdit(this);
  cbGenLogEnabled = new QCheckBox(QStringLiteral("General log enabled"), this);
  cbHostLogEnabled = new QCheckBox(QStringLiteral("Host log enabled"), this);
  cbAutostartup = new QCheckBox(QStringLiteral("Start pinging on program startup"), this);
  cbCheckVersion = new QCheckBox(QStringLiteral("Check version on startup"), this);
  btnAddToStart = new QPushButton(QStringLiteral("Add Tolvo to Windows startup"), this);
  btnRemoveStart = new QPushButton(QStringLiteral("Remove Tolvo from Windows startup"), this);
  for (QPushButton* b : {btnNoSave, btnSave, btnAddToStart, btnRemoveStart}) b->setAutoDefault(false);

  auto* files = new QGridLayout;
  files->addWidget(new QLabel(QStringLiteral("General log filename :"), this), 0, 0);
  files->addWidget(edGenLogFileName, 0, 1);
  files->addWidget(new QLabel(QStringLiteral("Hosts filename :"), this), 1, 0);
  files->addWidget(edHostsFileName, 1, 1);

  auto* closing = new QHBoxLayout;
  closing->addStretch(1);
  closing->addWidget(btnSave);
  closing->addWidget(btnNoSave);

  auto* column = new QVBoxLayout(this);
  column->addLayout(files);
  for (QWidget* w : std::initializer_list<QWidget*>{cbGenLogEnabled, cbHostLogEnabled, cbAutostartup,
                                                   cbCheckVersion, btnAddToStart, btnRemoveStart}) {
    column->addWidget(w);
  }
  column->addStretch(1);
  column->addLayout(closing);

  setTabOrder(btnNoSave, btnSave);
  setTabOrder(btnSave, edGenLogFileName);
  setTabOrder(edGenLogFileName, edHostsFileName);
  setTabOrder(edHostsFileName, cbGenLogEnabled);
  setTabOrder(cbGenLogEnabled, cbHostLogEnabled);
  setTabOrder(cbHostLogEnabled, cbAutostartup);
  setTabOrder(cbAutostartup, cbCheckVersion);
  setTabOrder(cbCheckVersion, btnAddToStart);
  setTabOrder(btnAddToStart, btnRemoveStart);

  connect(btnSave, &QPushButton::clicked, this, &TfrmConfigEdit::btnSaveClick);
  connect(btnNoSave, &QPushButton::clicked, this, &TfrmConfigEdit::btnNoSaveClick);
  connect(btnAddToStart, &QPushButton::clicked, this, &TfrmConfigEdit::btnAddToStartClick);
  connect(btnRemoveStart, &QPushButton::clicked, this, &TfrmConfigEdit::btnRemoveStartClick);
}

// Filled at every opening (not at every activation), so a message box of the start-up buttons
// closing over the dialog does not throw away what the user has typed.
void TfrmConfigEdit::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (event->spontaneous()) return;
  centreOnScreen(*this);
  fillFromSettings();
  btnNoSave->setFocus(Qt::OtherFocusReason);
}

// The buttons are not default buttons (Return in a file name must not press one), so a button with
// the focus lets Return through to here.
void TfrmConfigEdit::keyPressEvent(QKeyEvent* event) {
  const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
  auto* button = qobject_cast<QPushButton*>(focusWidget());
  if (enter && button && button->isEnabled() && button->window() == this) {
    button->click();
    return;
  }
  QDialog::keyPressEvent(event);
}

void TfrmConfigEdit::fillFromSettings() {
  edGenLogFileName->setText(shownText(settings.general_log_filename));
  edHostsFileName->setText(shownText(settings.hosts_file_name));
  cbGenLogEnabled->setChecked(settings.general_log_enabled);
  cbHostLogEnabled->setChecked(settings.host_log_enabled);
  cbAutostartup->setChecked(settings.auto_startup);
  cbCheckVersion->setChecked(settings.checkversion == 2);
}

// A file name left as it was shown keeps its bytes, also when they are not UTF-8.
void TfrmConfigEdit::storeToSettings() {
  settings.general_log_filename = editedText(edGenLogFileName->text(), settings.general_log_filename);
  settings.hosts_file_name = editedText(edHostsFileName->text(), settings.hosts_file_name);
  settings.general_log_enabled = cbGenLogEnabled->isChecked();
  settings.host_log_enabled = cbHostLogEnabled->isChecked();
  settings.auto_startup = cbAutostartup->isChecked();
  settings.checkversion = cbCheckVersion->isChecked() ? 2 : 1;
}

void TfrmConfigEdit::btnSaveClick() {
  storeToSettings();
  accept();
}

void TfrmConfigEdit::btnNoSaveClick() { reject(); }

void TfrmConfigEdit::btnAddToStartClick() {
  try {
    addToStartup();
  } catch (const std::exception& e) {
    QMessageBox::critical(this, QString::fromLatin1(ApplicationTitle),
                          QString::fromStdString(e.what()));
  }
}

// Its messages (nothing to remove, folder not readable) come through the user-message sink.
void TfrmConfigEdit::btnRemoveStartClick() { removeFromStartup(); }
