#pragma once
// Socket error codes as the socket layer reports them, and their descriptions.
//
// The program's messages and events speak in one numbering of socket errors (10035 "would block",
// 10061 "connection refused", 11001 "host not found", ...). The layer runs on POSIX sockets, so every
// errno and resolver failure it meets is translated into that numbering first.

#include <string>

namespace socketcode {
constexpr int WouldBlock = 10035;
constexpr int InProgress = 10036;
constexpr int InvalidArgument = 10022;
constexpr int NotSocket = 10038;
constexpr int ConnAborted = 10053;
constexpr int ConnReset = 10054;
constexpr int NotConnected = 10057;
constexpr int TimedOut = 10060;
constexpr int ConnRefused = 10061;
constexpr int NotInitialised = 10093;
constexpr int HostNotFound = 11001;
constexpr int TryAgain = 11002;
constexpr int NoRecovery = 11003;
constexpr int NoData = 11004;
}  // namespace socketcode

// The description shown after an error code; "Not a WinSock error" for a code outside the table.
std::string socketErrorDesc(int code);

// errno -> socket error code. 0 stays 0; an errno without a counterpart is returned unchanged (its
// description is then "Not a WinSock error", but the number still tells what happened).
int socketErrorFromErrno(int err);

// getaddrinfo() result (EAI_*) -> socket error code of the resolver family (11001..11004).
int socketErrorFromResolver(int eai, int savedErrno);
