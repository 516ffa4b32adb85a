#pragma once
// The hosts file: twelve-line typed blocks from "NEW_HOST_START $$@@$$ " to "NEW_HOST_END $$@@$$ ",
// every line ended by CR LF. This file knows the format only; the host list turns its records into
// hosts and back (TTolvoHosts::saveToFile / loadFromFile).

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "base/regionalformat.h"
#include "base/tolvotime.h"

// The fields of one host as the file holds them. The three dates are written but not read back.
struct THostFileRecord {
  std::string callingName;
  std::string hostName;
  std::string ipAddress;
  std::int32_t timeout = 2000;
  std::int32_t interval = 4;
  std::int32_t succeededCount = 0;
  std::int32_t failedCount = 0;
  TDateTime lastSucceededAt = 0;
  TDateTime lastFailedAt = 0;
  TDateTime lastSentAt = 0;
};

// The twelve lines of one block, CR LF included.
std::string formatHostBlock(const THostFileRecord& record, const TRegionalFormat& format);

// Writes the records atomically: a temporary file beside `fileName`, flushed and synced, then renamed
// over it. On any failure the previous file stays whole and the result is false.
bool writeHostsFile(const std::string& fileName, const std::vector<THostFileRecord>& records,
                    const TRegionalFormat& format);

// Which file was read: enough to tell it from any other file, or from the same file changed since.
struct TFileIdentity {
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  std::int64_t size = 0;
  std::int64_t modifiedNs = 0;
  std::int64_t changedNs = 0;
  bool operator==(const TFileIdentity&) const = default;
};

// How far a hosts file was read.
enum class THostsFileState {
  whole,        // every line read as a hosts file: a save gives everything in it back
  missing,      // no file of that name (a new, empty list)
  notRegular,   // a directory, device, FIFO...: never read, and never written over
  unopenable,   // there, but could not be opened (no access, ...)
  readError,    // reading stopped at a read error
  formatError,  // the load ended at a format error (its message has been shown)
  partial,      // read to the end, but with lines a save would not give back (see THostsFileParser)
};

// Reads the file; `onHost` receives every complete block in file order (the host list appends it).
// Format errors are shown through the user-message sink and end the load. The result is false when
// the file cannot be opened (`opened` then false: the caller keeps its list), on a format error or a
// read error; `state` tells how far the file was read, whatever the result.
struct THostsFileReadResult {
  bool opened = false;
  bool ok = false;
  THostsFileState state = THostsFileState::missing;
  TFileIdentity identity;  // of the file opened
};
THostsFileReadResult readHostsFile(const std::string& fileName,
                                   const std::function<void(const THostFileRecord&)>& onHost,
                                   const std::function<void()>& beforeFirstLine,
                                   const TRegionalFormat& format);

// The identity of the file of that name as it is now, following a link; nullopt when there is none.
// `isRegular` tells whether it is a regular file.
struct TFileFound {
  TFileIdentity identity;
  bool isRegular = false;
};
std::optional<TFileFound> findFile(const std::string& fileName);
