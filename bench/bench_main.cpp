// Runs every row with repetitions interleaved at random, so library and
// reference rows share the machine's moods; the report takes medians.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "rows.h"

int main(int argc, char** argv) {
  pelm::bench::register_engine_rows();
  pelm::bench::register_envelope_rows();
  std::vector<std::string> args = {argv[0], "--benchmark_enable_random_interleaving=true",
                                   "--benchmark_repetitions=15", "--benchmark_min_time=0.02",
                                   "--benchmark_report_aggregates_only=true"};
  for (int i = 1; i < argc; ++i) args.push_back(argv[i]);  // later flags win
  std::vector<char*> argv2;
  for (auto& a : args) argv2.push_back(&a[0]);
  int argc2 = static_cast<int>(argv2.size());
  benchmark::Initialize(&argc2, argv2.data());
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
