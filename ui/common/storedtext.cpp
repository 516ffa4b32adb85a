#include "ui/common/storedtext.h"

#include <QStringDecoder>

QString shownText(const std::string& stored) {
  QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
  const QString decoded = utf8.decode(QByteArrayView(stored.data(), static_cast<qsizetype>(stored.size())));
  if (!utf8.hasError()) return decoded;
  return QString::fromLatin1(stored.data(), static_cast<qsizetype>(stored.size()));
}

std::string editedText(const QString& text, const std::string& stored) {
  return text == shownText(stored) ? stored : text.toStdString();
}
