#pragma once
// Which hosts files a save may write over, and keeping the ones it may not.
//
// A save replaces only a file this program read whole as a hosts file, or wrote itself, and that has
// not changed since (same file, size and times). Anything else at that name (a file that could not be
// read, or was read only in part, a file the setting names that is no hosts file) is first moved
// aside to "<name>.unreadable-YYYYMMDD-HHMMSS" in the same folder, and
// the user is told where it went. A name that is not a regular file is never written over. A hosts
// file another program changed meanwhile (sorvelo --add, an editor) that reads whole is merged into
// the list instead (see hostsfilemerge.h).
//
// Main thread only (the host list's load and save run there).

#include <string>

#include "hostsfile.h"

// This file may be replaced by the next save: it was read whole, or just written.
void rememberHostsFile(const TFileIdentity& identity);
bool isRememberedHostsFile(const TFileIdentity& identity);

// The file a symbolic link points at (the name itself when it is no link or does not exist), so that
// a save replaces that file and leaves the user's link in place.
std::string resolvedFileName(const std::string& fileName);

// The name "<name>.unreadable-YYYYMMDD-HHMMSS" (local time `unixSeconds`) that a kept file gets.
std::string keptAsideName(const std::string& fileName, long long unixSeconds);

// Moves the file (the one a link points at) to keptAsideName of now, never over an existing file
// ("-2", "-3"... are added when the name is taken). The new name, or empty when it could not be
// moved; `why` then holds the reason.
std::string keepAside(const std::string& fileName, std::string& why);
