// AES-256's kernels for the instructions the one AES dispatch point chose.
#include "aes256.h"
#include "aes_common/instruction_set.h"
#include "locks/fork_safe_cache.h"

namespace pelm::aes256 {

namespace {
// Asked of the CPU once: CPUID costs a trip to the hypervisor in a VM.
ForkSafeCache<const Kernels*> g_hardware, g_software;
}  // namespace

const Kernels& kernels() {
  const Kernels* hardware = g_hardware.get(
      [] { return aesni_kernels() != nullptr ? aesni_kernels() : armv8_kernels(); });
  // Without AES instructions: constant-time where the CPU allows, the
  // table path only where it does not.
  const Kernels* software = g_software.get([] {
    return ssse3_kernels() != nullptr ? ssse3_kernels()
           : neon_kernels() != nullptr ? neon_kernels()
                                       : &kCompactKernels;
  });
  const bool use_software = aes::aes_instructions() == aes::Instructions::kSoftware;
  return use_software || hardware == nullptr ? *software : *hardware;
}

}  // namespace pelm::aes256
