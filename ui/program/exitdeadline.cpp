#include "exitdeadline.h"

#include <unistd.h>

#include <cstdio>
#include <thread>

void armExitDeadline(int exitCode, std::chrono::milliseconds limit) {
  // Detached: a process that ends in time takes the sleeping thread with it.
  std::thread([exitCode, limit] {
    std::this_thread::sleep_for(limit);
    std::fputs("Sorvelo: the exit was held; ending now\n", stderr);
    ::_exit(exitCode);
  }).detach();
}
