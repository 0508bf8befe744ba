// AES-256's kernels for the instructions the one AES dispatch point chose.
#include "aes256.h"
#include "aes_common/instruction_set.h"

namespace pelm::aes256 {

const Kernels& kernels() {
  // Asked of the CPU once: CPUID costs a trip to the hypervisor in a VM.
  static const Kernels* const hardware =
      aesni_kernels() != nullptr ? aesni_kernels() : armv8_kernels();
  const bool software = aes::aes_instructions() == aes::Instructions::kSoftware;
  return software || hardware == nullptr ? kCompactKernels : *hardware;
}

}  // namespace pelm::aes256
