#pragma once
// The program's user-message sink: plain message boxes with an OK button, titled with the
// application title.
//
// `show` opens the box at once (interface thread). `post` may come from any thread: it hands the
// text to the interface thread through a queued call and returns at once. A text that is already
// waiting or on screen is not queued again, so a worker that keeps failing shows its message once
// until the user has closed it.

#include <QString>

#include <memory>
#include <mutex>
#include <set>
#include <string>

class TUserMessageBox {
 public:
  // Installs the sink; the destructor removes it again.
  TUserMessageBox();
  ~TUserMessageBox();
  TUserMessageBox(const TUserMessageBox&) = delete;
  TUserMessageBox& operator=(const TUserMessageBox&) = delete;

  // A modal box with OK, titled with the application title.
  static void showBox(const std::string& text);
  // The error box of a failure that ended a window event.
  static void showErrorBox(const std::string& text);

 private:
  // Shared with the queued calls, which may outlive the sink.
  struct TWaiting {
    std::mutex lock;
    std::set<std::string> texts;  // posted texts not yet closed by the user
  };
  static void post(const std::shared_ptr<TWaiting>& waiting, const std::string& text);

  std::shared_ptr<TWaiting> waiting = std::make_shared<TWaiting>();
};
