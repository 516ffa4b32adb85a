#pragma once
// "Maintain hosts": add hosts from pasted text, edit, delete. Shown modally by the main window, which
// sets hostList right before each opening.

#include <QDialog>

#include <exception>

#include <memory>
#include <string>

class TTolvoHosts;
class TTolvoHost;
class TAddReport;
struct THostPart;
class TMaintainUpDown;
class QCheckBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QPushButton;
class QTextBrowser;
class QUrl;

class TfrmMaintainHosts : public QDialog {
  Q_OBJECT
 public:
  explicit TfrmMaintainHosts(QWidget* parent = nullptr);
  ~TfrmMaintainHosts() override;

  TTolvoHosts* hostList = nullptr;

  // The controls, reachable for the main window's tests and our own.
  QListWidget* lbHosts = nullptr;
  QLineEdit* edName = nullptr;
  QLineEdit* edHostAddress = nullptr;
  QLineEdit* edIPAddress = nullptr;
  QLineEdit* edPingInterval = nullptr;
  TMaintainUpDown* udInterval = nullptr;
  QPushButton* btnSave = nullptr;
  QLabel* lblNewHosts = nullptr;
  QPlainTextEdit* mNewHosts = nullptr;
  QPushButton* btnAdd = nullptr;
  QPushButton* btnClearMemo = nullptr;
  QCheckBox* cbReverseResolve = nullptr;
  QPushButton* btnDelete = nullptr;
  QPushButton* btnDeleteAll = nullptr;
  QPushButton* btnDeleteDown = nullptr;
  // What the last Add did, with links that add what it only offered (hidden until the first Add).
  QTextBrowser* tbAddReport = nullptr;

  // The next opening selects this host's line (when it is still in the list).
  void selectHost(const TTolvoHost* host) { hostToSelect = host; }
  void refreshHostList();
  void showSelectedHost();
  void storeSelectedHost();
  void updateControlStates();

  // Every way of closing (close button, Escape, close()) ends here: the host list is written.
  void done(int result) override;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void buildControls();
  QWidget* buildHostFields();
  QWidget* buildNewHostsArea();
  QWidget* buildListArea();

  void lbHostsClick();
  void btnAddClick();
  void btnSaveClick();
  void btnClearMemoClick();
  void btnDeleteClick();
  void btnDeleteAllClick();
  void btnDeleteDownClick();

  void addFromText(TAddReport& report);
  bool addPart(const THostPart& part, TAddReport& report);
  void offerClicked(const QUrl& link);
  bool addOffered(std::size_t index, TAddReport& report);
  void showAddReport(const TAddReport& report);
  void showLookupFailure(const std::exception& failure);
  // The host carried by the selected line, or nullptr; also nullptr when that host has left the list
  // since the line was made (a pointer is never used without this check).
  TTolvoHost* selectedHost() const;
  bool isListed(const TTolvoHost* host) const;
  void saveHosts();

  bool adding = false;      // an Add is running (its lookups let other clicks in)
  bool addAgain = false;    // Add was clicked again meanwhile: run once more afterwards
  bool closedMeanwhile = false;
  const TTolvoHost* hostToSelect = nullptr;
  std::unique_ptr<TAddReport> shownReport;  // its offers are the report's links
};
