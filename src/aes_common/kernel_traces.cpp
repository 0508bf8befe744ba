#include "kernel_traces.h"

#include <atomic>
#include <cstddef>

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#endif

#include "instruction_set.h"
#include "wide_registers.h"
#include "memory/secure_wipe.h"

namespace pelm {

// How far the AES kernels' frames reach below their caller, as -fstack-usage
// reports them, with room for the one further level a kernel may call.
// x86-64, arm64 and 32-bit Arm: the software paths at most 540 bytes a
// frame (504 on x86-64, 352 on arm64, 336 on 32-bit Arm), the AES-NI and
// ARMv8 paths at most 376. 32-bit x86 has half the vector registers and
// spills more: up to 1040 bytes (SSSE3) and 656 (AES-NI) with gcc. Clearing
// costs about 20 ns per KiB on x86-64, as much as a one-block call on
// AES-NI, so each path clears what it can have used.
#if defined(__i386__)
constexpr size_t kSoftwareKernelStack = 2048;
constexpr size_t kHardwareKernelStack = 2048;
#else
constexpr size_t kSoftwareKernelStack = 1024;
constexpr size_t kHardwareKernelStack = 512;
#endif
constexpr size_t kForeignCipherStack = 1024;

namespace {

// Every vector register the calling convention lets a call clobber; the
// callee-saved ones (the low halves of v8-v15 on arm64, d8-d15 on 32-bit
// Arm) hold the callers' values, restored by the kernels.
__attribute__((noinline)) void clear_vector_registers() {
#if defined(__x86_64__)
  __asm__ __volatile__(
      "pxor %%xmm0, %%xmm0\n pxor %%xmm1, %%xmm1\n pxor %%xmm2, %%xmm2\n pxor %%xmm3, %%xmm3\n"
      "pxor %%xmm4, %%xmm4\n pxor %%xmm5, %%xmm5\n pxor %%xmm6, %%xmm6\n pxor %%xmm7, %%xmm7\n"
      "pxor %%xmm8, %%xmm8\n pxor %%xmm9, %%xmm9\n pxor %%xmm10, %%xmm10\n pxor %%xmm11, %%xmm11\n"
      "pxor %%xmm12, %%xmm12\n pxor %%xmm13, %%xmm13\n pxor %%xmm14, %%xmm14\n pxor %%xmm15, %%xmm15\n"
      ::: "xmm0", "xmm1", "xmm2", "xmm3", "xmm4", "xmm5", "xmm6", "xmm7", "xmm8", "xmm9", "xmm10",
      "xmm11", "xmm12", "xmm13", "xmm14", "xmm15");
#elif defined(__i386__) && defined(__SSE2__)
  __asm__ __volatile__(
      "pxor %%xmm0, %%xmm0\n pxor %%xmm1, %%xmm1\n pxor %%xmm2, %%xmm2\n pxor %%xmm3, %%xmm3\n"
      "pxor %%xmm4, %%xmm4\n pxor %%xmm5, %%xmm5\n pxor %%xmm6, %%xmm6\n pxor %%xmm7, %%xmm7\n"
      ::: "xmm0", "xmm1", "xmm2", "xmm3", "xmm4", "xmm5", "xmm6", "xmm7");
#elif defined(__aarch64__)
  __asm__ __volatile__(
      "movi v0.16b, #0\n movi v1.16b, #0\n movi v2.16b, #0\n movi v3.16b, #0\n"
      "movi v4.16b, #0\n movi v5.16b, #0\n movi v6.16b, #0\n movi v7.16b, #0\n"
      "mov v8.d[1], xzr\n mov v9.d[1], xzr\n mov v10.d[1], xzr\n mov v11.d[1], xzr\n"
      "mov v12.d[1], xzr\n mov v13.d[1], xzr\n mov v14.d[1], xzr\n mov v15.d[1], xzr\n"
      "movi v16.16b, #0\n movi v17.16b, #0\n movi v18.16b, #0\n movi v19.16b, #0\n"
      "movi v20.16b, #0\n movi v21.16b, #0\n movi v22.16b, #0\n movi v23.16b, #0\n"
      "movi v24.16b, #0\n movi v25.16b, #0\n movi v26.16b, #0\n movi v27.16b, #0\n"
      "movi v28.16b, #0\n movi v29.16b, #0\n movi v30.16b, #0\n movi v31.16b, #0\n"
      ::: "v0", "v1", "v2", "v3", "v4", "v5", "v6", "v7", "v16", "v17", "v18", "v19", "v20", "v21",
      "v22", "v23", "v24", "v25", "v26", "v27", "v28", "v29", "v30", "v31");
#elif defined(__arm__) && defined(__ARM_NEON)
  __asm__ __volatile__(
      "vmov.i8 q0, #0\n vmov.i8 q1, #0\n vmov.i8 q2, #0\n vmov.i8 q3, #0\n"
      "vmov.i8 q8, #0\n vmov.i8 q9, #0\n vmov.i8 q10, #0\n vmov.i8 q11, #0\n"
      "vmov.i8 q12, #0\n vmov.i8 q13, #0\n vmov.i8 q14, #0\n vmov.i8 q15, #0\n"
      ::: "q0", "q1", "q2", "q3", "q8", "q9", "q10", "q11", "q12", "q13", "q14", "q15");
#endif
}

#if defined(__x86_64__) || defined(__i386__)
// The SSE clearing above leaves the upper halves of the AVX registers, and
// code outside the library's kernels (the C library's memcpy among it) uses
// those and AVX-512's sixteen further registers. Where the CPU and the
// system have them, they are cleared too.
enum VectorWidth { kUnknown, kSseOnly, kAvx, kAvx512 };

VectorWidth vector_width() {
  unsigned eax, ebx, ecx, edx;
  if (!__get_cpuid(1, &eax, &ebx, &ecx, &edx) || !(ecx & bit_OSXSAVE) || !(ecx & bit_AVX)) {
    return kSseOnly;
  }
  unsigned xcr0_low, xcr0_high;
  __asm__("xgetbv" : "=a"(xcr0_low), "=d"(xcr0_high) : "c"(0));
  if ((xcr0_low & 0x6) != 0x6) return kSseOnly;  // the system saves no YMM state
#if defined(__x86_64__)
  if (__get_cpuid_count(7, 0, &eax, &ebx, &ecx, &edx) && (ebx & bit_AVX512F) &&
      (xcr0_low & 0xE0) == 0xE0) {
    return kAvx512;
  }
#endif
  return kAvx;
}

std::atomic<int> g_vector_width{kUnknown};

void clear_wide_registers() {
  int width = g_vector_width.load(std::memory_order_relaxed);
  if (width == kUnknown) {
    width = vector_width();
    g_vector_width.store(width, std::memory_order_relaxed);
  }
  if (width >= kAvx) clear_avx_registers();
#if defined(__x86_64__)
  if (width == kAvx512) clear_avx512_registers();
#endif
}
#else
void clear_wide_registers() {}
#endif

// The top `bytes` of the array lie just below the caller's frame, where the
// kernels' frames were.
__attribute__((noinline)) void wipe_traces(size_t bytes) {
  unsigned char frames[kSoftwareKernelStack > kForeignCipherStack ? kSoftwareKernelStack
                                                                   : kForeignCipherStack];
  secure_wipe(frames + sizeof frames - bytes, bytes);
  clear_vector_registers();
  clear_wide_registers();
}

}  // namespace

void wipe_kernel_traces() {
  wipe_traces(aes::aes_instructions() == aes::Instructions::kSoftware ? kSoftwareKernelStack
                                                                       : kHardwareKernelStack);
}

void wipe_foreign_cipher_traces() { wipe_traces(kForeignCipherStack); }

void wipe_zlib_traces() { wipe_traces(kForeignCipherStack); }


}  // namespace pelm
