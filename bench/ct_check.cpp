// A timing-leak check in the style of dudect (Reparaz, Balasch, Verbauwhede
// 2017): one AES-128 block operation with its key, timed many times for two
// classes of input drawn in random order, and Welch's t-test between the
// classes' timings, on all of them and on the faster part below several
// percentiles (slow outliers come from the machine, not the data).
// |t| above 4.5 says the timing depends on the data. A measurement, not a
// test. Usage: pelm_ct_check [MEASUREMENTS_PER_CLASS]
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string_view>
#include <vector>

#include "aes128/engine.h"
#include "pelm/aes128.h"

#if defined(__x86_64__)
#include <x86intrin.h>
#endif

namespace {

uint64_t now() {
#if defined(__x86_64__)
  _mm_lfence();
  const uint64_t t = __rdtsc();
  _mm_lfence();
  return t;
#elif defined(__aarch64__)
  uint64_t t;
  asm volatile("isb; mrs %0, cntvct_el0" : "=r"(t));
  return t;
#else
  return std::chrono::steady_clock::now().time_since_epoch().count();
#endif
}

struct Welch {
  double n[2] = {0, 0}, mean[2] = {0, 0}, m2[2] = {0, 0};
  void add(int cls, double x) {  // Welford's running mean and variance
    n[cls] += 1;
    const double d = x - mean[cls];
    mean[cls] += d / n[cls];
    m2[cls] += d * (x - mean[cls]);
  }
  double t() const {
    const double v0 = m2[0] / (n[0] - 1), v1 = m2[1] / (n[1] - 1);
    return (mean[0] - mean[1]) / std::sqrt(v0 / n[0] + v1 / n[1]);
  }
};

// Fixed input (class 0) against random input (class 1): the plaintext under
// one key, or the key under one plaintext.
double max_t(bool vary_key, size_t per_class, std::mt19937_64& rng) {
  const size_t total = 2 * per_class;
  std::vector<uint8_t> classes(total);
  for (size_t i = 0; i < total; ++i) classes[i] = i < per_class ? 0 : 1;
  std::shuffle(classes.begin(), classes.end(), rng);
  std::vector<uint8_t> inputs(16 * total);
  for (size_t i = 0; i < total; ++i) {
    for (size_t b = 0; b < 16; ++b) inputs[16 * i + b] = classes[i] ? static_cast<uint8_t>(rng()) : 0;
  }
  const uint8_t fixed[16] = {0x2b, 0x7e, 0x15, 0x16, 0x28, 0xae, 0xd2, 0xa6,
                             0xab, 0xf7, 0x15, 0x88, 0x09, 0xcf, 0x4f, 0x3c};
  std::vector<uint64_t> cycles(total);
  uint8_t out[16];
  for (size_t i = 0; i < total; ++i) {
    const uint8_t* varied = &inputs[16 * i];
    const uint64_t start = now();
    if (vary_key) {
      qqppqp(fixed, varied, out, 16);
    } else {
      qqppqp(varied, fixed, out, 16);
    }
    cycles[i] = now() - start;
  }
  // The t-test on everything, and on what lies below each of several
  // percentiles of all measurements.
  std::vector<uint64_t> sorted = cycles;
  std::sort(sorted.begin(), sorted.end());
  double worst = 0;
  for (const double p : {1.0, 0.99, 0.95, 0.9, 0.75, 0.5}) {
    const uint64_t limit = sorted[static_cast<size_t>(p * (total - 1))];
    Welch w;
    for (size_t i = 0; i < total; ++i) {
      if (cycles[i] <= limit) w.add(classes[i], static_cast<double>(cycles[i]));
    }
    if (w.n[0] > 1 && w.n[1] > 1) worst = std::max(worst, std::fabs(w.t()));
  }
  return worst;
}

}  // namespace

int main(int argc, char** argv) {
  const size_t per_class = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 1000000;
  std::mt19937_64 rng(2017);
  std::printf("| path | input varied | measurements per class | max |t| | verdict |\n");
  std::printf("|---|---|---|---|---|\n");
  for (const bool compact : {false, true}) {
    pelm::aes128::force_compact_engine(compact);
    const char* path = pelm::aes128::engine_kernels().name;
    if (!compact && std::string_view(path) == "compact") continue;  // no AES instructions here
    for (const bool vary_key : {false, true}) {
      const double t = max_t(vary_key, per_class, rng);
      std::printf("| %s | %s | %zu | %.2f | %s |\n", path, vary_key ? "key" : "plaintext", per_class,
                  t, t < 4.5 ? "no leak detected" : "timing depends on the data");
      std::fflush(stdout);
    }
  }
  return 0;
}
