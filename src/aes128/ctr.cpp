// CTR over buffers: keystream block j is the encryption of iv + j, the whole
// 16-byte block taken as one big-endian counter that wraps at 2^128.
#include <cstring>

#include "engine.h"
#include "pelm/aes128.h"

using namespace pelm::aes128;

namespace {

void increment(uint8_t* counter) {
  for (size_t i = kBlockSize; i-- > 0;) {
    if (++counter[i] != 0) break;
  }
}

}  // namespace

extern "C" void qppqqp(uint8_t* output, const uint8_t* input, uint32_t length,
                       const uint8_t* key, const uint8_t* iv) {
  if (key == nullptr || iv == nullptr) return;
  if (length != 0 && (output == nullptr || input == nullptr)) return;
  uint8_t counter[kBlockSize];
  uint8_t keystream[kBlockSize];
  std::memcpy(counter, iv, kBlockSize);
  std::lock_guard<std::mutex> lock(g_engine_mutex);
  g_engine.key = key;
  KeyExpansion();
  for (uint32_t i = 0; i < length; ++i) {
    if (i % kBlockSize == 0) {
      std::memcpy(keystream, counter, kBlockSize);
      g_engine.block = keystream;
      Cipher();
      increment(counter);
    }
    output[i] = input[i] ^ keystream[i % kBlockSize];
  }
  g_engine.block = nullptr;  // the keystream block dies with this call
}
