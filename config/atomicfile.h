#pragma once
// Replacing a small file so that a reader sees either the old contents or the new, never a mix:
// a temporary file beside it ("<name>.saving-XXXXXX") is written, flushed to disk and renamed over
// the old one.

#include <string>

// False when any step fails; the old file is then left as it was and no temporary file remains.
// An existing file keeps its permission bits; a new one gets 0644. A symbolic link is followed, so
// the file it points at is replaced, not the link. Only a regular file is ever replaced: a device,
// FIFO, directory or socket under that name gives false and is left alone.
bool writeFileAtomically(const std::string& path, const std::string& contents);

// A save killed between creating its temporary file and the rename leaves that file behind. Removes
// the regular files beside `path` (its link followed, as above) named exactly like our temporary
// files for it, and nothing else. Returns how many were removed.
int removeLeftoverTemporaryFiles(const std::string& path);
