#pragma once
// One line of the hosts file as the reader sees it: a pure function of the line's bytes, so every
// rule of the format is tested (and fed garbage) without a file.

#include <string>

#include "base/regionalformat.h"
#include "hostsfile.h"

enum class THostsLineKind {
  skipped,     // empty, or a comment ("#" as the first byte)
  typed,       // more than two words: key, tag, value
  blockStart,  // exactly two words, word 0 "NEW_HOST_START"
  blockEnd,    // exactly two words, word 0 "NEW_HOST_END"
  ignored,     // anything else
};

// One of the ten keys the program writes.
bool isHostsFileKey(const std::string& key);

struct THostsLine {
  THostsLineKind kind = THostsLineKind::ignored;
  std::string key;  // word 0 of a typed line, and of an ignored line of two words
  std::string tag;  // word 1 of a typed line
  // "%STRING%": the rest of the line after the tag and its one space, spaces kept.
  // Every other tag: word 2 alone.
  std::string value;
};

// `line` comes without its line end.
THostsLine parseHostsLine(const std::string& line);

// Stores a typed line into the record being filled. Keys and tags are compared case-sensitively;
// unknown keys and the three dates change nothing. A string key with another tag gets the empty
// text; an integer key with a tag other than "%INTEGER%" keeps its value.
void applyTypedLine(const THostsLine& line, THostFileRecord& record, const TRegionalFormat& format);
