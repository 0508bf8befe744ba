// Single-block operations: copy, expand the key, transform the first block.
#include <cstring>

#include "engine.h"
#include "aes_common/kernel_traces.h"
#include "pelm/aes128.h"

using namespace pelm::aes128;

namespace {

void run_block(const uint8_t* input, const uint8_t* key, uint8_t* output,
               uint32_t length, bool encrypt) {
  if (key == nullptr || output == nullptr || (length != 0 && input == nullptr)) return;
  EngineAccess access;
  EngineState& state = access.state();
  const EngineKernels& kernels = engine_kernels();
  if (output != input && length != 0) std::memmove(output, input, length);
  state.block = output;
  state.key = key;
  kernels.expand_key(state);
  (encrypt ? kernels.encrypt_block : kernels.decrypt_block)(state, output);
  pelm::wipe_kernel_traces();  // round keys left on the stack and in registers
}

}  // namespace

extern "C" void qqppqp(const uint8_t* input, const uint8_t* key,
                       uint8_t* output, uint32_t length) {
  run_block(input, key, output, length, true);
}

extern "C" void qqppqq(const uint8_t* input, const uint8_t* key,
                       uint8_t* output, uint32_t length) {
  run_block(input, key, output, length, false);
}
