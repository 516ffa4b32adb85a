#pragma once
// Path rounds summarised per hop into 5-minute and hourly steps (table path_summaries; see
// docs/history.md), so that a host's path can be shown over ranges longer than raw rounds are kept.
//
// 1. The database thread's consolidation pass summarises every step that ended before the packed
//    minutes, address by address; meta keeps how far each step has been summarised
//    ("path_summarised_until_<step>"), as it does for echoes.
// 2. A round stored into a step already summarised (it took long, or the clock stepped back) is
//    marked in path_summaries_due by storePathRound; the next pass summarises that step again.
// 3. Each step is pruned with the length of the echoes' summaries of that step.

#include <QSqlDatabase>
#include <QSqlError>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "historysettings.h"

// The steps path rounds are summarised into, in seconds, finest first.
inline constexpr std::array<std::int32_t, 2> PathSummarySteps{300, 3600};

// One hop over one step: the probes the rounds of the step sent to it and what came back.
struct TPathHopBucket {
  std::int64_t startMs = 0;
  std::string address;  // the last address that answered in the step; "" when none did
  std::string name;     // its reverse name as stored with that round
  int sent = 0;
  int answered = 0;
  // Round trips of the answers; best and worst are -1 and the mean 0 when none came.
  std::int64_t bestMicros = -1;
  std::int64_t worstMicros = -1;
  double meanMicros = 0;
  // The sum of squared differences from the mean: steps can be merged exactly, and the standard
  // deviation (the hop's jitter) is sqrt(squaresMicros / (answered - 1)).
  double squaresMicros = 0;

  double lossPercent() const;
  double stdevMicros() const;  // 0 with fewer than two answers
  // Takes in a later step of the same hop (the figures of a longer span; the address and name of
  // the later answer).
  void add(const TPathHopBucket& later);
};

struct TPathHopSeries {
  int hop = 0;
  std::vector<TPathHopBucket> buckets;  // oldest first; steps without a round are missing
};

// A host's path over a range at one step: the hops in order.
struct TPathSummaryRange {
  std::int32_t stepSeconds = 0;  // 0 when nothing was found
  std::vector<TPathHopSeries> hops;
};

// The summaries of the host at `address` covering [fromMs, toMs) at the finest step that gives at
// most maxBuckets per hop and still reaches back to the start of the range (failing that, the one
// that reaches back furthest). Empty for a file without path summaries.
TPathSummaryRange pathSummaries(QSqlDatabase& db, const std::string& address, std::int64_t fromMs,
                                std::int64_t toMs, int maxBuckets = 2000);
// The same at a given step (300 or 3600).
TPathSummaryRange pathSummariesAtStep(QSqlDatabase& db, const std::string& address,
                                      std::int64_t fromMs, std::int64_t toMs,
                                      std::int32_t stepSeconds);

// The consolidation pass (inside the caller's transaction): summarises the steps that ended before
// endedBeforeMs and those marked due by late rounds.
bool consolidatePathRounds(QSqlDatabase& db, std::int64_t endedBeforeMs, QSqlError& error);
// For the migration that adds the summaries: summarises every round the file holds and sets the
// marks so that the last (maybe unfinished) step is summarised again once it has ended.
bool summariseStoredPathRounds(QSqlDatabase& db, QSqlError& error);
// Marks the steps of a round stored at roundMs that are already summarised (storePathRound).
bool markLatePathRound(QSqlDatabase& db, const std::string& address, std::int64_t roundMs,
                       QSqlError& error);
// Removes the summaries older than their step's length.
bool prunePathSummaries(QSqlDatabase& db, std::int64_t nowMs, const THistoryLengths& lengths,
                        QSqlError& error);
