#pragma once
// Replacing a file so that readers (and a crash) see either the old contents or the new, never a
// part: the new contents go to a temporary file in the same directory, are synced, and the temporary
// file is renamed over the target.

#include <string>

// False on any failure (the temporary file cannot be created, a write fails, the disk is full, the
// rename is refused); the temporary file is then removed and the target is left as it was.
// A target that is a symbolic link keeps the link: the file it points at is replaced.
bool replaceFileAtomically(const std::string& fileName, const std::string& contents);
