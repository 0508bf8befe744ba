// CBC over buffers. The chaining value is kept as a copy in the state, so a
// chain carried over calls never reads memory the caller may have released,
// and a first call without an IV chains from zeros.
#include <cstring>

#include "engine.h"
#include "aes_common/kernel_traces.h"
#include "pelm/aes128.h"

namespace pelm::aes128 {

namespace {

// A null key keeps the schedule; a null iv keeps the chaining value.
void start_chain(const EngineKernels& kernels, EngineState& state, const uint8_t* key,
                 const uint8_t* iv) {
  if (key != nullptr) {
    state.key = key;
    kernels.expand_key(state);
  }
  if (iv != nullptr) std::memcpy(state.chain, iv, kBlockSize);
}

}  // namespace

void cbc_encrypt(EngineState& state, uint8_t* output, const uint8_t* input, uint32_t length,
                 const uint8_t* key, const uint8_t* iv) {
  const EngineKernels& kernels = engine_kernels();
  start_chain(kernels, state, key, iv);
  const uint32_t blocks = length / kBlockSize;
  const uint32_t tail = length % kBlockSize;
  kernels.cbc_encrypt(state, output, input, blocks);
  if (tail != 0) {
    // The tail is zero-filled to a whole block; it does not move the chain.
    uint8_t* out = output + blocks * kBlockSize;
    std::memmove(out, input + blocks * kBlockSize, tail);
    std::memset(out + tail, 0, kBlockSize - tail);
    for (size_t i = 0; i < kBlockSize; ++i) out[i] ^= state.chain[i];
    kernels.encrypt_block(state, out);
  }
  pelm::wipe_kernel_traces();  // round keys left on the stack and in registers
}

void cbc_decrypt(EngineState& state, uint8_t* output, const uint8_t* input, uint32_t length,
                 const uint8_t* key, const uint8_t* iv) {
  const EngineKernels& kernels = engine_kernels();
  start_chain(kernels, state, key, iv);
  const uint32_t blocks = length / kBlockSize;
  const uint32_t tail = length % kBlockSize;
  kernels.cbc_decrypt(state, output, input, blocks);
  if (tail != 0) {
    // Only foreign input has a tail: its block keeps the output's former
    // bytes past the tail, and is neither chained nor moves the chain.
    uint8_t* out = output + blocks * kBlockSize;
    std::memmove(out, input + blocks * kBlockSize, tail);
    kernels.decrypt_block(state, out);
  }
  pelm::wipe_kernel_traces();
}

}  // namespace pelm::aes128

using namespace pelm::aes128;

namespace {

bool buffers_usable(uint8_t* output, const uint8_t* input, uint32_t length) {
  return length == 0 || (output != nullptr && input != nullptr);
}

// A call on a state of its own has no schedule or chain to go on from: one
// that asks to go on (a null key or iv) is refused and writes nothing.
bool can_run(const EngineAccess& access, const uint8_t* key, const uint8_t* iv) {
  return access.shared() || (key != nullptr && iv != nullptr);
}

}  // namespace

extern "C" void qpppqp(uint8_t* output, const uint8_t* input, uint32_t length,
                       const uint8_t* key, const uint8_t* iv) {
  if (!buffers_usable(output, input, length)) return;
  EngineAccess access;
  if (can_run(access, key, iv)) cbc_encrypt(access.state(), output, input, length, key, iv);
}

extern "C" void qqqpqp(uint8_t* output, const uint8_t* input, uint32_t length,
                       const uint8_t* key, const uint8_t* iv) {
  if (!buffers_usable(output, input, length)) return;
  EngineAccess access;
  if (can_run(access, key, iv)) cbc_decrypt(access.state(), output, input, length, key, iv);
}
