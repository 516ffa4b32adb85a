#pragma once
// The hosts file reader without the file: bytes go in, in chunks of any size, completed host blocks
// come out. Holds the reader's state (the open block) between lines.
//
// Line ends: LF, CR LF and a lone CR each end a line, so a file saved by an editor with any of the
// three conventions reads the same. A line longer than MaxLineBytes is ignored whole, which bounds the
// memory a file of any content can take; no line the program writes comes near it.

#include <cstddef>
#include <functional>
#include <string>

#include "base/regionalformat.h"
#include "hostsfile.h"

class THostsFileParser {
 public:
  static constexpr std::size_t MaxLineBytes = 64 * 1024;

  THostsFileParser(std::function<void(const THostFileRecord&)> onHost, const TRegionalFormat& format);

  // The next bytes of the file. False once a format error has ended the load (the message has been
  // shown); later bytes are then ignored.
  bool feed(const char* data, std::size_t size);
  // End of the file: a last line without a line end still counts. A block still open is dropped.
  bool finish();

  bool failed() const { return formatError; }
  bool hostOpen() const { return blockOpen; }
  // Lines that a save would not give back: lines the format does not know (a file that is no hosts
  // file is all of them), values outside a block, unknown keys, over-long lines, and a block the
  // file ends in. Comments and empty lines do not count: the format itself drops them.
  long lostLines() const { return lost; }

 private:
  void endLine();
  bool interpret(const std::string& line);

  std::function<void(const THostFileRecord&)> onHost;
  const TRegionalFormat& format;
  std::string pending;
  bool pendingTooLong = false;
  bool afterCr = false;
  bool formatError = false;
  bool blockOpen = false;
  long lost = 0;
  THostFileRecord record;
};
