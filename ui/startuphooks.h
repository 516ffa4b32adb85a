#pragma once
// Two hooks for scripts, read from the environment at start-up; the program has no other use for
// environment variables.
//
//   SORVELO_OPEN_STATUS_VIEW=1      open the status view right after start (load measurements).
//   SORVELO_SCREENSHOT_DIR=<folder> after SORVELO_SCREENSHOT_DELAY_MS (default 5000) open the
//                                   status view, one second later save main-window.png and
//                                   status-view.png into the folder, then quit in the normal way.

class TfrmMain;

void installStartupHooks(TfrmMain& mainWindow);
