#include "socketerrors.h"

#include <netdb.h>

#include <array>
#include <cerrno>
#include <utility>

namespace {

// Codes 10035 to 10071 follow each other without a gap; the few below and above are listed apart.
constexpr std::array<const char*, 37> RunFrom10035{
    "Operation would block",
    "Operation now in progress",
    "Operation already in progress",
    "Socket operation on non-socket",
    "Destination address required",
    "Message too long",
    "Protocol wrong type for socket",
    "Protocol not available",
    "Protocol not supported",
    "Socket type not supported",
    "Operation not supported on socket",
    "Protocol family not supported",
    "Address family not supported by protocol family",
    "Address already in use",
    "Address not available",
    "Network is down",
    "Network is unreachable",
    "Network dropped connection on reset",
    "Connection aborted",
    "Connection reset by peer",
    "No buffer space available",
    "Socket is already connected",
    "Socket is not connected",
    "Can't send after socket shutdown",
    "Too many references: can't splice",
    "Connection timed out",
    "Connection refused",
    "Too many levels of symbolic links",
    "File name too long",
    "Host is down",
    "No route to host",
    "Directory not empty",
    "Too many processes",
    "Too many users",
    "Disc quota exceeded",
    "Stale NFS file handle",
    "Too many levels of remote in path",
};

constexpr std::array<std::pair<int, const char*>, 14> Single{{
    {0, "No Error"},
    {10004, "Interrupted system call"},
    {10009, "Bad file number"},
    {10013, "Permission denied"},
    {10014, "Bad address"},
    {10022, "Invalid argument"},
    {10024, "Too many open files"},
    {10091, "Network sub-system is unusable"},
    {10092, "WinSock DLL cannot support this application"},
    {10093, "WinSock not initialized"},
    {11001, "Host not found"},
    {11002, "Non-authoritative host not found"},
    {11003, "Non-recoverable error"},
    {11004, "No Data"},
}};

// Linux has no EPROCLIM; 10067 is never produced. EPIPE is what Linux gives for a send on a
// connection the peer has reset or refused, which the layer treats like a reset (it then closes the
// socket and reports the session's end instead of raising an error).
constexpr std::array<std::pair<int, int>, 44> ErrnoMap{{
    {EINTR, 10004},           {EBADF, 10009},        {EACCES, 10013},       {EPERM, 10013},
    {EFAULT, 10014},          {EINVAL, 10022},       {EMFILE, 10024},       {ENFILE, 10024},
    {EAGAIN, 10035},          {EINPROGRESS, 10036},  {EALREADY, 10037},     {ENOTSOCK, 10038},
    {EDESTADDRREQ, 10039},    {EMSGSIZE, 10040},     {EPROTOTYPE, 10041},   {ENOPROTOOPT, 10042},
    {EPROTONOSUPPORT, 10043}, {ESOCKTNOSUPPORT, 10044}, {EOPNOTSUPP, 10045}, {EPFNOSUPPORT, 10046},
    {EAFNOSUPPORT, 10047},    {EADDRINUSE, 10048},   {EADDRNOTAVAIL, 10049}, {ENETDOWN, 10050},
    {ENETUNREACH, 10051},     {ENETRESET, 10052},    {ECONNABORTED, 10053}, {ECONNRESET, 10054},
    {EPIPE, 10054},           {ENOBUFS, 10055},      {ENOMEM, 10055},       {EISCONN, 10056},
    {ENOTCONN, 10057},        {ESHUTDOWN, 10058},    {ETOOMANYREFS, 10059}, {ETIMEDOUT, 10060},
    {ECONNREFUSED, 10061},    {ELOOP, 10062},        {ENAMETOOLONG, 10063}, {EHOSTDOWN, 10064},
    {EHOSTUNREACH, 10065},    {ENOTEMPTY, 10066},    {EUSERS, 10068},       {EDQUOT, 10069},
}};

}  // namespace

std::string socketErrorDesc(int code) {
  if (code >= 10035 && code < 10035 + static_cast<int>(RunFrom10035.size()))
    return RunFrom10035[static_cast<std::size_t>(code - 10035)];
  for (const auto& [number, text] : Single)
    if (number == code) return text;
  return "Not a WinSock error";
}

int socketErrorFromErrno(int err) {
  if (err == 0) return 0;
  if (err == ESTALE) return 10070;
  if (err == EREMOTE) return 10071;
  for (const auto& [from, to] : ErrnoMap)
    if (from == err) return to;
  return err;
}

int socketErrorFromResolver(int eai, int savedErrno) {
  switch (eai) {
    case 0:
      return 0;
    case EAI_AGAIN:
      return socketcode::TryAgain;
    case EAI_FAIL:
      return socketcode::NoRecovery;
#ifdef EAI_NODATA
    case EAI_NODATA:
#endif
    case EAI_ADDRFAMILY:
      return socketcode::NoData;
    case EAI_SYSTEM:
      return socketErrorFromErrno(savedErrno);
    case EAI_MEMORY:
      return 10055;
    default:
      return socketcode::HostNotFound;
  }
}
