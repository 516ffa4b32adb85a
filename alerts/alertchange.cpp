#include "alertchange.h"

std::string TAlertChange::shownName() const {
  if (!callingName.empty()) return callingName;
  if (!hostName.empty()) return hostName;
  return address;
}

TAlertKind kindOf(const TAlertChange& change) {
  using L = TAlertLevel;
  if (change.from == change.to) return TAlertKind::None;
  if (change.isConnection()) {
    if (change.to == L::Down) return TAlertKind::ConnectionDown;
    return change.from == L::Down ? TAlertKind::ConnectionUp : TAlertKind::None;
  }
  switch (change.to) {
    case L::Down: return TAlertKind::HostDown;
    case L::Degraded: return change.from == L::Down ? TAlertKind::HostUp : TAlertKind::Degraded;
    case L::Up:
      if (change.from == L::Down) return TAlertKind::HostUp;
      return change.from == L::Degraded ? TAlertKind::Recovered : TAlertKind::None;
    case L::Unknown: return TAlertKind::None;
  }
  return TAlertKind::None;
}

const char* levelWord(TAlertLevel level) {
  switch (level) {
    case TAlertLevel::Up: return "up";
    case TAlertLevel::Degraded: return "degraded";
    case TAlertLevel::Down: return "down";
    case TAlertLevel::Unknown: break;
  }
  return "unknown";
}
