// The engine's kernels for the instructions the one AES dispatch point
// chose.
#include "aes_common/instruction_set.h"
#include "engine.h"

namespace pelm::aes128 {

const EngineKernels& engine_kernels() {
  // Asked of the CPU once: CPUID costs a trip to the hypervisor in a VM.
  static const EngineKernels* const hardware =
      aesni_kernels() != nullptr ? aesni_kernels() : armv8_kernels();
  const bool software = aes::aes_instructions() == aes::Instructions::kSoftware;
  return software || hardware == nullptr ? kCompactKernels : *hardware;
}

void force_compact_engine(bool compact) { aes::force_software_aes(compact); }

}  // namespace pelm::aes128
