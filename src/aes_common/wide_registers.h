// Clearing the x86 vector registers that the SSE instructions do not
// reach: the upper halves of the AVX registers (vzeroall clears all of
// ymm0-15) and AVX-512's zmm16-31. Call each only where the CPU and the
// system have those registers.
#ifndef PELM_AES_COMMON_WIDE_REGISTERS_H
#define PELM_AES_COMMON_WIDE_REGISTERS_H

#if defined(__x86_64__) || defined(__i386__)

namespace pelm {

__attribute__((target("avx"), noinline)) inline void clear_avx_registers() {
  __asm__ __volatile__("vzeroall" ::: "xmm0", "xmm1", "xmm2", "xmm3", "xmm4", "xmm5", "xmm6", "xmm7"
#if defined(__x86_64__)
                       , "xmm8", "xmm9", "xmm10", "xmm11", "xmm12", "xmm13", "xmm14", "xmm15"
#endif
  );
}

#if defined(__x86_64__)
__attribute__((target("avx512f"), noinline)) inline void clear_avx512_registers() {
  __asm__ __volatile__(
      "vpxord %%zmm16, %%zmm16, %%zmm16\n vpxord %%zmm17, %%zmm17, %%zmm17\n"
      "vpxord %%zmm18, %%zmm18, %%zmm18\n vpxord %%zmm19, %%zmm19, %%zmm19\n"
      "vpxord %%zmm20, %%zmm20, %%zmm20\n vpxord %%zmm21, %%zmm21, %%zmm21\n"
      "vpxord %%zmm22, %%zmm22, %%zmm22\n vpxord %%zmm23, %%zmm23, %%zmm23\n"
      "vpxord %%zmm24, %%zmm24, %%zmm24\n vpxord %%zmm25, %%zmm25, %%zmm25\n"
      "vpxord %%zmm26, %%zmm26, %%zmm26\n vpxord %%zmm27, %%zmm27, %%zmm27\n"
      "vpxord %%zmm28, %%zmm28, %%zmm28\n vpxord %%zmm29, %%zmm29, %%zmm29\n"
      "vpxord %%zmm30, %%zmm30, %%zmm30\n vpxord %%zmm31, %%zmm31, %%zmm31\n"
      ::: "xmm16", "xmm17", "xmm18", "xmm19", "xmm20", "xmm21", "xmm22", "xmm23", "xmm24", "xmm25",
      "xmm26", "xmm27", "xmm28", "xmm29", "xmm30", "xmm31");
}
#endif

}  // namespace pelm

#endif
#endif
