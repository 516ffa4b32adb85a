#pragma once
// Turning the socket layer's text settings (protocol, port, host) into numbers before a connection.
// Each returns the failure's message, or an empty text when the value was set. The host may be
// resolved through the system resolver, which blocks until it answers.

#include <cstdint>
#include <string>

std::string resolveProto(const std::string& proto, int& protocol);
std::string resolvePort(const std::string& port, const std::string& proto, std::uint16_t& number);
std::string resolveHost(const std::string& host, std::uint32_t& address);  // network byte order

// Four dot-separated decimal numbers of at most 255 each.
bool isDottedQuad(const std::string& text);
