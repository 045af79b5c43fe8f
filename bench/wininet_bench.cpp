// Picture requests per second through fetchWithWinInet with twenty threads,
// as twenty page workers would fetch pictures. The address comes from
// VARNELO_BENCH_PICTURE_URL (bench/wininet-vs-wrk.sh serves a 32 KiB file
// from nginx on loopback and sets it); without it the benchmark is skipped.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>

#include "http/wininet_request.h"

namespace {

void BM_PictureRequests(benchmark::State& state) {
  const char* url = std::getenv("VARNELO_BENCH_PICTURE_URL");
  if (!url || !*url) {
    state.SkipWithError("set VARNELO_BENCH_PICTURE_URL (see bench/wininet-vs-wrk.sh)");
    return;
  }
  const varnelo::WinInetOptions options{.url = url};
  std::size_t bytes = 0;
  std::int64_t empty = 0;
  for (auto _ : state) {
    varnelo::Bytes body = varnelo::fetchWithWinInet(options);
    if (body.empty()) ++empty;
    bytes += body.size();
    benchmark::DoNotOptimize(body.data());
  }
  state.SetItemsProcessed(state.iterations());
  state.SetBytesProcessed(static_cast<std::int64_t>(bytes));
  state.counters["failed"] = static_cast<double>(empty);
}
BENCHMARK(BM_PictureRequests)->Threads(20)->UseRealTime()->MinTime(5.0);

}  // namespace

BENCHMARK_MAIN();
