#include "messagerecorder.h"

TMessageRecorder::TMessageRecorder() {
  auto keep = [this](const std::string& text) { record(text); };
  installUserMessageSink({keep, keep});
}

TMessageRecorder::~TMessageRecorder() { installUserMessageSink({}); }

std::vector<std::string> TMessageRecorder::messages() const {
  std::lock_guard guard(lock);
  return recorded;
}

void TMessageRecorder::clear() {
  std::lock_guard guard(lock);
  recorded.clear();
}

void TMessageRecorder::record(const std::string& text) {
  std::lock_guard guard(lock);
  recorded.push_back(text);
}
