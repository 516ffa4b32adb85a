// Saving and loading a full host list (255 hosts) through the hosts file, in a temporary folder.

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "storage/hostsfile.h"

namespace {

const TRegionalFormat Dotted{"%-d.%-m.%Y", "%-H:%M:%S"};
constexpr int FullList = 255;

std::vector<THostFileRecord> fullList() {
  std::vector<THostFileRecord> records(FullList);
  for (int i = 0; i < FullList; ++i) {
    THostFileRecord& r = records[static_cast<std::size_t>(i)];
    r.callingName = "core router " + std::to_string(i);
    r.hostName = "host" + std::to_string(i) + ".example.lan";
    r.ipAddress = "10.0." + std::to_string(i / 256) + "." + std::to_string(i % 256);
    r.succeededCount = 100000 + i;
    r.failedCount = i;
    r.lastSucceededAt = r.lastSentAt = encodeDateTime(2026, 12, 7, 9, 5, i % 60);
    r.lastFailedAt = i % 2 ? 0 : encodeDateTime(2026, 12, 6, 23, 59, 58);
  }
  return records;
}

class TempFolder {
 public:
  TempFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "sorvelo-bench-XXXXXX").string();
    if (mkdtemp(pattern.data()) != nullptr) path = pattern;
  }
  ~TempFolder() {
    std::error_code ignored;
    if (!path.empty()) std::filesystem::remove_all(path, ignored);
  }
  std::string path;
};

void BM_WriteHostsFile(benchmark::State& state) {
  TempFolder folder;
  const std::string file = folder.path + "/tolvo_hosts.cfg";
  const auto records = fullList();
  for (auto _ : state) {
    if (!writeHostsFile(file, records, Dotted)) state.SkipWithError("save failed");
  }
  state.SetItemsProcessed(state.iterations() * FullList);
}

void BM_ReadHostsFile(benchmark::State& state) {
  TempFolder folder;
  const std::string file = folder.path + "/tolvo_hosts.cfg";
  if (!writeHostsFile(file, fullList(), Dotted)) state.SkipWithError("save failed");
  for (auto _ : state) {
    int hosts = 0;
    const auto result =
        readHostsFile(file, [&hosts](const THostFileRecord&) { ++hosts; }, {}, Dotted);
    if (!result.ok || hosts != FullList) state.SkipWithError("load failed");
    benchmark::DoNotOptimize(hosts);
  }
  state.SetItemsProcessed(state.iterations() * FullList);
  state.SetBytesProcessed(state.iterations() *
                          static_cast<std::int64_t>(std::filesystem::file_size(file)));
}

}  // namespace

BENCHMARK(BM_WriteHostsFile)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ReadHostsFile)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
