#pragma once
// "About": the program's name, version and credits above a picture of a glider. Shown modally from
// Help > About; the text is rebuilt at every showing.

#include <QDialog>

class QLabel;
class QPlainTextEdit;

class TfrmAbout : public QDialog {
  Q_OBJECT
 public:
  // The whole text; every line feed starts a new line of Memo1.
  static const char* const AboutText;

  explicit TfrmAbout(QWidget* parent = nullptr);

  QPlainTextEdit* Memo1;
  QLabel* Image1;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void FormShow();
};
