// The CTR counter: a 16-byte block taken as one big-endian number that wraps
// at 2^128, held as two 64-bit halves so the vector paths can make
// counter + j for a run of blocks without a byte-by-byte carry.
#ifndef PELM_AES_COMMON_COUNTER128_H
#define PELM_AES_COMMON_COUNTER128_H

#include <cstdint>
#include <cstring>

namespace pelm::aes {

struct Counter128 {
  uint64_t high, low;

  static Counter128 from_bytes(const uint8_t* block) {
    uint64_t high, low;
    std::memcpy(&high, block, 8);
    std::memcpy(&low, block + 8, 8);
    return {__builtin_bswap64(high), __builtin_bswap64(low)};
  }

  Counter128 plus(uint64_t j) const {
    const uint64_t sum = low + j;
    return {high + (sum < low ? 1 : 0), sum};
  }
};

}  // namespace pelm::aes

#endif
