#include "usermessagebox.h"

#include <QApplication>
#include <QMessageBox>

#include "base/usermessages.h"
#include "ui/common/siteaddresses.h"

namespace {

void runBox(QMessageBox::Icon icon, const std::string& text) {
  QMessageBox box(icon, QString::fromLatin1(ApplicationTitle), QString::fromLocal8Bit(text),
                  QMessageBox::Ok, QApplication::activeWindow());
  // Messages may carry pasted text or file names: shown as they are, never as markup.
  box.setTextFormat(Qt::PlainText);
  box.exec();
}

}  // namespace

TUserMessageBox::TUserMessageBox() {
  installUserMessageSink({[](const std::string& text) { showBox(text); },
                          [w = waiting](const std::string& text) { post(w, text); }});
}

TUserMessageBox::~TUserMessageBox() { installUserMessageSink({}); }

void TUserMessageBox::showBox(const std::string& text) { runBox(QMessageBox::NoIcon, text); }

void TUserMessageBox::showErrorBox(const std::string& text) {
  runBox(QMessageBox::Critical, text);
}

void TUserMessageBox::post(const std::shared_ptr<TWaiting>& waiting, const std::string& text) {
  {
    std::lock_guard guard(waiting->lock);
    if (!waiting->texts.insert(text).second) return;  // the same text waits or is on screen
  }
  auto* app = QCoreApplication::instance();
  if (!app) return;
  QMetaObject::invokeMethod(
      app,
      [waiting, text] {
        showBox(text);
        std::lock_guard guard(waiting->lock);
        waiting->texts.erase(text);
      },
      Qt::QueuedConnection);
}
