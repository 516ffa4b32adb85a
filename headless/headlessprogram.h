#pragma once
// The entry of the modes without a display (--headless, --help, --version). It runs before any
// QApplication exists and creates a QCoreApplication only: no widget is loaded.
//
// Exit status: 0 after a clean stop (and for --help, --version), 1 when ICMP echoes cannot be sent,
// another running copy uses the hosts file, or start-up fails, 2 for bad arguments (an unknown
// option, a --config file that does not exist).

int runHeadlessProgram(int argc, char** argv);
