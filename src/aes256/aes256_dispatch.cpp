// AES-256's kernels for the instructions the one AES dispatch point chose.
#include "aes256.h"
#include "aes_common/instruction_set.h"

namespace pelm::aes256 {

const Kernels& kernels() {
  const Kernels* chosen = nullptr;
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

}  // namespace pelm::aes256
