#include "webhooksender.h"

#include <QDateTime>
#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>
#include <QUrl>

#include "alertcommand.h"
#include "webhookbody.h"

namespace {

// Why an attempt failed, in words that never hold the URL's password.
QString failure(QNetworkReply* reply, bool timedOut, int timeoutMs, const TWebhookSettings& target) {
  const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
  if (timedOut) return QStringLiteral("no answer within %1 s").arg(timeoutMs / 1000.0);
  if (status > 0) return QStringLiteral("HTTP %1").arg(status);
  if (reply->error() == QNetworkReply::ConnectionRefusedError) return QStringLiteral("connection refused");
  if (reply->error() == QNetworkReply::TooManyRedirectsError) return QStringLiteral("too many redirects");
  QString text = reply->errorString();
  const QUrl url(QString::fromStdString(target.url));
  for (const QString& secret : {url.password(QUrl::FullyDecoded), url.password(QUrl::FullyEncoded),
                                url.userName(QUrl::FullyDecoded), url.userName(QUrl::FullyEncoded)})
    if (!secret.isEmpty()) text.replace(secret, QStringLiteral("***"));
  return text;
}

}  // namespace

TWebhookSender::TWebhookSender(QObject* parent)
    : QObject(parent), network(new QNetworkAccessManager(this)) {}

TWebhookSender::~TWebhookSender() {
  // The network access manager goes after this object's members: no reply it aborts on the way may
  // call back into them.
  for (QNetworkReply* reply : network->findChildren<QNetworkReply*>()) reply->disconnect(this);
}

void TWebhookSender::send(const TAlertChange& change, const TChangeFigures& figures) {
  if (!active()) return;
  if (pending >= MaxPending) {
    writeLog(change, QStringLiteral("dropped: %1 deliveries are waiting (%2)")
                         .arg(pending)
                         .arg(QString::fromStdString(maskedUrl(target.url))));
    return;
  }
  auto delivery = std::make_shared<TDelivery>();
  delivery->target = target;
  delivery->change = change;
  delivery->body = target.plainText ? webhookText(change, figures) : webhookJson(change, figures);
  delivery->since.start();
  ++pending;
  post(delivery);
}

void TWebhookSender::sendTest(const TWebhookSettings& settings,
                              std::function<void(bool, const QString&)> done) {
  if (const std::string refusal = checkWebhookUrl(settings.url); !refusal.empty() || settings.url.empty()) {
    if (done) done(false, QString::fromStdString(settings.url.empty() ? "No webhook URL is set." : refusal));
    return;
  }
  auto delivery = std::make_shared<TDelivery>();
  delivery->target = settings;
  delivery->change = webhookTestChange(QDateTime::currentMSecsSinceEpoch());
  delivery->body = settings.plainText ? webhookText(delivery->change, {}) : webhookJson(delivery->change, {});
  delivery->retries = 0;
  delivery->done = std::move(done);
  delivery->since.start();
  ++pending;
  post(delivery);
}

void TWebhookSender::post(const std::shared_ptr<TDelivery>& delivery) {
  ++delivery->attempts;
  delivery->timedOut = false;
  QNetworkRequest request(QUrl(QString::fromStdString(delivery->target.url)));
  request.setHeader(QNetworkRequest::ContentTypeHeader,
                    delivery->target.plainText ? QByteArray("text/plain; charset=utf-8")
                                               : QByteArray("application/json"));
  request.setHeader(QNetworkRequest::UserAgentHeader, QByteArray("Sorvelo"));
  for (const std::string& line : delivery->target.headers) {
    const std::size_t colon = line.find(':');
    const QByteArray name = QByteArray::fromStdString(line.substr(0, colon));
    request.setRawHeader(name, QByteArray::fromStdString(line.substr(colon + 1)).trimmed());
  }
  request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
  request.setMaximumRedirectsAllowed(MaxRedirects);
  QNetworkReply* reply = network->post(request, delivery->body);
  // The whole attempt is limited, not only the silence between bytes.
  QTimer::singleShot(timeoutMs, reply, [reply, delivery, attempt = delivery->attempts] {
    if (delivery->attempts != attempt || !reply->isRunning()) return;
    delivery->timedOut = true;
    reply->abort();
  });
  connect(reply, &QNetworkReply::finished, this, [this, delivery, reply] { answered(delivery, reply); });
}

void TWebhookSender::answered(const std::shared_ptr<TDelivery>& delivery, QNetworkReply* reply) {
  reply->deleteLater();
  const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
  if (!delivery->timedOut && reply->error() == QNetworkReply::NoError && status >= 200 && status < 300) {
    end(delivery, true, QStringLiteral("HTTP %1 in %2 ms").arg(status).arg(delivery->since.elapsed()));
    return;
  }
  const QString why = failure(reply, delivery->timedOut, timeoutMs, delivery->target);
  if (delivery->attempts > delivery->retries) {
    end(delivery, false, why);
    return;
  }
  const int wait = backoffMs << (delivery->attempts - 1);
  QTimer::singleShot(wait, this, [this, delivery] { post(delivery); });
}

void TWebhookSender::end(const std::shared_ptr<TDelivery>& delivery, bool delivered, const QString& outcome) {
  --pending;
  if (delivery->done) {
    delivery->done(delivered, outcome);
    return;
  }
  if (!delivered)
    writeLog(delivery->change, QStringLiteral("gave up after %1 attempts: %2 (%3)")
                                   .arg(delivery->attempts)
                                   .arg(outcome, QString::fromStdString(maskedUrl(delivery->target.url))));
  if (onFinished) onFinished(delivered, delivery->attempts, delivery->since.elapsed());
}

void TWebhookSender::writeLog(const TAlertChange& change, const QString& outcome) {
  const QString subject =
      QString::fromStdString(change.isConnection() ? std::string("connection")
                                                   : (change.hostName.empty() ? change.shownName() : change.hostName)) +
      QStringLiteral(" // ") + QString::fromStdString(change.address);
  const QString line = QStringList{isoTime(QDateTime::currentMSecsSinceEpoch()), QStringLiteral("WEBHOOK"),
                                   alertsLogField(subject), QString::fromLatin1(levelWord(change.from)),
                                   QString::fromLatin1(levelWord(change.to)), alertsLogField(outcome)}
                           .join(QLatin1Char(';'));
  const QString path = logFileFor ? logFileFor() : QString();
  if (!path.isEmpty()) {
    QFile file(path);
    // A line that cannot be written is dropped, like the general log's.
    if (file.open(QIODevice::Append | QIODevice::Text)) file.write(line.toUtf8() + '\n');
  }
  if (onLogLine) onLogLine(line);
}
