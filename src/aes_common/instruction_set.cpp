#include "instruction_set.h"

#include <atomic>

#include "cpu_features.h"
#include "locks/fork_safe_cache.h"

namespace pelm::aes {

namespace {

Instructions best_instructions() {
#if !defined(PELM_NO_AES_INSTRUCTIONS)
  if (cpu_has_aesni()) return Instructions::kAesni;
  if (cpu_has_armv8_aes()) return Instructions::kArmv8;
#endif
  return Instructions::kSoftware;
}

std::atomic<bool> g_force_software{false};
ForkSafeCache<Instructions> g_best;

}  // namespace

Instructions aes_instructions() {
  const Instructions best = g_best.get(best_instructions);
  return g_force_software.load(std::memory_order_relaxed) ? Instructions::kSoftware : best;
}

// Relaxed: the setting is read relaxed too, and a benchmark sets it on
// every call, where a sequentially consistent store (a locked exchange)
// would cost as much as a quarter of a one-block call.
void force_software_aes(bool software) { g_force_software.store(software, std::memory_order_relaxed); }

}  // namespace pelm::aes
