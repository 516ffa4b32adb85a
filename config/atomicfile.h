#pragma once
// Replacing a small file so that a reader sees either the old contents or the new, never a mix:
// a temporary file beside it is written, flushed to disk and renamed over the old one.

#include <string>

// False when any step fails; the old file is then left as it was and no temporary file remains.
// An existing file keeps its permission bits; a new one gets 0644. A symbolic link is followed, so
// the file it points at is replaced, not the link.
bool writeFileAtomically(const std::string& path, const std::string& contents);
