#include "tfrmabout.h"

#include <QFontDatabase>
#include <QGuiApplication>
#include <QLabel>
#include <QPlainTextEdit>
#include <QScreen>
#include <QVBoxLayout>

#include "programpictures.h"

const char* const TfrmAbout::AboutText =
    "Sorvelo\n"
    "1.0.5.1.release\n"
    "\n"
    "By the Sorvelo developers.\n"
    "\n"
    "Thanks to all who sent ideas.\n"
    "\n"
    "Free to use. No warranty.";

TfrmAbout::TfrmAbout(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("About"));
  setFixedSize(235, 390);

  Memo1 = new QPlainTextEdit(this);
  Memo1->setObjectName(QStringLiteral("Memo1"));
  Memo1->setEnabled(false);
  Memo1->setFixedHeight(193);
  Memo1->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  Memo1->setLineWrapMode(QPlainTextEdit::WidgetWidth);

  Image1 = new QLabel(this);
  Image1->setObjectName(QStringLiteral("Image1"));
  Image1->setFixedHeight(161);
  Image1->setAlignment(Qt::AlignCenter);
  Image1->setPixmap(gliderPicture());

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(8, 8, 8, 8);
  layout->addWidget(Memo1);
  layout->addStretch();
  layout->addWidget(Image1);

  if (auto* screen = QGuiApplication::primaryScreen())
    move(screen->availableGeometry().center() - rect().center());
}

void TfrmAbout::showEvent(QShowEvent* event) {
  FormShow();
  QDialog::showEvent(event);
}

void TfrmAbout::FormShow() {
  Memo1->clear();
  // Cut at every line feed; the piece after the last one is the last line.
  const QString text = QString::fromLatin1(AboutText);
  for (const QString& line : text.split(QLatin1Char('\n'))) Memo1->appendPlainText(line);
}
