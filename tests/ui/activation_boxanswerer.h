#pragma once
// Answers the program's modal message boxes in tests: a timer looks for the active modal
// QMessageBox, records what it shows and clicks the next scripted answer. When the script has run
// out it answers No (or OK) and records that as well, so a test never hangs on an unexpected box.

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QString>
#include <QTimer>

#include <deque>
#include <functional>
#include <utility>
#include <vector>

struct TSeenBox {
  QString title;
  QString text;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  QMessageBox::StandardButtons buttons;
  QMessageBox::StandardButton answer = QMessageBox::NoButton;
  Qt::TextFormat format = Qt::AutoText;
};

class TBoxAnswerer {
 public:
  explicit TBoxAnswerer(std::vector<QMessageBox::StandardButton> answers = {})
      : script(answers.begin(), answers.end()) {
    timer.setInterval(5);
    QObject::connect(&timer, &QTimer::timeout, [this] { poll(); });
    timer.start();
  }

  // Runs while a box is open, before it is answered (for clicks "during" a box).
  std::function<void(const TSeenBox&)> onBox;

  std::vector<TSeenBox> seen;
  int unscripted = 0;

 private:
  void poll() {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box || !box->isVisible() || box->property("answered").toBool()) return;
    box->setProperty("answered", true);
    TSeenBox record{box->windowTitle(), box->text(), box->icon(), box->standardButtons()};
    record.format = box->textFormat();
    QMessageBox::StandardButton answer = QMessageBox::NoButton;
    if (!script.empty()) {
      answer = script.front();
      script.pop_front();
    } else {
      ++unscripted;
      answer = (record.buttons & QMessageBox::No) ? QMessageBox::No : QMessageBox::Ok;
    }
    record.answer = answer;
    seen.push_back(record);
    if (onBox) onBox(record);
    if (QAbstractButton* button = box->button(answer)) {
      button->click();
    } else {
      box->reject();
    }
  }

  std::deque<QMessageBox::StandardButton> script;
  QTimer timer;
};
