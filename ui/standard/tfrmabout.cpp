#include "tfrmabout.h"

#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetrics>
#include <QTextCursor>
#include <QTextDocument>
#include <QLabel>
#include <QPlainTextEdit>
#include <QShowEvent>
#include <QVBoxLayout>

#include <algorithm>

#include "ui/program/programpictures.h"
#include "ui/common/windowfit.h"
#include "ui/common/windowplacement.h"

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
  Memo1 = new QPlainTextEdit(this);
  Memo1->setObjectName(QStringLiteral("Memo1"));
  Memo1->setEnabled(false);
  Memo1->setFixedHeight(193);
  Memo1->setFont(fixedPitchFont());
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

  fitMemoToText();
  setFixedSize(fittedSize(*this, QSize(235, 390)));
  centreOnScreen(*this);
}

// With a larger font the memo grows to show its eight lines whole, none wrapped and none scrolled
// out of view; the window grows with it.
void TfrmAbout::fitMemoToText() {
  if (!textLargerThanDesigned(*Memo1)) return;
  const QFontMetrics metrics(Memo1->font());
  const QStringList lines = QString::fromLatin1(AboutText).split(QLatin1Char('\n'));
  int widest = 0;
  for (const QString& line : lines) widest = std::max(widest, metrics.horizontalAdvance(line));
  const int margins =
      2 * (Memo1->frameWidth() + static_cast<int>(Memo1->document()->documentMargin())) + 4;
  Memo1->setMinimumWidth(widest + margins);
  Memo1->setFixedHeight(
      std::max(193, static_cast<int>(lines.size()) * metrics.lineSpacing() + margins));
}

QFont TfrmAbout::firstFixedPitch(const std::vector<QFont>& candidates,
                                 const std::function<bool(const QFont&)>& reallyFixed) {
  for (const QFont& font : candidates)
    if (reallyFixed(font)) return font;
  return candidates.empty() ? QFont() : candidates.front();
}

QFont TfrmAbout::fixedPitchFont() {
  // Every candidate keeps the desktop fixed font's size and says what it is for, so a matcher that
  // falls back still looks for a typewriter face.
  const QFont system = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  auto asking = [&system](const QString& family) {
    QFont font = system;
    font.setFamilies({family});
    font.setStyleHint(QFont::TypeWriter);
    font.setFixedPitch(true);
    return font;
  };
  std::vector<QFont> candidates{asking(QStringLiteral("Courier New")), asking(system.family())};
  // Looked at (matched) only when the two above turn out proportional.
  for (const QString& family : QFontDatabase::families())
    if (QFontDatabase::isFixedPitch(family)) candidates.push_back(asking(family));
  return firstFixedPitch(candidates, [](const QFont& font) { return QFontInfo(font).fixedPitch(); });
}

void TfrmAbout::showEvent(QShowEvent* event) {
  // Centred at every opening; a spontaneous show (the desktop restoring it) keeps its place.
  if (!event->spontaneous()) centreOnScreen(*this);
  FormShow();
  QDialog::showEvent(event);
}

void TfrmAbout::FormShow() {
  Memo1->clear();
  // Cut at every line feed; the piece after the last one is the last line.
  const QString text = QString::fromLatin1(AboutText);
  for (const QString& line : text.split(QLatin1Char('\n'))) Memo1->appendPlainText(line);
  Memo1->moveCursor(QTextCursor::Start);  // the name and version first, whatever else fits
}
