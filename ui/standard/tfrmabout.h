#pragma once
// "About": the program's name, version and credits above a picture of a glider. Shown modally from
// Help > About; the text is rebuilt at every showing.

#include <QDialog>
#include <QFont>

#include <functional>
#include <vector>

class QLabel;
class QPlainTextEdit;

class TfrmAbout : public QDialog {
  Q_OBJECT
 public:
  // The whole text; every line feed starts a new line of Memo1.
  static const char* const AboutText;

  explicit TfrmAbout(QWidget* parent = nullptr);

  // The font of Memo1: the first of `candidates` that really is fixed-pitch once the font system
  // has matched it to an installed font, else the first candidate. "Courier New" and the desktop's
  // fixed font are asked for first, but either may be matched to a proportional font (fontconfig
  // maps a missing family to whatever "monospace" means on the machine, and some "Mono" families
  // carry glyphs of two widths), so every installed fixed-pitch family follows as a fallback.
  static QFont fixedPitchFont();
  static QFont firstFixedPitch(const std::vector<QFont>& candidates,
                               const std::function<bool(const QFont&)>& reallyFixed);

  QPlainTextEdit* Memo1;
  QLabel* Image1;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void FormShow();
  void fitMemoToText();
};
