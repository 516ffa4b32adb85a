#pragma once
// Hooks for scripts, read from the environment at start-up; the program has no other use for
// environment variables.
//
//   SORVELO_MESSAGES_TO_STDERR=1    messages for the user go to standard error instead of message
//                                   boxes (for runs nobody watches, such as load measurements).
//   SORVELO_OPEN_STATUS_VIEW=1      open the status view right after start (load measurements).
//   SORVELO_SCREENSHOT_DIR=<folder> after SORVELO_SCREENSHOT_DELAY_MS (default 5000) open the
//                                   status view, one second later save main-window.png and
//                                   status-view.png into the folder, then quit in the normal way.
//   SORVELO_VIEWS_SCREENSHOT_DIR=<folder>  the same for the overview and the 24-hour history of
//                                   its first two hosts: overview.png and history.png, with
//                                   the outages (outages.png) and the timeline (timeline.png).
//   SORVELO_SCREENSHOT_HISTORY_HOUR=1  that history window shows the last hour instead.
//   SORVELO_SCREENSHOT_TIMELINE_5MIN=1 that timeline shows the last 5 minutes instead of 10.
//   SORVELO_SCREENSHOT_PAUSE_MS=AT,LENGTH  Stop at AT ms after start, Start again LENGTH ms later
//                                   (a "not monitored" span for the pictures).
//   SORVELO_DARK=1                  the Fusion style with a dark palette (for the pictures).

class TfrmMain;

void installStartupHooks(TfrmMain& mainWindow);
bool messagesToStderr();
