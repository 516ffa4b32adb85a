#include "gzipbody.h"

#include <zlib.h>

std::string gzipBody(std::string_view body) {
  z_stream stream{};
  // windowBits 15 + 16: a gzip header and trailer around the deflate stream.
  constexpr int GzipWindowBits = 15 + 16;
  constexpr int MemoryLevel = 8;
  // The fastest level: for a page of 255 hosts about 1 ms instead of 5 ms at the default level,
  // for a reply about a fifth larger (34 kB instead of 29 kB of 370 kB).
  if (deflateInit2(&stream, Z_BEST_SPEED, Z_DEFLATED, GzipWindowBits, MemoryLevel,
                   Z_DEFAULT_STRATEGY) != Z_OK)
    return {};
  std::string out(deflateBound(&stream, static_cast<uLong>(body.size())), '\0');
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(body.data()));
  stream.avail_in = static_cast<uInt>(body.size());
  stream.next_out = reinterpret_cast<Bytef*>(out.data());
  stream.avail_out = static_cast<uInt>(out.size());
  const int result = deflate(&stream, Z_FINISH);
  out.resize(stream.total_out);
  deflateEnd(&stream);
  return result == Z_STREAM_END ? out : std::string();
}
