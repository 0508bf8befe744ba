// The engine's kernels for the instructions the one AES dispatch point
// chose.
#include "aes_common/instruction_set.h"
#include "engine.h"

namespace pelm::aes128 {

const EngineKernels& engine_kernels() {
  const EngineKernels* chosen = nullptr;
  switch (aes::aes_instructions()) {
    case aes::Instructions::kAesni:
      chosen = aesni_kernels();
      break;
    case aes::Instructions::kArmv8:
      chosen = armv8_kernels();
      break;
    case aes::Instructions::kSoftware:
      break;
  }
  return chosen != nullptr ? *chosen : kCompactKernels;
}

void force_compact_engine(bool compact) { aes::force_software_aes(compact); }

}  // namespace pelm::aes128
