// The one place that decides which kernels run the engine: the CPU's AES
// instructions where it has them, the compact path otherwise. The choice is
// made on first use (no code runs at load) and is thread-safe.
#include <atomic>

#include "engine.h"

namespace pelm::aes128 {

namespace {

const EngineKernels* best_kernels() {
  if (const EngineKernels* k = aesni_kernels()) return k;
  if (const EngineKernels* k = armv8_kernels()) return k;
  return &kCompactKernels;
}

std::atomic<bool> g_force_compact{false};

}  // namespace

const EngineKernels& engine_kernels() {
  static const EngineKernels* const best = best_kernels();
  return g_force_compact.load(std::memory_order_relaxed) ? kCompactKernels : *best;
}

void force_compact_engine(bool compact) { g_force_compact.store(compact); }

}  // namespace pelm::aes128
