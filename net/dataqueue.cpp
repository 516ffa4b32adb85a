#include "dataqueue.h"

#include <algorithm>

namespace {

// Taken bytes are dropped from the front only once they are many and outweigh what is left, so
// the copying stays in proportion to the data.
constexpr std::size_t CompactAfter = 64 * 1024;

bool isLinePair(char a, char b) { return (a == '\r' && b == '\n') || (a == '\n' && b == '\r'); }

}  // namespace

void TDataQueue::append(const char* bytes, std::size_t count) {
  if (count > 0) buffer.append(bytes, count);
}

std::size_t TDataQueue::size() const { return buffer.size() - head; }

bool TDataQueue::readLine(std::string& line) {
  line.clear();
  std::size_t pos = std::max(head, scanned);
  for (;;) {
    pos = buffer.find_first_of("\r\n", pos);
    if (pos == std::string::npos) {
      scanned = buffer.size();
      return false;
    }
    if (pos + 1 == buffer.size()) {
      scanned = pos;  // the pair may be completed by the next append
      return false;
    }
    if (isLinePair(buffer[pos], buffer[pos + 1])) break;
    ++pos;
  }
  line.assign(buffer, head, pos - head);
  head = pos + 2;
  scanned = head;
  if (head == buffer.size()) {
    buffer.clear();
    head = scanned = 0;
  } else if (head >= CompactAfter && head > buffer.size() / 2) {
    buffer.erase(0, head);
    head = scanned = 0;
  }
  // A lone CR or LF inside the line (one that is not part of a pair) is dropped.
  std::erase(line, '\n');
  std::erase(line, '\r');
  return true;
}
