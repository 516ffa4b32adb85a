#include "hostsfileline.h"

#include <cstdint>
#include <optional>

#include "base/textutils.h"

namespace {

const std::string StringTag = "%STRING%";
const std::string IntegerTag = "%INTEGER%";
const std::string RealTag = "%REAL%";
const std::string DateTimeTag = "%DATETIME%";

std::string* stringField(const std::string& key, THostFileRecord& record) {
  if (key == "HOSTCALLINGNAME") return &record.callingName;
  if (key == "HOSTNAME") return &record.hostName;
  if (key == "HOSTIPADDRESS") return &record.ipAddress;
  return nullptr;
}

std::int32_t* integerField(const std::string& key, THostFileRecord& record) {
  if (key == "TIMEOUT") return &record.timeout;
  if (key == "INTERVAL") return &record.interval;
  if (key == "SUCCEEDEDCOUNT") return &record.succeededCount;
  if (key == "FAILEDCOUNT") return &record.failedCount;
  return nullptr;
}

}  // namespace

bool isHostsFileKey(const std::string& key) {
  THostFileRecord probe;
  return stringField(key, probe) || integerField(key, probe) || key == "LASTSUCCEEDEDAT" ||
         key == "LASTFAILEDAT" || key == "LASTSENTAT";
}

THostsLine parseHostsLine(const std::string& line) {
  THostsLine out;
  if (line.empty() || line[0] == '#') {
    out.kind = THostsLineKind::skipped;
    return out;
  }
  splitter words;
  words.separators = {" "};
  words.split(line);
  const std::vector<std::string>& w = words.parts;
  if (w.size() == 2) {
    // Word 1 is not examined: "NEW_HOST_START x" opens a block as the written marker does.
    if (w[0] == "NEW_HOST_START") out.kind = THostsLineKind::blockStart;
    if (w[0] == "NEW_HOST_END") out.kind = THostsLineKind::blockEnd;
    // "HOSTNAME %STRING% " is how an empty text is written: two words on reading.
    if (out.kind == THostsLineKind::ignored) out.key = w[0];
    return out;
  }
  if (w.size() < 3) return out;
  out.kind = THostsLineKind::typed;
  out.key = w[0];
  out.tag = w[1];
  // Words 0 and 1 are each followed by exactly one space, so the value starts right after them.
  // Taking the rest of the line keeps a calling name such as "core router" whole.
  out.value = out.tag == StringTag ? line.substr(w[0].size() + 1 + w[1].size() + 1) : w[2];
  return out;
}

void applyTypedLine(const THostsLine& line, THostFileRecord& record, const TRegionalFormat& format) {
  std::string text;
  std::optional<std::int32_t> integer;
  if (line.tag == StringTag) {
    text = line.value;
  } else if (line.tag == IntegerTag) {
    integer = textToInteger(line.value);  // not a number: 0
  } else if (line.tag == RealTag) {
    (void)textToReal(line.value);  // no key holds a real; read for the format's sake only
  } else if (line.tag == DateTimeTag) {
    // The dates are not read back. One written under other regional settings does not parse; it
    // is ignored like the valid ones and never ends the load.
    (void)format.parseDate(line.value);
  }
  if (std::string* field = stringField(line.key, record)) {
    *field = text;
  } else if (std::int32_t* number = integerField(line.key, record)) {
    if (integer) *number = *integer;
  }
}
