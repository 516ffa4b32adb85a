#include "engineevents.h"

#include <algorithm>

void TEngineEventHub::subscribe(TEngineObserver* observer) {
  if (observer && std::find(observers.begin(), observers.end(), observer) == observers.end())
    observers.push_back(observer);
}

void TEngineEventHub::unsubscribe(TEngineObserver* observer) {
  observers.erase(std::remove(observers.begin(), observers.end(), observer), observers.end());
}

// A copy of the list is walked, so a subscriber may unsubscribe (itself or another) from a call.
template <typename Call>
void TEngineEventHub::each(Call call) const {
  const std::vector<TEngineObserver*> current = observers;
  for (TEngineObserver* observer : current)
    if (std::find(observers.begin(), observers.end(), observer) != observers.end()) call(*observer);
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
