// One benchmark row: the library or a reference doing the same work, named
// "group/who" so the ratio report can set each library row beside its
// references. Every row processes `bytes` bytes per iteration.
#ifndef PELM_BENCH_ROWS_H
#define PELM_BENCH_ROWS_H

#include <benchmark/benchmark.h>

#include <string>
#include <utility>

namespace pelm::bench {

template <typename Body>
benchmark::internal::Benchmark* row(const std::string& group, const std::string& who, size_t bytes,
                                    Body body) {
  return benchmark::RegisterBenchmark((group + "/" + who).c_str(),
                                      [bytes, body](benchmark::State& state) mutable {
                                        size_t i = 0;
                                        for (auto _ : state) body(i++);
                                        state.SetBytesProcessed(state.iterations() * bytes);
                                      });
}

// The same row run by `threads` threads at once, timed by the wall clock:
// where calls share nothing, bytes per second grow with the threads.
template <typename Body>
void threaded_row(const std::string& group, const std::string& who, size_t bytes, int threads,
                  Body body) {
  row(group + "_threads" + std::to_string(threads), who, bytes, body)->Threads(threads)->UseRealTime();
}

inline std::string size_name(size_t size) {
  if (size >= (1 << 20)) return std::to_string(size >> 20) + "MiB";
  if (size >= (1 << 10)) return std::to_string(size >> 10) + "KiB";
  return std::to_string(size) + "B";
}

void register_engine_rows();
void register_envelope_rows();

}  // namespace pelm::bench

#endif
