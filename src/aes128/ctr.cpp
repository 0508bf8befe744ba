// CTR over buffers: keystream block j is the encryption of iv + j, the whole
// 16-byte block taken as one big-endian counter that wraps at 2^128.
#include <cstring>

#include "engine.h"
#include "aes_common/kernel_traces.h"
#include "memory/secure_wipe.h"
#include "pelm/aes128.h"

using namespace pelm::aes128;

extern "C" void qppqqp(uint8_t* output, const uint8_t* input, uint32_t length,
                       const uint8_t* key, const uint8_t* iv) {
  if (key == nullptr || iv == nullptr) return;
  if (length != 0 && (output == nullptr || input == nullptr)) return;
  uint8_t counter[kBlockSize];
  std::memcpy(counter, iv, kBlockSize);
  EngineAccess access;
  EngineState& state = access.state();
  const EngineKernels& kernels = engine_kernels();
  state.key = key;
  kernels.expand_key(state);
  const uint32_t blocks = length / kBlockSize;
  const uint32_t tail = length % kBlockSize;
  kernels.ctr(state, output, input, blocks, counter);
  if (tail != 0) {
    // The last keystream block is used only in part.
    uint8_t keystream[kBlockSize];
    std::memcpy(keystream, counter, kBlockSize);
    kernels.encrypt_block(state, keystream);
    const size_t done = size_t{blocks} * kBlockSize;
    for (size_t i = 0; i < tail; ++i) output[done + i] = input[done + i] ^ keystream[i];
    pelm::secure_wipe(keystream, sizeof keystream);
  }
  pelm::secure_wipe(counter, sizeof counter);
  pelm::wipe_kernel_traces();  // round keys left on the stack and in registers
  state.block = nullptr;  // no reference to the call's blocks outlives it
}
