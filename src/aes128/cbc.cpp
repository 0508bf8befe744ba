// CBC over buffers. The chaining value is kept as a copy inside the engine,
// so a chain carried over calls never reads memory the caller may have
// released, and a first call without an IV chains from zeros.
#include <cstring>

#include "engine.h"
#include "pelm/aes128.h"

using namespace pelm::aes128;

namespace {

void xor_block(uint8_t* block, const uint8_t* with) {
  for (size_t i = 0; i < kBlockSize; ++i) block[i] ^= with[i];
}

bool buffers_usable(uint8_t* output, const uint8_t* input, uint32_t length) {
  return length == 0 || (output != nullptr && input != nullptr);
}

// A null key keeps the schedule; a null iv keeps the chaining value.
void start_chain(const uint8_t* key, const uint8_t* iv) {
  if (key != nullptr) {
    g_engine.key = key;
    KeyExpansion();
  }
  if (iv != nullptr) std::memcpy(g_engine.chain, iv, kBlockSize);
}

}  // namespace

extern "C" void qpppqp(uint8_t* output, const uint8_t* input, uint32_t length,
                       const uint8_t* key, const uint8_t* iv) {
  if (!buffers_usable(output, input, length)) return;
  std::lock_guard<std::mutex> lock(g_engine_mutex);
  start_chain(key, iv);
  const uint32_t blocks = length / kBlockSize;
  const uint32_t tail = length % kBlockSize;
  for (uint32_t k = 0; k < blocks; ++k) {
    uint8_t* out = output + k * kBlockSize;
    if (out != input + k * kBlockSize) std::memcpy(out, input + k * kBlockSize, kBlockSize);
    xor_block(out, g_engine.chain);
    g_engine.block = out;
    Cipher();
    std::memcpy(g_engine.chain, out, kBlockSize);
  }
  if (tail != 0) {
    // The tail is zero-filled to a whole block; it does not move the chain.
    uint8_t* out = output + blocks * kBlockSize;
    std::memmove(out, input + blocks * kBlockSize, tail);
    std::memset(out + tail, 0, kBlockSize - tail);
    xor_block(out, g_engine.chain);
    g_engine.block = out;
    Cipher();
  }
}

extern "C" void qqqpqp(uint8_t* output, const uint8_t* input, uint32_t length,
                       const uint8_t* key, const uint8_t* iv) {
  if (!buffers_usable(output, input, length)) return;
  std::lock_guard<std::mutex> lock(g_engine_mutex);
  start_chain(key, iv);
  const uint32_t blocks = length / kBlockSize;
  const uint32_t tail = length % kBlockSize;
  for (uint32_t k = 0; k < blocks; ++k) {
    uint8_t* out = output + k * kBlockSize;
    uint8_t ciphertext[kBlockSize];
    std::memcpy(ciphertext, input + k * kBlockSize, kBlockSize);
    std::memcpy(out, ciphertext, kBlockSize);
    g_engine.block = out;
    InvCipher();
    xor_block(out, g_engine.chain);
    std::memcpy(g_engine.chain, ciphertext, kBlockSize);
  }
  if (tail != 0) {
    // Only foreign input has a tail: its block keeps the output's former
    // bytes past the tail, and is neither chained nor moves the chain.
    uint8_t* out = output + blocks * kBlockSize;
    std::memmove(out, input + blocks * kBlockSize, tail);
    g_engine.block = out;
    InvCipher();
  }
}
