#pragma once
// The per-user base directories of the desktop (XDG base directory rules) and a "mkdir -p".

#include <string>

// $XDG_CONFIG_HOME, or ~/.config when it is unset, empty or not an absolute path.
std::string xdgConfigHome();
// $XDG_DATA_HOME, or ~/.local/share likewise.
std::string xdgDataHome();
// Creates the directory and its missing parents (mode 0700 for the new ones, as the base directory
// rules ask); true when it exists as a directory afterwards.
bool makeDirectories(const std::string& path);
// The part of a path before its last "/" (no trailing separator); empty for a bare name.
std::string parentDirectory(const std::string& path);
