// AES-256's kernels for the instructions the one AES dispatch point chose.
#include "aes256.h"
#include "aes_common/instruction_set.h"

namespace pelm::aes256 {

const Kernels& kernels() {
  // Asked of the CPU once: CPUID costs a trip to the hypervisor in a VM.
  static const Kernels* const hardware =
      aesni_kernels() != nullptr ? aesni_kernels() : armv8_kernels();
  // Without AES instructions: constant-time where the CPU allows, the
  // table path only where it does not.
  static const Kernels* const software =
      ssse3_kernels() != nullptr ? ssse3_kernels()
      : neon_kernels() != nullptr ? neon_kernels()
                                  : &kCompactKernels;
  const bool use_software = aes::aes_instructions() == aes::Instructions::kSoftware;
  return use_software || hardware == nullptr ? *software : *hardware;
}

}  // namespace pelm::aes256
