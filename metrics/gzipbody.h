#pragma once
// A body compressed in the gzip format (RFC 1952) with zlib, for scrapers that send
// "Accept-Encoding: gzip": a page of 255 hosts shrinks to about a tenth.

#include <string>
#include <string_view>

// Empty only when zlib fails (out of memory); the caller then sends the body as it is.
std::string gzipBody(std::string_view body);
