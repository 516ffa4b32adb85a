#include "hostsfileparser.h"

#include <algorithm>

#include "base/usermessages.h"
#include "hostsfileline.h"

THostsFileParser::THostsFileParser(std::function<void(const THostFileRecord&)> onHost_,
                                   const TRegionalFormat& format_)
    : onHost(std::move(onHost_)), format(format_) {}

bool THostsFileParser::feed(const char* data, std::size_t size) {
  std::size_t i = 0;
  while (i < size && !formatError) {
    if (afterCr) {
      afterCr = false;
      if (data[i] == '\n') {  // the LF of a CR LF pair: that line has already ended
        ++i;
        continue;
      }
    }
    // Copy the run up to the next line end in one go; a huge line only fills `pending` to the bound.
    std::size_t end = i;
    while (end < size && data[end] != '\n' && data[end] != '\r') ++end;
    const std::size_t room = MaxLineBytes - std::min(pending.size(), MaxLineBytes);
    const std::size_t run = end - i;
    pending.append(data + i, std::min(run, room));
    if (run > room) pendingTooLong = true;
    if (end == size) break;
    afterCr = data[end] == '\r';
    endLine();
    i = end + 1;
  }
  return !formatError;
}

bool THostsFileParser::finish() {
  if (!formatError && (!pending.empty() || pendingTooLong)) endLine();
  // A block without its end marker never reaches the list.
  if (blockOpen) ++lost;
  blockOpen = false;
  return !formatError;
}

void THostsFileParser::endLine() {
  if (pendingTooLong) ++lost;
  else interpret(pending);
  pending.clear();
  pendingTooLong = false;
}

bool THostsFileParser::interpret(const std::string& line) {
  const THostsLine parsed = parseHostsLine(line);
  switch (parsed.kind) {
    case THostsLineKind::typed:
      if (blockOpen) applyTypedLine(parsed, record, format);
      if (!blockOpen || !isHostsFileKey(parsed.key)) ++lost;
      break;
    case THostsLineKind::blockStart:
      if (blockOpen) {
        formatError = true;
        blockOpen = false;  // the open host is discarded
        showUserMessage("Error loading hosts, HOST_START when hostOpen=TRUE");
        return false;
      }
      record = THostFileRecord{};
      blockOpen = true;
      break;
    case THostsLineKind::blockEnd:
      if (!blockOpen) {
        formatError = true;
        showUserMessage("Error loading hosts, HOST_END when hostOpen=FALSE");
        return false;
      }
      blockOpen = false;
      onHost(record);
      break;
    case THostsLineKind::ignored:
      if (!blockOpen || !isHostsFileKey(parsed.key)) ++lost;
      break;
    case THostsLineKind::skipped:
      break;
  }
  return true;
}
