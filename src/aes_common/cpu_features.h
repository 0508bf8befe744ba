// Whether this CPU has AES instructions the library can use: AES-NI on x86
// and x86-64 (CPUID), the ARMv8 Cryptography Extensions on arm64 (the
// kernel's HWCAP_AES) and on 32-bit Arm (HWCAP2_AES, which ARMv8 CPUs
// running 32-bit code report). The one dispatch point asks here, and so may
// a program that wants to say which path the library takes.
#ifndef PELM_AES_COMMON_CPU_FEATURES_H
#define PELM_AES_COMMON_CPU_FEATURES_H

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#elif defined(__aarch64__)
#include <sys/auxv.h>
#ifndef HWCAP_AES
#define HWCAP_AES (1 << 3)  // the arm64 Linux and Android kernel value
#endif
#elif defined(__arm__)
#include <sys/auxv.h>
#ifndef AT_HWCAP2
#define AT_HWCAP2 26
#endif
#ifndef HWCAP2_AES
#define HWCAP2_AES (1 << 0)  // the 32-bit Arm Linux and Android kernel value
#endif
#endif

namespace pelm::aes {

inline bool cpu_has_aesni() {
#if defined(__x86_64__) || defined(__i386__)
  unsigned eax, ebx, ecx, edx;
  return __get_cpuid(1, &eax, &ebx, &ecx, &edx) && (ecx & bit_AES) != 0;
#else
  return false;
#endif
}

inline bool cpu_has_ssse3() {
#if defined(__x86_64__) || defined(__i386__)
  unsigned eax, ebx, ecx, edx;
  return __get_cpuid(1, &eax, &ebx, &ecx, &edx) && (ecx & bit_SSSE3) != 0;
#else
  return false;
#endif
}

inline bool cpu_has_armv8_aes() {
#if defined(__aarch64__)
  return (getauxval(AT_HWCAP) & HWCAP_AES) != 0;
#elif defined(__arm__)
  return (getauxval(AT_HWCAP2) & HWCAP2_AES) != 0;
#else
  return false;
#endif
}

// The name of the path AES takes on this CPU.
inline const char* aes_path_name() {
#if !defined(PELM_NO_AES_INSTRUCTIONS)
  if (cpu_has_aesni()) return "AES-NI";
  if (cpu_has_armv8_aes()) return "ARMv8 Crypto Extensions";
#endif
  if (cpu_has_ssse3()) return "SSSE3, constant-time (no AES instructions used)";
#if defined(__ARM_NEON)
  return "NEON, constant-time (no AES instructions used)";
#else
  return "compact, table-based (no AES instructions used)";
#endif
}

}  // namespace pelm::aes

#endif
