// The picture of a notification for the user guide, made by scripts/alerts-screenshot.sh: alerts
// send a real notification over a private bus to the test's own service, which draws what it
// received the way a desktop shows it. In a test run the three changes must arrive as one notification
// and the picture goes to a folder of the test's own; the script names docs/images instead.

#include <gtest/gtest.h>

#include <QDateTime>
#include <QHBoxLayout>
#include <QLabel>
#include <QTemporaryDir>
#include <QTest>
#include <QVBoxLayout>

#include "alerts/alertcenter.h"
#include "core/tolvohosts.h"
#include "notificationservice.h"
#include "ui/program/programpictures.h"

namespace {

// A card as notification services draw one: the program's picture, its name, the summary in bold
// and the body.
QPixmap drawNotification(const TNotifyCall& call) {
  QFrame card;
  card.setObjectName(QStringLiteral("card"));
  card.setStyleSheet(QStringLiteral("#card { background: #2b2d31; border: 1px solid #4a4d55; "
                                    "border-radius: 10px; } QLabel { color: #e8e8e8; }"));
  card.setFixedWidth(460);
  auto* row = new QHBoxLayout(&card);
  row->setContentsMargins(16, 14, 16, 14);
  auto* picture = new QLabel;
  picture->setPixmap(trayPicture(TTrayPicture::ConnectionDown).scaled(40, 40, Qt::KeepAspectRatio, Qt::SmoothTransformation));
  picture->setAlignment(Qt::AlignTop);
  row->addWidget(picture);
  auto* texts = new QVBoxLayout;
  auto* app = new QLabel(call.appName + QStringLiteral(" · now"));
  app->setStyleSheet(QStringLiteral("color: #a0a4ad;"));
  auto* summary = new QLabel(QStringLiteral("<b>%1</b>").arg(call.summary.toHtmlEscaped()));
  summary->setWordWrap(true);
  auto* body = new QLabel(call.body);
  body->setTextFormat(Qt::PlainText);
  body->setWordWrap(true);
  for (QLabel* label : {app, summary, body}) texts->addWidget(label);
  row->addLayout(texts, 1);
  texts->setSpacing(3);
  card.setFixedHeight(row->totalHeightForWidth(card.width()));
  return card.grab();
}

TEST(AlertScreenshot, DrawsTheNotificationAServiceReceives) {
  // The picture goes where the screenshot script asks, or into a folder of the test's own.
  QTemporaryDir own;
  QString folder = qEnvironmentVariable("SORVELO_SCREENSHOT_DIR");
  if (folder.isEmpty()) folder = own.path();
  TSessionBus bus;
  ASSERT_FALSE(bus.address().isEmpty());
  TNotificationService service(bus.address());
  ASSERT_TRUE(service.started());
  TTolvoHosts hosts;
  TAlertCenter center(hosts, bus.connect(QStringLiteral("program")));
  center.applySettings({});

  // Three hosts stop answering within the same two seconds.
  std::vector<std::unique_ptr<TTolvoHost>> down;
  const std::int64_t now = QDateTime::currentMSecsSinceEpoch();
  int last = 1;
  for (const char* name : {"gateway", "nas", "printer"}) {
    auto host = std::make_unique<TTolvoHost>();
    host->callingName = name;
    host->ipAddress = "192.168.1." + std::to_string(last++);
    for (int i = 0; i < 5; ++i) center.echoResult(*host, {now + i * 3000, i < 2, i < 2 ? 800 : -1});
    down.push_back(std::move(host));
  }
  ASSERT_TRUE(QTest::qWaitFor([&] { return !service.calls().empty(); }, 5000));
  ASSERT_EQ(service.calls().size(), 1u) << "three changes within two seconds make one notification";
  EXPECT_EQ(service.calls().front().summary, QStringLiteral("3 hosts down: gateway, nas, printer"));
  const QPixmap picture = drawNotification(service.calls().front());
  EXPECT_TRUE(picture.save(folder + QStringLiteral("/notification.png")));
}

}  // namespace
