#pragma once
// The folder that holds the locks and channels of running copies: $XDG_RUNTIME_DIR/sorvelo, or
// <temporary folder>/sorvelo-<uid> where XDG_RUNTIME_DIR is not set. It is created with mode 0700
// and used only while it is a real folder (not a symbolic link) of this user that nobody else can
// enter, since whoever can write there could pose as a running copy.

#include <string>

// The folder, created when missing; empty with `problem` set when no usable folder exists.
std::string instanceFolder(std::string& problem);
