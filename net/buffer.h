#pragma once
// One chunk of the socket layer's send queue: a fixed block of bytes with a write count (bytes put
// in) and a read count (bytes already handed to the system).

#include <array>
#include <cstddef>

class TBuffer {
 public:
  static constexpr std::size_t Capacity = 1460;  // one Ethernet TCP segment of payload

  // Copies as much of data as still fits; returns the number of bytes taken.
  std::size_t write(const char* data, std::size_t count);
  const char* unsent() const { return bytes.data() + readCount; }
  std::size_t unsentCount() const { return writeCount - readCount; }
  void consume(std::size_t count);
  bool full() const { return writeCount == Capacity; }

 private:
  std::array<char, Capacity> bytes{};
  std::size_t writeCount = 0;
  std::size_t readCount = 0;
};
