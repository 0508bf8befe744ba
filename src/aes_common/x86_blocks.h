// 16-byte blocks in SSE2 registers, for the x86 paths' mode loops: loads,
// stores, XOR and CTR counter blocks. SSE2 is in every x86-64 CPU and in
// the x86 ABI's baseline, so nothing here needs a target attribute.
#ifndef PELM_AES_COMMON_X86_BLOCKS_H
#define PELM_AES_COMMON_X86_BLOCKS_H

#include <emmintrin.h>

#include <cstdint>

#include "counter128.h"

namespace pelm::aes::blocks {

using Block = __m128i;

inline Block load(const uint8_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }

inline void store(uint8_t* p, Block v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }

inline Block xor_blocks(Block a, Block b) { return _mm_xor_si128(a, b); }

// The counter's 16 big-endian bytes.
inline Block counter_block(Counter128 c) {
  return _mm_set_epi64x(static_cast<long long>(__builtin_bswap64(c.low)),
                        static_cast<long long>(__builtin_bswap64(c.high)));
}

}  // namespace pelm::aes::blocks

#endif
