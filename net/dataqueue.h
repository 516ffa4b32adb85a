#pragma once
// A byte queue that hands out the received stream line by line: a line ends at the first CR LF or
// LF CR pair.

#include <cstddef>
#include <string>

class TDataQueue {
 public:
  void append(const char* bytes, std::size_t count);
  // Takes the first complete line off the front; false (and an empty line) when there is none.
  bool readLine(std::string& line);
  std::size_t size() const;

 private:
  std::string buffer;
  std::size_t head = 0;  // bytes before head have been taken
  std::size_t scanned = 0;  // no line end starts before this position: each byte is looked at once
};
