#include "buffer.h"

#include <algorithm>
#include <cstring>

std::size_t TBuffer::write(const char* data, std::size_t count) {
  const std::size_t taken = std::min(count, Capacity - writeCount);
  if (taken > 0) std::memcpy(bytes.data() + writeCount, data, taken);
  writeCount += taken;
  return taken;
}

void TBuffer::consume(std::size_t count) {
  readCount = std::min(writeCount, readCount + count);
}
