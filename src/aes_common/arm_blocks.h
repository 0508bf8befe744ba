// 16-byte blocks in NEON registers, for the Arm paths' mode loops: loads,
// stores, XOR and CTR counter blocks. NEON is in every arm64 CPU and in
// every 32-bit build that has a vector path.
#ifndef PELM_AES_COMMON_ARM_BLOCKS_H
#define PELM_AES_COMMON_ARM_BLOCKS_H

#include <arm_neon.h>

#include <cstdint>

#include "counter128.h"

namespace pelm::aes::blocks {

using Block = uint8x16_t;

inline Block load(const uint8_t* p) { return vld1q_u8(p); }

inline void store(uint8_t* p, Block v) { vst1q_u8(p, v); }

inline Block xor_blocks(Block a, Block b) { return veorq_u8(a, b); }

// The counter's 16 big-endian bytes.
inline Block counter_block(Counter128 c) {
  return vreinterpretq_u8_u64(vcombine_u64(vcreate_u64(__builtin_bswap64(c.high)),
                                           vcreate_u64(__builtin_bswap64(c.low))));
}

}  // namespace pelm::aes::blocks

#endif
