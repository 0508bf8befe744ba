// AES-128-CBC over PKCS #7-padded texts, ciphertext as lowercase hex. Each
// call runs the engine on a state of its own, with its own key and IV: it
// starts a fresh chain, takes no lock and shares nothing with other calls.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "engine.h"
#include "memory/secure_wipe.h"
#include "pelm/hex.h"
#include "pelm/text_cipher.h"
#include "text_decrypt.h"

namespace {

using pelm::aes128::EngineState;

// The call's engine state, wiped when the call ends.
struct CallEngine {
  EngineState state{};
  CallEngine() = default;
  CallEngine(const CallEngine&) = delete;
  CallEngine& operator=(const CallEngine&) = delete;
  ~CallEngine() { pelm::secure_wipe(&state, sizeof state); }
};

constexpr size_t kBlock = 16;
// The padded length, and the decrypted length, must fit in an int32_t.
constexpr size_t kMaxPadded = INT32_MAX / kBlock * kBlock;

// Length of the valid PKCS #7 padding ending the n bytes, or 0 if none.
size_t pkcs7_padding(const uint8_t* data, size_t n) {
  if (n < kBlock) return 0;
  const uint8_t pad = data[n - 1];
  if (pad < 1 || pad > kBlock) return 0;
  for (size_t i = n - pad; i < n; ++i) {
    if (data[i] != pad) return 0;
  }
  return pad;
}

// Valid padding is cut off exactly, so texts holding tabs or line breaks
// come back whole. Anything else ends at its first byte from 0x01 to 0x10.
void unpad(uint8_t* data, size_t n) {
  size_t end = n - pkcs7_padding(data, n);
  if (end == n) {
    for (end = 0; end < n && (data[end] < 1 || data[end] > kBlock); ++end) {
    }
  }
  std::memset(data + end, 0, n - end);
}

}  // namespace

extern "C" char* ll11l1l1ll(const uint8_t* key, const uint8_t* iv, const char* text) {
  if (key == nullptr || iv == nullptr || text == nullptr) return nullptr;
  const size_t length = std::strlen(text);
  if (length >= kMaxPadded) return nullptr;
  const size_t padded_length = length / kBlock * kBlock + kBlock;
  const uint8_t pad = static_cast<uint8_t>(padded_length - length);

  uint8_t* block = static_cast<uint8_t*>(std::malloc(padded_length));
  if (block == nullptr) return nullptr;
  std::memcpy(block, text, length);
  std::memset(block + length, pad, pad);
  {
    CallEngine engine;
    pelm::aes128::cbc_encrypt(engine.state, block, block, static_cast<uint32_t>(padded_length), key, iv);
  }
  char* hex = bbddbbdbb(block, padded_length);
  pelm::secure_wipe(block, padded_length);
  std::free(block);
  return hex;
}

void pelm::aes128::decrypt_text_in_place(const uint8_t* key, const uint8_t* iv, uint8_t* data,
                                         size_t length) {
  const size_t n = length / kBlock * kBlock;  // whole blocks only
  {
    CallEngine engine;
    pelm::aes128::cbc_decrypt(engine.state, data, data, static_cast<uint32_t>(n), key, iv);
  }
  unpad(data, n);
  std::memset(data + n, 0, length - n + 1);  // a part block's ciphertext, and the terminator
}

extern "C" char* ll11lll11l(const uint8_t* key, const uint8_t* iv, const char* hex) {
  if (key == nullptr || iv == nullptr || hex == nullptr) return nullptr;
  const size_t decoded_length = std::strlen(hex) / 2;
  if (decoded_length / kBlock * kBlock > kMaxPadded) return nullptr;
  uint8_t* decoded = bdddbddbb(hex);  // decoded_length bytes and a zero
  if (decoded == nullptr) return nullptr;
  pelm::aes128::decrypt_text_in_place(key, iv, decoded, decoded_length);
  return reinterpret_cast<char*>(decoded);
}
