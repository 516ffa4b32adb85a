#include "engineevents.h"

#include <algorithm>

void TEngineEventHub::subscribe(TEngineObserver* observer) {
  if (observer && std::find(observers.begin(), observers.end(), observer) == observers.end())
    observers.push_back(observer);
}

void TEngineEventHub::unsubscribe(TEngineObserver* observer) {
  if (!observer) return;
  if (handingOut > 0) {
    const auto it = std::find(observers.begin(), observers.end(), observer);
    if (it != observers.end()) {
      *it = nullptr;
      blanked = true;
    }
    return;
  }
  observers.erase(std::remove(observers.begin(), observers.end(), observer), observers.end());
}

bool TEngineEventHub::empty() const {
  return std::all_of(observers.begin(), observers.end(), [](const auto* o) { return o == nullptr; });
}

// The subscribers of the moment the event began, in order: one that subscribes from a call hears
// the next event, one that unsubscribes (itself or another) from a call hears no more.
template <typename Call>
void TEngineEventHub::each(Call call) {
  struct TRound {
    TEngineEventHub& hub;
    explicit TRound(TEngineEventHub& h) : hub(h) { ++hub.handingOut; }
    ~TRound() {
      if (--hub.handingOut > 0 || !hub.blanked) return;
      std::erase(hub.observers, nullptr);
      hub.blanked = false;
    }
  } round(*this);
  const std::size_t count = observers.size();
  for (std::size_t i = 0; i < count; ++i)
    if (TEngineObserver* observer = observers[i]) call(*observer);
}

void TEngineEventHub::echoResult(const TTolvoHost& host, const TEchoResult& result) {
  each([&](TEngineObserver& o) { o.echoResult(host, result); });
}

void TEngineEventHub::hostStatusChanged(const TTolvoHost& host, hostStatus status) {
  each([&](TEngineObserver& o) { o.hostStatusChanged(host, status); });
}

void TEngineEventHub::connectionChanged(connState state) {
  each([&](TEngineObserver& o) { o.connectionChanged(state); });
}

void TEngineEventHub::hostAdded(const TTolvoHost& host) {
  each([&](TEngineObserver& o) { o.hostAdded(host); });
}

void TEngineEventHub::hostDeleting(const TTolvoHost& host) {
  each([&](TEngineObserver& o) { o.hostDeleting(host); });
}

void TEngineEventHub::hostEdited(const TTolvoHost& host, const THostNames& before) {
  each([&](TEngineObserver& o) { o.hostEdited(host, before); });
}
