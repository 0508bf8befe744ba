// CBC over buffers. The chaining value is kept as a copy inside the engine,
// so a chain carried over calls never reads memory the caller may have
// released, and a first call without an IV chains from zeros.
#include <cstring>

#include "engine.h"
#include "aes_common/kernel_traces.h"
#include "memory/secure_wipe.h"
#include "pelm/aes128.h"

using namespace pelm::aes128;

namespace {

bool buffers_usable(uint8_t* output, const uint8_t* input, uint32_t length) {
  return length == 0 || (output != nullptr && input != nullptr);
}

// A null key keeps the schedule; a null iv keeps the chaining value.
void start_chain(const EngineKernels& kernels, const uint8_t* key, const uint8_t* iv) {
  if (key != nullptr) {
    g_engine.key = key;
    kernels.expand_key();
  }
  if (iv != nullptr) std::memcpy(g_engine.chain, iv, kBlockSize);
}

}  // namespace

extern "C" void qpppqp(uint8_t* output, const uint8_t* input, uint32_t length,
                       const uint8_t* key, const uint8_t* iv) {
  if (!buffers_usable(output, input, length)) return;
  std::lock_guard<ForkSafeMutex> lock(g_engine_mutex);
  const EngineKernels& kernels = engine_kernels();
  start_chain(kernels, key, iv);
  const uint32_t blocks = length / kBlockSize;
  const uint32_t tail = length % kBlockSize;
  kernels.cbc_encrypt(output, input, blocks);
  if (tail != 0) {
    // The tail is zero-filled to a whole block; it does not move the chain.
    uint8_t* out = output + blocks * kBlockSize;
    std::memmove(out, input + blocks * kBlockSize, tail);
    std::memset(out + tail, 0, kBlockSize - tail);
    for (size_t i = 0; i < kBlockSize; ++i) out[i] ^= g_engine.chain[i];
    kernels.encrypt_block(out);
  }
  pelm::wipe_kernel_traces();  // round keys left on the stack and in registers
}

extern "C" void qqqpqp(uint8_t* output, const uint8_t* input, uint32_t length,
                       const uint8_t* key, const uint8_t* iv) {
  if (!buffers_usable(output, input, length)) return;
  std::lock_guard<ForkSafeMutex> lock(g_engine_mutex);
  const EngineKernels& kernels = engine_kernels();
  start_chain(kernels, key, iv);
  const uint32_t blocks = length / kBlockSize;
  const uint32_t tail = length % kBlockSize;
  kernels.cbc_decrypt(output, input, blocks);
  if (tail != 0) {
    // Only foreign input has a tail: its block keeps the output's former
    // bytes past the tail, and is neither chained nor moves the chain.
    uint8_t* out = output + blocks * kBlockSize;
    std::memmove(out, input + blocks * kBlockSize, tail);
    kernels.decrypt_block(out);
  }
  pelm::wipe_kernel_traces();
}
