// A timing-leak check in the style of dudect (Reparaz, Balasch, Verbauwhede
// 2017), on every AES path this CPU runs: one block operation with its key
// expansion, timed many times for two classes of input drawn at random
// (a fixed value against random values, of the key or of the block), and
// Welch's t-test between the classes' timings, on all of them and on the
// faster part below several percentiles (slow outliers come from the
// machine, not the data). |t| of 4.5 or more says the timing depends on the
// input. The table path, kept for CPUs with neither AES instructions nor a
// vector permute, is measured too when the build has it, to show what a
// leak looks like; it is outside the constant-time claim and never fails
// the check. Exit status 1 when a row within the claim shows a leak.
// Usage: pelm_ct_check [MEASUREMENTS_PER_CLASS]
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <random>
#include <vector>

#include "aes128/engine.h"
#include "aes256/aes256.h"

#if defined(__x86_64__) || defined(__i386__)
#include <x86intrin.h>
#endif

namespace {

using pelm::aes128::EngineKernels;
using pelm::aes128::EngineState;
using pelm::aes128::g_engine;
namespace aes256 = pelm::aes256;

uint64_t now() {
#if defined(__x86_64__) || defined(__i386__)
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

// The largest |t| over all timings and over those below each percentile.
double max_t(const std::vector<uint32_t>& cycles, const std::vector<uint8_t>& classes) {
  std::vector<uint32_t> sorted = cycles;
  std::sort(sorted.begin(), sorted.end());
  double worst = 0;
  for (const double p : {1.0, 0.99, 0.95, 0.9, 0.75, 0.5}) {
    const uint32_t limit = sorted[static_cast<size_t>(p * (sorted.size() - 1))];
    Welch w;
    for (size_t i = 0; i < cycles.size(); ++i) {
      if (cycles[i] <= limit) w.add(classes[i], static_cast<double>(cycles[i]));
    }
    if (w.n[0] > 1 && w.n[1] > 1) worst = std::max(worst, std::fabs(w.t()));
  }
  return worst;
}

// One operation: expand `key`, then transform `block` in place.
enum class Operation { kEncrypt128, kDecrypt128, kEncrypt256 };

const char* operation_name(Operation op) {
  switch (op) {
    case Operation::kEncrypt128: return "AES-128 key expansion + encrypt";
    case Operation::kDecrypt128: return "AES-128 key expansion + decrypt";
    case Operation::kEncrypt256: return "AES-256 key expansion + encrypt";
  }
  return "?";
}

struct Path {
  const EngineKernels* engine;
  const aes256::Kernels* aes256;
  bool claimed;  // constant-time by design
};

void run(const Path& path, Operation op, const uint8_t* key, uint8_t* block) {
  if (op == Operation::kEncrypt256) {
    aes256::Schedule schedule;
    path.aes256->expand_key(key, schedule);
    path.aes256->encrypt_block(schedule, block, block);
    return;
  }
  EngineState& state = g_engine;  // this program's only engine user
  state.key = key;
  path.engine->expand_key(state);
  (op == Operation::kEncrypt128 ? path.engine->encrypt_block : path.engine->decrypt_block)(state, block);
}

// Class 0 gives the varied input a fixed value, class 1 a random one; the
// other input stays fixed. Inputs are drawn outside the timed part, and the
// same way for both classes (random words, then masked to the class), so
// the drawing leaves the caches and predictors alike for both.
double measure(const Path& path, Operation op, bool vary_key, size_t per_class,
               std::mt19937_64& rng) {
  const size_t total = 2 * per_class;
  std::vector<uint8_t> classes(total);
  for (size_t i = 0; i < total; ++i) classes[i] = i < per_class ? 0 : 1;
  std::shuffle(classes.begin(), classes.end(), rng);
  std::vector<uint32_t> cycles(total);
  uint64_t key_words[4], block_words[2];  // AES-128 reads the first two key words
  auto* key = reinterpret_cast<uint8_t*>(key_words);
  auto* block = reinterpret_cast<uint8_t*>(block_words);
  for (size_t i = 0; i < total; ++i) {
    const uint64_t random = 0 - static_cast<uint64_t>(classes[i]);  // all ones for class 1
    const uint64_t key_mask = vary_key ? random : 0, block_mask = vary_key ? 0 : random;
    for (uint64_t& w : key_words) w = (rng() & key_mask) | (0x0f1e2d3c4b5a6978ull & ~key_mask);
    for (uint64_t& w : block_words) w = (rng() & block_mask) | (0x8796a5b4c3d2e1f0ull & ~block_mask);
    const uint64_t start = now();
    run(path, op, key, block);
    cycles[i] = static_cast<uint32_t>(std::min<uint64_t>(now() - start, UINT32_MAX));
  }
  return max_t(cycles, classes);
}

}  // namespace

int main(int argc, char** argv) {
  const size_t per_class = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 10000000;
  std::mt19937_64 rng(2017);
  // Every path this CPU and build run (a null table is one they lack).
  std::vector<Path> paths;
  namespace aes128 = pelm::aes128;
  const Path candidates[] = {
      {aes128::aesni_kernels(), aes256::aesni_kernels(), true},
      {aes128::armv8_kernels(), aes256::armv8_kernels(), true},
      {aes128::ssse3_kernels(), aes256::ssse3_kernels(), true},
      {aes128::neon_kernels(), aes256::neon_kernels(), true},
      {&aes128::kCompactKernels, &aes256::kCompactKernels, false},
  };
  for (const Path& path : candidates) {
    if (path.engine != nullptr && path.aes256 != nullptr) paths.push_back(path);
  }

  std::printf("| path | operation | input varied | measurements per class | max abs(t) | verdict |\n");
  std::printf("|---|---|---|---|---|---|\n");
  int leaks = 0;
  for (const Path& path : paths) {
    for (const Operation op : {Operation::kEncrypt128, Operation::kDecrypt128, Operation::kEncrypt256}) {
      for (const bool vary_key : {true, false}) {
        const double t = measure(path, op, vary_key, per_class, rng);
        const bool leak = t >= 4.5;
        if (leak && path.claimed) ++leaks;
        const char* verdict = !leak ? "no leak detected"
                              : path.claimed ? "LEAK: timing depends on the input"
                                             : "leaks (table path, outside the claim)";
        std::printf("| %s | %s | %s | %zu | %.2f | %s |\n", path.engine->name, operation_name(op),
                    vary_key ? "key" : (op == Operation::kDecrypt128 ? "ciphertext" : "plaintext"),
                    per_class, t, verdict);
        std::fflush(stdout);
      }
    }
  }
  std::printf("%s\n", leaks == 0 ? "every path within the claim: no leak detected"
                                 : "a path within the claim leaks");
  return leaks == 0 ? 0 : 1;
}
