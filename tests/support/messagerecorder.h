#pragma once
// Records what the program would show the user, for the lifetime of the recorder.

#include <mutex>
#include <string>
#include <vector>

#include "base/usermessages.h"

class TMessageRecorder {
 public:
  TMessageRecorder();
  ~TMessageRecorder();

  std::vector<std::string> messages() const;
  void clear();

 private:
  void record(const std::string& text);

  mutable std::mutex lock;
  std::vector<std::string> recorded;
};
