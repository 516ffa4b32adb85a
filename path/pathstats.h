#pragma once
// Hop by hop figures over several rounds of one host's path: what a trace report prints.
//
// A hop counts the rounds that probed it (a round that reached the host at hop 4 did not probe hop
// 5) and the answers it got; loss is the share of those probes unanswered. Round trips are kept as
// last, best, worst, mean and standard deviation (Welford's running form, so no list of samples is
// kept). A hop can answer from more than one address over the rounds (load balancing, a route
// change): all of them are kept in the order first seen, and the last one is the hop's address.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "path/pathprober.h"

struct THopStats {
  int hop = 0;
  std::vector<std::string> addresses;  // in the order first seen
  std::string lastAddress;             // "" when the hop never answered
  bool isHost = false;                 // the host itself answered at this hop
  int sent = 0;
  int received = 0;
  std::int64_t lastMicros = 0;
  std::int64_t bestMicros = 0;
  std::int64_t worstMicros = 0;
  double meanMicros = 0;
  double squaresMicros = 0;  // sum of squared differences from the mean

  double lossPercent() const;
  double stdevMicros() const;  // of the sample; 0 with fewer than two answers
};

class TPathStats {
 public:
  void add(const TPathRound& round);
  // Hop 1 up to the highest hop that ever answered (silent hops before it included); a trace that
  // never got past silent hops lists nothing.
  std::vector<THopStats> hops() const;
  int rounds() const { return roundCount; }
  bool reached() const { return reachedCount > 0; }

 private:
  std::vector<THopStats> byHop;
  int roundCount = 0;
  int reachedCount = 0;
};
