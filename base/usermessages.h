#pragma once
// The one way the program's lower layers speak to the user.
//
// Core code never opens a dialog: it hands a text to this sink, which the user interface installs
// (a modal message box in the program, a recorder in tests). Without an installed sink the texts go
// to standard error.

#include <functional>
#include <string>

struct TUserMessageSink {
  // Shows a message and returns once the user has seen it; called on the interface thread only.
  std::function<void(const std::string&)> show;
  // Hands a message over from any thread and returns at once, never waiting for the user.
  std::function<void(const std::string&)> post;
};

// Installs the sink (pass {} to remove it). Install before worker threads run.
void installUserMessageSink(TUserMessageSink sink);

void showUserMessage(const std::string& text);
void postUserMessage(const std::string& text);
