// AES-256-CFB128 over a whole buffer: the whole blocks on the kernels, then
// a last partial block from part of one more keystream block.
#include <cstring>

#include "aes256.h"
#include "aes_common/kernel_traces.h"
#include "memory/secure_wipe.h"

namespace pelm::aes256 {

void cfb128(const uint8_t* key, const uint8_t* iv, const uint8_t* in, uint8_t* out,
            size_t length, bool encrypt, const Kernels& kernels) {
  Schedule schedule;
  kernels.expand_key(key, schedule);
  uint8_t feedback[kBlockSize];
  std::memcpy(feedback, iv, kBlockSize);
  const size_t blocks = length / kBlockSize, tail = length % kBlockSize;
  (encrypt ? kernels.cfb_encrypt : kernels.cfb_decrypt)(schedule, feedback, in, out, blocks);
  if (tail != 0) {
    uint8_t keystream[kBlockSize];
    kernels.encrypt_block(schedule, feedback, keystream);
    const size_t done = blocks * kBlockSize;
    for (size_t i = 0; i < tail; ++i) out[done + i] = in[done + i] ^ keystream[i];
    secure_wipe(keystream, sizeof keystream);
  }
  secure_wipe(&schedule, sizeof schedule);
  secure_wipe(feedback, sizeof feedback);
  wipe_kernel_traces();  // round keys left on the stack and in registers
}

}  // namespace pelm::aes256
