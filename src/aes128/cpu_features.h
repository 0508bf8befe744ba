// Whether this CPU has AES instructions the engine can use: AES-NI on
// x86-64 (CPUID), the ARMv8 Cryptography Extensions on arm64 (the kernel's
// HWCAP_AES). The engine's dispatch asks here, and so may a program that
// wants to say which path the engine takes, with nothing more exported.
#ifndef PELM_AES128_CPU_FEATURES_H
#define PELM_AES128_CPU_FEATURES_H

#if defined(__x86_64__)
#include <cpuid.h>
#elif defined(__aarch64__)
#include <sys/auxv.h>
#ifndef HWCAP_AES
#define HWCAP_AES (1 << 3)  // the arm64 Linux and Android kernel value
#endif
#endif

namespace pelm::aes128 {

inline bool cpu_has_aesni() {
#if defined(__x86_64__)
  unsigned eax, ebx, ecx, edx;
  return __get_cpuid(1, &eax, &ebx, &ecx, &edx) && (ecx & bit_AES) != 0;
#else
  return false;
#endif
}

inline bool cpu_has_armv8_aes() {
#if defined(__aarch64__)
  return (getauxval(AT_HWCAP) & HWCAP_AES) != 0;
#else
  return false;
#endif
}

// The name of the path the engine takes on this CPU.
inline const char* engine_path_name() {
  if (cpu_has_aesni()) return "AES-NI";
  if (cpu_has_armv8_aes()) return "ARMv8 Crypto Extensions";
  return "compact (no AES instructions)";
}

}  // namespace pelm::aes128

#endif
