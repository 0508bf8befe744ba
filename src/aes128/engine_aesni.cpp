// The engine on x86-64's AES instructions (AES-NI), on the rounds both key
// sizes share. Only this file's functions are compiled for the
// instructions; the rest of the library loads on any x86-64 CPU.
#include "engine.h"

#include "aes_common/cpu_features.h"

#if (defined(__x86_64__) || defined(__i386__)) && (defined(__GNUC__) || defined(__clang__)) && \
    !defined(PELM_NO_AES_INSTRUCTIONS)

#include <cstring>

#include "aes_common/aesni_rounds.h"

namespace pelm::aes128 {

namespace {

using namespace pelm::aes::aesni;
using Keys = RoundKeys<kRounds>;

constexpr size_t kInFlight = 8;  // blocks per loop where the mode allows

PELM_AESNI void expand_key() {
  expand_key_128(g_engine.key, g_engine.round_keys);
  g_engine.decryption_keys_ready = false;
}

PELM_AESNI inline Keys encryption_keys() { return load_round_keys<kRounds>(g_engine.round_keys); }

// Made once per key, when first needed.
PELM_AESNI inline Keys decryption_keys() {
  if (!g_engine.decryption_keys_ready) {
    write_decryption_keys<kRounds>(g_engine.round_keys, g_engine.decryption_keys);
    g_engine.decryption_keys_ready = true;
  }
  return load_round_keys<kRounds>(g_engine.decryption_keys);
}

PELM_AESNI void encrypt_block(uint8_t* block) {
  g_engine.block = block;
  const Keys keys = encryption_keys();
  store(block, encrypt(load(block), keys));
}

PELM_AESNI void decrypt_block(uint8_t* block) {
  g_engine.block = block;
  const Keys keys = decryption_keys();
  store(block, decrypt(load(block), keys));
}

PELM_AESNI void cbc_encrypt(uint8_t* out, const uint8_t* in, size_t blocks) {
  const Keys keys = encryption_keys();
  __m128i chain = load(g_engine.chain);
  for (size_t k = 0; k < blocks; ++k) {
    chain = encrypt(_mm_xor_si128(load(in + kBlockSize * k), chain), keys);
    store(out + kBlockSize * k, chain);
  }
  store(g_engine.chain, chain);
}

PELM_AESNI void cbc_decrypt(uint8_t* out, const uint8_t* in, size_t blocks) {
  const Keys keys = decryption_keys();
  __m128i chain = load(g_engine.chain);
  size_t k = 0;
  for (; k + kInFlight <= blocks; k += kInFlight) {
    __m128i s[kInFlight], c[kInFlight];
    for (size_t j = 0; j < kInFlight; ++j) s[j] = c[j] = load(in + kBlockSize * (k + j));
    decrypt_many<kRounds, kInFlight>(s, keys);
    store(out + kBlockSize * k, _mm_xor_si128(s[0], chain));
    for (size_t j = 1; j < kInFlight; ++j) {
      store(out + kBlockSize * (k + j), _mm_xor_si128(s[j], c[j - 1]));
    }
    chain = c[kInFlight - 1];
  }
  for (; k < blocks; ++k) {
    const __m128i c = load(in + kBlockSize * k);
    store(out + kBlockSize * k, _mm_xor_si128(decrypt(c, keys), chain));
    chain = c;
  }
  store(g_engine.chain, chain);
}

uint64_t load_be64(const uint8_t* p) {
  uint64_t v;
  std::memcpy(&v, p, 8);
  return __builtin_bswap64(v);
}

// The big-endian 128-bit counter as two halves, and counter + j as a block.
struct Counter {
  uint64_t high, low;
};

PELM_AESNI inline __m128i counter_block(Counter c, uint64_t j) {
  const uint64_t low = c.low + j;
  const uint64_t high = c.high + (low < c.low ? 1 : 0);
  return _mm_set_epi64x(static_cast<long long>(__builtin_bswap64(low)),
                        static_cast<long long>(__builtin_bswap64(high)));
}

PELM_AESNI void ctr(uint8_t* out, const uint8_t* in, size_t blocks, uint8_t* counter) {
  const Keys keys = encryption_keys();
  Counter c{load_be64(counter), load_be64(counter + 8)};
  size_t k = 0;
  for (; k + kInFlight <= blocks; k += kInFlight) {
    __m128i s[kInFlight];
    for (size_t j = 0; j < kInFlight; ++j) s[j] = counter_block(c, k + j);
    encrypt_many<kRounds, kInFlight>(s, keys);
    for (size_t j = 0; j < kInFlight; ++j) {
      store(out + kBlockSize * (k + j), _mm_xor_si128(s[j], load(in + kBlockSize * (k + j))));
    }
  }
  for (; k < blocks; ++k) {
    const __m128i s = encrypt(counter_block(c, k), keys);
    store(out + kBlockSize * k, _mm_xor_si128(s, load(in + kBlockSize * k)));
  }
  store(counter, counter_block(c, blocks));
}

const EngineKernels kAesniKernels = {
    "AES-NI", expand_key, encrypt_block, decrypt_block, cbc_encrypt, cbc_decrypt, ctr,
};

}  // namespace

const EngineKernels* aesni_kernels() { return aes::cpu_has_aesni() ? &kAesniKernels : nullptr; }

}  // namespace pelm::aes128

#else

namespace pelm::aes128 {
const EngineKernels* aesni_kernels() { return nullptr; }
}  // namespace pelm::aes128

#endif
