#pragma once
// Starting the program at log-on: the XDG autostart entry $XDG_CONFIG_HOME/autostart/sorvelorun.desktop
// whose Exec is the quoted program path.

#include <string>

// Writes (or replaces) the entry. A directory that cannot be created is silent; a file that cannot be
// written throws std::runtime_error("Failed to set data for 'sorvelorun'").
void addToStartup();
// Deletes the entry; shows "Opening of registry failed." when the autostart directory cannot be
// opened and "Removing from registry failed!" when there is no entry to remove (through the
// user-message sink).
void removeFromStartup();

std::string startupEntryPath();

// The entry's file text for a program at `programPath`: a desktop entry whose Exec is the path as one
// quoted argument.
std::string startupEntryText(const std::string& programPath);
// The Exec value for one program path, with the quoting and escapes of desktop entry files.
std::string quotedExecValue(const std::string& programPath);
