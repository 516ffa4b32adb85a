// The host maintenance dialog driven as a user would: a real host list with fake lookups (recorded)
// and an echo service that never sends, a temporary hosts file, scripted answers to its boxes.

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QElapsedTimer>
#include <QTextBrowser>
#include <QUrl>
#include <QTemporaryDir>
#include <QTimer>

#include <map>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "activation_boxanswerer.h"
#include "support/messagerecorder.h"
#include "config/settings.h"
#include "core/tolvohosts.h"
#include "net/dnsquery.h"
#include "ui/standard/frmmaintainhosts.h"
#include "ui/standard/maintainupdown.h"
#include "ui/common/siteaddresses.h"

namespace {

struct TLookupCall {
  std::string text;
  bool forward;
  bool operator==(const TLookupCall&) const = default;
};

class MaintainHostsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    saved = settings;
    settings.general_log_enabled = false;
    settings.host_log_enabled = false;
    settings.hosts_file_name = dir.filePath("hosts.cfg").toStdString();
    hosts.echoService = [](const std::string&, std::int32_t) { return TEchoOutcome{false, -1}; };
    hosts.nameLookup = [this](const std::string& text, bool forward) {
      calls.push_back({text, forward});
      if (duringLookup) {
        auto hook = std::move(duringLookup);
        duringLookup = nullptr;
        hook();
      }
      if (throwOn == text) throw std::runtime_error("Lookup could not start");
      const auto& table = forward ? forwardTable : reverseTable;
      const auto found = table.find(text);
      return found == table.end() ? text : found->second;
    };
    dlg.hostList = &hosts;
  }
  void TearDown() override {
    dlg.hide();
    settings = saved;
  }

  TTolvoHost* put(const std::string& name, const std::string& address, int interval = 4) {
    auto host = hosts.newHost();
    host->callingName = name;
    host->hostName = name;
    host->ipAddress = address;
    host->interval = interval;
    TTolvoHost* raw = host.get();
    EXPECT_TRUE(hosts.appendHost(host));
    return raw;
  }

  std::vector<std::string> lines() const {
    std::vector<std::string> out;
    for (int i = 0; i < dlg.lbHosts->count(); ++i) out.push_back(dlg.lbHosts->item(i)->text().toStdString());
    return out;
  }

  std::vector<std::pair<std::string, std::string>> listed() {
    std::vector<std::pair<std::string, std::string>> out;
    for (int slot = 1; slot <= TTolvoHosts::MaxHosts; ++slot) {
      if (const TTolvoHost* h = hosts.hostAt(slot)) out.emplace_back(h->hostName, h->ipAddress);
    }
    return out;
  }

  void paste(const QString& text) { dlg.mNewHosts->setPlainText(text); }

  configRecord saved;
  QTemporaryDir dir;
  TManualClock clock{encodeDateTime(2024, 5, 6, 12)};
  TTolvoHosts hosts{clock};
  TfrmMaintainHosts dlg;
  std::map<std::string, std::string> forwardTable, reverseTable;
  std::vector<TLookupCall> calls;
  std::function<void()> duringLookup;
  std::string throwOn;
};

bool enabled(const std::vector<QWidget*>& widgets, bool expected) {
  for (QWidget* w : widgets)
    if (w->isEnabled() != expected) return false;
  return true;
}

TEST_F(MaintainHostsTest, OpeningOnAHostSelectsItsLineOnce) {
  put("alpha.test", "127.0.0.11");
  TTolvoHost* beta = put("beta.test", "127.0.0.12");
  dlg.selectHost(beta);
  dlg.show();
  EXPECT_EQ(dlg.lbHosts->currentRow(), 1);
  EXPECT_EQ(dlg.edIPAddress->text(), "127.0.0.12");
  dlg.hide();
  dlg.show();  // the next opening is an ordinary one again
  EXPECT_TRUE(dlg.lbHosts->selectedItems().isEmpty());
}

TEST_F(MaintainHostsTest, ControlStatesFollowSelectionAndTextBox) {
  put("alpha.test", "127.0.0.11", 7);
  put("beta.test", "127.0.0.12");
  dlg.show();
  const std::vector<QWidget*> hostControls{dlg.btnSave,       dlg.edName,         dlg.edHostAddress,
                                           dlg.edIPAddress,   dlg.edPingInterval, dlg.udInterval,
                                           dlg.btnDelete,     dlg.btnDeleteAll};
  EXPECT_EQ(lines(), (std::vector<std::string>{"alpha.test (alpha.test / 127.0.0.11)",
                                               "beta.test (beta.test / 127.0.0.12)"}));
  EXPECT_TRUE(dlg.lbHosts->selectedItems().isEmpty());
  EXPECT_TRUE(enabled(hostControls, false));
  // The initial line is in the text box, so Add and Clear are usable from the start.
  EXPECT_EQ(dlg.mNewHosts->toPlainText(), "Paste or enter hosts that should be added in here ..");
  EXPECT_TRUE(dlg.btnAdd->isEnabled() && dlg.btnClearMemo->isEnabled());
  EXPECT_TRUE(dlg.btnDeleteDown->isEnabled() && dlg.cbReverseResolve->isEnabled());
  EXPECT_FALSE(dlg.cbReverseResolve->isChecked());

  dlg.lbHosts->item(0)->setSelected(true);
  EXPECT_TRUE(enabled(hostControls, true));
  EXPECT_EQ(dlg.edName->text(), "alpha.test");
  EXPECT_EQ(dlg.edHostAddress->text(), "alpha.test");
  EXPECT_EQ(dlg.edIPAddress->text(), "127.0.0.11");
  EXPECT_TRUE(dlg.edIPAddress->isReadOnly());
  EXPECT_EQ(dlg.edPingInterval->text(), "7");
  EXPECT_EQ(dlg.udInterval->position(), 7);

  dlg.btnClearMemo->click();
  EXPECT_TRUE(dlg.mNewHosts->toPlainText().isEmpty());
  EXPECT_FALSE(dlg.btnAdd->isEnabled() || dlg.btnClearMemo->isEnabled());
  paste("x");
  EXPECT_TRUE(dlg.btnAdd->isEnabled() && dlg.btnClearMemo->isEnabled());
  // Adding nothing still refreshes: the selection is gone, the fields keep their texts.
  dlg.btnAdd->click();
  EXPECT_TRUE(enabled(hostControls, false));
  EXPECT_EQ(dlg.edName->text(), "alpha.test");
  EXPECT_EQ(hosts.hostCount(), 2);
}

TEST_F(MaintainHostsTest, LabelsShowTheirTextsAndTheAmpersandOnce) {
  EXPECT_EQ(dlg.windowTitle(), "Maintain hosts");
  EXPECT_EQ(dlg.size(), QSize(775, 513));
  EXPECT_EQ(dlg.lblNewHosts->text(),
            "Enter / paste the hosts to be added in here (copy & paste traceroute etc..) :");
  EXPECT_EQ(dlg.lblNewHosts->textFormat(), Qt::PlainText);
  EXPECT_EQ(dlg.lblNewHosts->buddy(), nullptr);  // no mnemonic processing of the "&"
}

TEST_F(MaintainHostsTest, SaveChangesNamesAndIntervalButNeverTheAddress) {
  TTolvoHost* host = put("alpha.test", "127.0.0.11");
  dlg.show();
  dlg.lbHosts->item(0)->setSelected(true);
  dlg.edName->setText("Router upstairs");
  dlg.edHostAddress->setText("renamed.test");
  dlg.edPingInterval->setText("12");
  dlg.btnSave->click();
  EXPECT_EQ(host->callingName, "Router upstairs");
  EXPECT_EQ(host->hostName, "renamed.test");
  EXPECT_EQ(host->ipAddress, "127.0.0.11");
  EXPECT_EQ(host->interval, 12);
  EXPECT_TRUE(calls.empty());  // a changed host name is not looked up
  EXPECT_EQ(lines(), (std::vector<std::string>{"Router upstairs (renamed.test / 127.0.0.11)"}));
  EXPECT_TRUE(dlg.lbHosts->selectedItems().isEmpty());
  EXPECT_FALSE(dlg.btnSave->isEnabled());

  // An interval that is not a whole number of at least one second leaves the interval alone, and
  // the user is told.
  TMessageRecorder recorder;
  for (const char* bad : {"abc", "0", "-3", "2.5", ""}) {
    dlg.lbHosts->item(0)->setSelected(true);
    dlg.edPingInterval->setText(QString::fromLatin1(bad));
    dlg.btnSave->click();
    EXPECT_EQ(host->interval, 12) << bad;
  }
  EXPECT_EQ(recorder.messages(),
            std::vector<std::string>(5, "The target ping interval must be a whole number of seconds, at least 1. "
                                        "The host keeps its interval of 12 seconds."));
}

// Names from a Latin-1 hosts file: shown readably, kept byte for byte unless the user changes them.
TEST_F(MaintainHostsTest, NamesThatAreNotUtf8SurviveSaveUnchanged) {
  TTolvoHost* host = put("B\xfcro", "127.0.0.12");
  host->hostName = "gw.b\xfcro.test";
  dlg.show();
  EXPECT_EQ(dlg.lbHosts->item(0)->text(), QStringLiteral("B\u00fcro (gw.b\u00fcro.test / 127.0.0.12)"));
  dlg.lbHosts->item(0)->setSelected(true);
  EXPECT_EQ(dlg.edName->text(), QStringLiteral("B\u00fcro"));
  dlg.btnSave->click();
  EXPECT_EQ(host->callingName, "B\xfcro");
  EXPECT_EQ(host->hostName, "gw.b\xfcro.test");
  dlg.close();
  TTolvoHosts reread{clock};
  ASSERT_TRUE(reread.loadFromFile(settings.hosts_file_name));
  EXPECT_EQ(reread.hostAt(1)->callingName, "B\xfcro");

  dlg.show();
  dlg.lbHosts->item(0)->setSelected(true);
  dlg.edName->setText(QStringLiteral("B\u00fcro 2"));
  dlg.btnSave->click();
  EXPECT_EQ(host->callingName, "B\xc3\xbcro 2") << "a changed name is stored as UTF-8";
  EXPECT_EQ(host->hostName, "gw.b\xfcro.test");
}

TEST_F(MaintainHostsTest, IntervalArrowsAndEditStayInStep) {
  put("alpha.test", "127.0.0.11", 4);
  dlg.show();
  dlg.lbHosts->item(0)->setSelected(true);
  dlg.udInterval->stepUp();
  EXPECT_EQ(dlg.edPingInterval->text(), "5");
  dlg.edPingInterval->setText("99");
  EXPECT_EQ(dlg.udInterval->position(), 99);
  dlg.udInterval->stepUp();
  dlg.udInterval->stepUp();  // no wrap past the maximum
  EXPECT_EQ(dlg.edPingInterval->text(), "100");
  dlg.edPingInterval->setText("1");
  dlg.udInterval->stepDown();
  EXPECT_EQ(dlg.edPingInterval->text(), "1");
  // Text that is no number leaves the arrows where they were; a step writes a number again.
  dlg.edPingInterval->setText("x");
  dlg.udInterval->stepUp();
  EXPECT_EQ(dlg.edPingInterval->text(), "2");
  // Typed beyond the range: the arrows step from the nearest end.
  dlg.edPingInterval->setText("250");
  dlg.udInterval->stepDown();
  EXPECT_EQ(dlg.edPingInterval->text(), "99");
}

TEST_F(MaintainHostsTest, DeleteRemovesOnlyTheSelectedHost) {
  put("alpha.test", "127.0.0.11");
  put("beta.test", "127.0.0.12");
  put("gamma.test", "127.0.0.13");
  dlg.show();
  dlg.lbHosts->item(1)->setSelected(true);
  dlg.btnDelete->click();
  EXPECT_EQ(listed(), (std::vector<std::pair<std::string, std::string>>{
                          {"alpha.test", "127.0.0.11"}, {"gamma.test", "127.0.0.13"}}));
  EXPECT_EQ(dlg.lbHosts->count(), 2);
  EXPECT_FALSE(dlg.btnDelete->isEnabled());
}

TEST_F(MaintainHostsTest, DeleteAllAsksFirstAndRefreshesWhateverTheAnswer) {
  put("alpha.test", "127.0.0.11");
  put("beta.test", "127.0.0.12");
  dlg.show();
  {
    TBoxAnswerer answers({QMessageBox::No});
    dlg.lbHosts->item(0)->setSelected(true);
    dlg.btnDeleteAll->click();
    ASSERT_EQ(answers.seen.size(), 1u);
    EXPECT_EQ(answers.seen[0].title, "Confirm");
    EXPECT_EQ(answers.seen[0].text, "Are you sure you want to delete all hosts?");
    EXPECT_EQ(answers.seen[0].buttons, QMessageBox::Yes | QMessageBox::No);
    EXPECT_EQ(hosts.hostCount(), 2);
    EXPECT_EQ(dlg.lbHosts->count(), 2);
    EXPECT_TRUE(dlg.lbHosts->selectedItems().isEmpty());
  }
  TBoxAnswerer answers({QMessageBox::Yes});
  dlg.lbHosts->item(1)->setSelected(true);
  dlg.btnDeleteAll->click();
  EXPECT_EQ(answers.seen.size(), 1u);
  EXPECT_EQ(hosts.hostCount(), 0);
  EXPECT_EQ(dlg.lbHosts->count(), 0);
}

// Only hosts that have results in this run and are not up go; a host without results is kept.
TEST_F(MaintainHostsTest, DeleteDownKeepsHostsWithoutResults) {
  auto record = [](TTolvoHost* h, std::vector<bool> results) {
    for (bool ok : results) {
      h->addResult({true, ok, 0, ok ? 1 : -1});
      ok ? ++h->succeededCount : ++h->failedCount;
    }
  };
  put("fresh.test", "127.0.0.11");
  record(put("failing.test", "127.0.0.12"), {false, false, false});
  record(put("answering.test", "127.0.0.13"), {false, true, true});
  // Answered long ago, failing lately: the newest ten decide.
  std::vector<bool> lately(20, true);
  for (int i = 0; i < 8; ++i) lately.push_back(false);
  record(put("recently-down.test", "127.0.0.14"), lately);
  record(put("even.test", "127.0.0.15"), {true, false});
  dlg.show();
  dlg.btnDeleteDown->click();
  EXPECT_EQ(listed(), (std::vector<std::pair<std::string, std::string>>{
                          {"fresh.test", "127.0.0.11"}, {"answering.test", "127.0.0.13"}}));
  EXPECT_EQ(dlg.lbHosts->count(), 2);
}

const char* const Traceroute =
    "traceroute to gateway.test (127.0.0.9), 30 hops max, 60 byte packets\n"
    " 1  router.lan (127.0.0.2)  0.412 ms  0.388 ms  0.371 ms\n"
    " 2  * * *\n"
    " 3  edge-1.isp.test [127.0.0.3]  4.120 ms  3.998 ms *\n"
    " 4  127.0.0.4  5.0 ms  *  5.2 ms\n"
    " 5  lost.host.test (127.0.0.5)  8 ms  9 ms  8 ms\n"
    "words without any dots here\n";

TEST_F(MaintainHostsTest, AddTakesEveryCandidateOfAPastedTracerouteOnce) {
  forwardTable = {{"gateway.test", "127.0.0.9"},
                  {"router.lan", "127.0.0.2"},
                  {"edge-1.isp.test", "127.0.0.33"}};
  dlg.show();
  paste(Traceroute);
  dlg.btnAdd->click();
  const std::vector<std::pair<std::string, std::string>> expected{
      {"gateway.test", "127.0.0.9"},          {"router.lan", "127.0.0.2"},
      {"edge-1.isp.test", "127.0.0.33"},      {"127.0.0.3", "127.0.0.3"},
      {"127.0.0.4", "127.0.0.4"},             {"lost.host.test", "lost.host.test"},
      {"127.0.0.5", "127.0.0.5"}};
  EXPECT_EQ(listed(), expected);
  // Without reverse resolve only the names are looked up, forward, in the order they appear.
  EXPECT_EQ(calls, (std::vector<TLookupCall>{{"gateway.test", true},
                                             {"router.lan", true},
                                             {"edge-1.isp.test", true},
                                             {"lost.host.test", true}}));
  const TTolvoHost* first = hosts.hostAt(1);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first->callingName, "gateway.test");
  EXPECT_EQ(first->timeout, 2000);
  EXPECT_EQ(first->interval, 4);
  EXPECT_EQ(dlg.lbHosts->count(), 7);
  EXPECT_EQ(dlg.mNewHosts->toPlainText(), Traceroute);  // Add leaves the text box as it is

  dlg.btnAdd->click();
  EXPECT_EQ(listed(), expected);
}

TEST_F(MaintainHostsTest, ReverseResolveNamesAddressesOnlyWhenChecked) {
  reverseTable = {{"127.0.0.3", "hop3.reverse.test"}};
  dlg.show();
  paste("127.0.0.3\n127.0.0.4\n");
  dlg.btnAdd->click();
  EXPECT_EQ(listed(), (std::vector<std::pair<std::string, std::string>>{
                          {"127.0.0.3", "127.0.0.3"}, {"127.0.0.4", "127.0.0.4"}}));
  EXPECT_TRUE(calls.empty());

  hosts.clearHosts();
  dlg.cbReverseResolve->setChecked(true);
  dlg.btnAdd->click();
  EXPECT_EQ(listed(), (std::vector<std::pair<std::string, std::string>>{
                          {"hop3.reverse.test", "127.0.0.3"}, {"127.0.0.4", "127.0.0.4"}}));
  EXPECT_EQ(calls, (std::vector<TLookupCall>{{"127.0.0.3", false}, {"127.0.0.4", false}}));
  EXPECT_EQ(lines()[0], "hop3.reverse.test (hop3.reverse.test / 127.0.0.3)");
}

TEST_F(MaintainHostsTest, ALookupThatCannotStartEndsTheAddWithAMessage) {
  throwOn = "second.test";
  dlg.show();
  paste("first.test\nsecond.test\nthird.test\n");
  TBoxAnswerer answers({QMessageBox::Ok});
  dlg.btnAdd->click();
  ASSERT_EQ(answers.seen.size(), 1u);
  EXPECT_EQ(answers.seen[0].text, "Lookup could not start");
  EXPECT_EQ(answers.seen[0].title, ApplicationTitle);
  EXPECT_EQ(listed(), (std::vector<std::pair<std::string, std::string>>{
                          {"first.test", "first.test"}}));
  EXPECT_EQ(calls.size(), 2u);  // third.test never reached
}

// Clicks that arrive while a lookup waits: a second Add runs after the first instead of inside it,
// and a line whose host went away meanwhile is never used.
TEST_F(MaintainHostsTest, ClicksDuringALookupNeverTouchAHostThatIsGone) {
  TTolvoHost* doomed = put("doomed.test", "127.0.0.20");
  put("kept.test", "127.0.0.21");
  dlg.show();
  dlg.lbHosts->item(0)->setSelected(true);
  paste("new-one.test\n");
  duringLookup = [&] {
    dlg.btnAdd->click();          // nested: only noted
    hosts.deleteHost(doomed);     // gone without the dialog knowing
    dlg.edName->setText("must not be written");
    dlg.btnSave->click();         // the selected line's host is gone: nothing is touched
    dlg.btnDelete->click();       // likewise, and the list is refreshed
  };
  dlg.btnAdd->click();
  EXPECT_EQ(listed(), (std::vector<std::pair<std::string, std::string>>{
                          {"new-one.test", "new-one.test"}, {"kept.test", "127.0.0.21"}}));
  // The second Add ran over the same text after the first, and found the host already there.
  EXPECT_EQ(calls, (std::vector<TLookupCall>{{"new-one.test", true}, {"new-one.test", true}}));
  EXPECT_EQ(dlg.lbHosts->count(), 2);
}

// After Add the dialog says what it did; what it only offers is added with one click on its link.
TEST_F(MaintainHostsTest, AddReportsWhatItSkippedAndAddsOffersOnAClick) {
  forwardTable = {{"gateway.test", "127.0.0.9"}, {"core.internal", "127.0.0.40"}};
  put("old.test", "127.0.0.5");
  dlg.show();
  EXPECT_FALSE(dlg.tbAddReport->isVisibleTo(&dlg));
  paste(" 1  gateway.test (127.0.0.9)  0.4 ms\n"
        "::1\n"
        "127.0.0.5 fe80::1%nosuchif0\n"
        "core.internal\n"
        "127.0.1.0/28\n"
        "127.0.2.0/24\n"
        "127.0.3.0/33\n");
  dlg.btnAdd->click();
  EXPECT_EQ(listed(), (std::vector<std::pair<std::string, std::string>>{
                          {"old.test", "127.0.0.5"}, {"gateway.test", "127.0.0.9"}, {"::1", "::1"}}));
  ASSERT_TRUE(dlg.tbAddReport->isVisibleTo(&dlg));
  const QString report = dlg.tbAddReport->toPlainText();
  for (const char* expected :
       {"Added 2 hosts.", "127.0.0.9: already in the list", "127.0.0.5: already in the list",
        "fe80::1%nosuchif0: no network interface \"nosuchif0\" on this machine",
        "core.internal: its last label \"internal\" is longer than four letters; offered below",
        "127.0.3.0/33: /33 is longer than an IPv4 address (at most /32)", "Add core.internal",
        "Add the 14 addresses of 127.0.1.0/28", "Add the 254 addresses of 127.0.2.0/24"})
    EXPECT_TRUE(report.contains(expected)) << expected << "\n" << report.toStdString();

  const auto click = [&](int offer) { emit dlg.tbAddReport->anchorClicked(QUrl(QString("offer:%1").arg(offer))); };
  click(0);  // the name: looked up and added
  EXPECT_EQ(hosts.hostAt(4)->hostName, "core.internal");
  EXPECT_EQ(hosts.hostAt(4)->ipAddress, "127.0.0.40");
  EXPECT_TRUE(dlg.tbAddReport->toPlainText().startsWith("Added 1 host."));
  click(0);  // the 14 addresses, no question asked (network and broadcast address left out)
  EXPECT_EQ(hosts.hostCount(), 18);
  EXPECT_EQ(hosts.hostAt(5)->ipAddress, "127.0.1.1");
  EXPECT_EQ(hosts.hostAt(18)->ipAddress, "127.0.1.14");
  {
    TBoxAnswerer answers({QMessageBox::No});
    click(0);  // 254 addresses: asked first, and No adds nothing
    ASSERT_EQ(answers.seen.size(), 1u);
    EXPECT_EQ(answers.seen[0].text, "Add the 254 addresses of 127.0.2.0/24?");
  }
  EXPECT_EQ(hosts.hostCount(), 18);
  {
    TBoxAnswerer answers({QMessageBox::Yes});
    click(0);
  }
  EXPECT_EQ(hosts.hostCount(), 255);
  EXPECT_EQ(dlg.lbHosts->count(), 255);
  const QString last = dlg.tbAddReport->toPlainText();
  EXPECT_TRUE(last.startsWith("Added 237 hosts.")) << last.toStdString();
  EXPECT_TRUE(last.contains("127.0.2.238 to 127.0.2.254: the list is full (255 hosts)"));
  click(0);  // no offer is left: nothing happens
  EXPECT_EQ(hosts.hostCount(), 255);

  // Each Add takes up the choice of address family from the settings.
  setExtraSetting("pinging", "prefer_ipv6", "1");
  dlg.btnAdd->click();
  EXPECT_TRUE(preferIpv6());
  setExtraSetting("pinging", "prefer_ipv6", "0");
  dlg.btnAdd->click();
  EXPECT_FALSE(preferIpv6());
}

TEST_F(MaintainHostsTest, ClosingWritesTheHostsFile) {
  put("alpha.test", "127.0.0.11", 9);
  dlg.show();
  dlg.close();
  EXPECT_FALSE(dlg.isVisible());
  TTolvoHosts reread{clock};
  ASSERT_TRUE(reread.loadFromFile(settings.hosts_file_name));
  ASSERT_EQ(reread.hostCount(), 1);
  EXPECT_EQ(reread.hostAt(1)->hostName, "alpha.test");
  EXPECT_EQ(reread.hostAt(1)->interval, 9);

  // Unchanged, it is still rewritten; Escape closes the same way.
  QFile::remove(QString::fromStdString(settings.hosts_file_name));
  dlg.show();
  dlg.reject();
  EXPECT_TRUE(QFile::exists(QString::fromStdString(settings.hosts_file_name)));
}

TEST_F(MaintainHostsTest, OpeningWithoutAHostListClosesAgain) {
  dlg.hostList = nullptr;
  QTimer fallback;  // ends the test's exec should the dialog not close itself
  fallback.setSingleShot(true);
  QObject::connect(&fallback, &QTimer::timeout, &dlg, [this] {
    dlg.show();  // a dialog that hid itself too early ignores reject(): show it again first
    dlg.reject();
  });
  fallback.start(3000);
  QElapsedTimer wall;
  wall.start();
  dlg.exec();
  EXPECT_LT(wall.elapsed(), 2000);
  EXPECT_FALSE(dlg.isVisible());
  dlg.btnDeleteDown->click();  // harmless without a list
  EXPECT_FALSE(QFile::exists(QString::fromStdString(settings.hosts_file_name)));
}

}  // namespace
