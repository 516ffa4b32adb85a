#pragma once
// Messages of the program without a display: one line each on standard error, starting with its
// severity ("error: ", "warning: ", "info: "), so a service manager's journal and a script can
// tell them apart.

#include <string>

enum class TSeverity { Error, Warning, Info };

void printMessage(TSeverity severity, const std::string& text);

// Installs the user-message sink that prints the lower layers' messages (a hosts file that cannot
// be read, a worker's failure) as errors. A text posted again and again (a worker failing at every
// echo) is printed once a minute at most.
void installStderrMessageSink();
