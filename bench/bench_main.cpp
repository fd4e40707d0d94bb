// qxxml_bench: every case beside its baseline. `--smoke` runs each case once,
// briefly, so that a test can show they still work; the remaining arguments
// are Google Benchmark's.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "bench/bench_cases.h"
#include "bench/bench_support.h"

int main(int argc, char **argv) {
  std::vector<char *> args;
  for (int i = 0; i < argc; i++) {
    if (std::strcmp(argv[i], "--smoke") == 0)
      bench::set_smoke(true);
    else
      args.push_back(argv[i]);
  }
  int count = static_cast<int>(args.size());
  benchmark::Initialize(&count, args.data());
  if (benchmark::ReportUnrecognizedArguments(count, args.data())) return 1;
  bench::register_document_cases();
  bench::register_qxdom_cases();
  bench::register_download_cases();
  bench::register_search_cases();
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
