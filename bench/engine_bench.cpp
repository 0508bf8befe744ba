// The AES-128 engine and the text cipher beside OpenSSL: its low-level
// software AES (AES_encrypt and friends, table-based, no AES instructions)
// and EVP (AES instructions where the CPU has them).
#define OPENSSL_SUPPRESS_DEPRECATED
#include <openssl/aes.h>
#include <openssl/evp.h>
#include <openssl/modes.h>

#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "aes128/engine.h"
#include "app_text.h"
#include "pelm/aes128.h"
#include "pelm/text_cipher.h"
#include "rows.h"

namespace pelm::bench {

namespace {

constexpr size_t kKeys = 64;
constexpr size_t kModeBytes = 64 << 10;

struct KeysAndBlocks {
  std::vector<std::string> keys, blocks;
  KeysAndBlocks() {
    std::mt19937_64 rng(16);
    for (size_t i = 0; i < kKeys; ++i) {
      std::string k(16, '\0'), b(16, '\0');
      for (auto& c : k) c = static_cast<char>(rng());
      for (auto& c : b) c = static_cast<char>(rng());
      keys.push_back(k);
      blocks.push_back(b);
    }
  }
  const uint8_t* key(size_t i) const { return u8(keys[i % kKeys]); }
  static const uint8_t* u8(const std::string& s) {
    return reinterpret_cast<const uint8_t*>(s.data());
  }
};

const uint8_t kIv[16] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};

void evp_run(const EVP_CIPHER* cipher, bool encrypt, const uint8_t* key, const uint8_t* in,
             uint8_t* out, size_t length) {
  static thread_local EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
  int n = 0;
  EVP_CipherInit_ex(ctx, cipher, nullptr, key, kIv, encrypt);
  EVP_CIPHER_CTX_set_padding(ctx, 0);
  EVP_CipherUpdate(ctx, out, &n, in, static_cast<int>(length));
}

// A library row on each path: "library" takes the CPU's AES instructions
// where present (and the build has them), "library_software" the software
// path the dispatch takes without them (constant-time where the CPU allows).
template <typename Body>
void library_rows(const std::string& group, size_t bytes, Body body,
                  const std::string& name = "library") {
  row(group, name, bytes, [body](size_t i) mutable {
    pelm::aes128::force_compact_engine(false);
    body(i);
  });
  row(group, name + "_software", bytes, [body](size_t i) mutable {
    pelm::aes128::force_compact_engine(true);
    body(i);
  });
}

void block_rows() {
  static const KeysAndBlocks data;
  static uint8_t block[16];
  library_rows("block_encrypt_with_key", 16, [](size_t i) {
    qqppqp(KeysAndBlocks::u8(data.blocks[i % kKeys]), data.key(i), block, 16);
    benchmark::DoNotOptimize(block);
  });
  row("block_encrypt_with_key", "openssl_software", 16, [](size_t i) {
    AES_KEY schedule;
    AES_set_encrypt_key(data.key(i), 128, &schedule);
    AES_encrypt(KeysAndBlocks::u8(data.blocks[i % kKeys]), block, &schedule);
    benchmark::DoNotOptimize(block);
  });
  library_rows("block_decrypt_with_key", 16, [](size_t i) {
    qqppqq(KeysAndBlocks::u8(data.blocks[i % kKeys]), data.key(i), block, 16);
    benchmark::DoNotOptimize(block);
  });
  row("block_decrypt_with_key", "openssl_software", 16, [](size_t i) {
    AES_KEY schedule;
    AES_set_decrypt_key(data.key(i), 128, &schedule);
    AES_decrypt(KeysAndBlocks::u8(data.blocks[i % kKeys]), block, &schedule);
    benchmark::DoNotOptimize(block);
  });
}

// 64 KiB of app text in a few distinct buffers, and room for the output.
struct ModeBuffers {
  std::vector<std::string> inputs = app_texts(kModeBytes, 8);
  std::string out = std::string(kModeBytes + 16, '\0');
  const uint8_t* in(size_t i) const {
    return reinterpret_cast<const uint8_t*>(inputs[i % inputs.size()].data());
  }
  uint8_t* o() { return reinterpret_cast<uint8_t*>(&out[0]); }
};

void mode_rows() {
  static const KeysAndBlocks keys;
  static ModeBuffers b;
  const std::string size = "_" + size_name(kModeBytes);
  const uint32_t n = kModeBytes;
  library_rows("cbc_encrypt" + size, n,
      [](size_t i) { qpppqp(b.o(), b.in(i), n, keys.key(i), kIv); });
  row("cbc_encrypt" + size, "openssl_software", n, [](size_t i) {
    AES_KEY schedule;
    uint8_t iv[16] = {0};
    AES_set_encrypt_key(keys.key(i), 128, &schedule);
    AES_cbc_encrypt(b.in(i), b.o(), n, &schedule, iv, AES_ENCRYPT);
  });
  row("cbc_encrypt" + size, "evp", n,
      [](size_t i) { evp_run(EVP_aes_128_cbc(), true, keys.key(i), b.in(i), b.o(), n); });

  library_rows("cbc_decrypt" + size, n,
      [](size_t i) { qqqpqp(b.o(), b.in(i), n, keys.key(i), kIv); });
  row("cbc_decrypt" + size, "openssl_software", n, [](size_t i) {
    AES_KEY schedule;
    uint8_t iv[16] = {0};
    AES_set_decrypt_key(keys.key(i), 128, &schedule);
    AES_cbc_encrypt(b.in(i), b.o(), n, &schedule, iv, AES_DECRYPT);
  });
  row("cbc_decrypt" + size, "evp", n,
      [](size_t i) { evp_run(EVP_aes_128_cbc(), false, keys.key(i), b.in(i), b.o(), n); });

  library_rows("ctr" + size, n, [](size_t i) { qppqqp(b.o(), b.in(i), n, keys.key(i), kIv); });
  row("ctr" + size, "openssl_software", n, [](size_t i) {
    AES_KEY schedule;
    uint8_t counter[16], stream[16];
    unsigned int used = 0;
    std::copy(kIv, kIv + 16, counter);
    AES_set_encrypt_key(keys.key(i), 128, &schedule);
    CRYPTO_ctr128_encrypt(b.in(i), b.o(), n, &schedule, counter, stream, &used,
                          reinterpret_cast<block128_f>(AES_encrypt));
  });
  row("ctr" + size, "evp", n,
      [](size_t i) { evp_run(EVP_aes_128_ctr(), true, keys.key(i), b.in(i), b.o(), n); });
}

void text_cipher_rows() {
  static const KeysAndBlocks keys;
  static const std::vector<std::string> texts = app_texts(kModeBytes, 8);
  static std::vector<std::string> hexes;
  for (size_t i = 0; i < texts.size(); ++i) {
    char* hex = ll11l1l1ll(keys.key(i), kIv, texts[i].c_str());
    hexes.emplace_back(hex);
    std::free(hex);
  }
  static std::string padded(kModeBytes + 16, '\x10'), out(kModeBytes + 16, '\0');
  const uint32_t n = kModeBytes + 16;
  auto* p = reinterpret_cast<uint8_t*>(&padded[0]);
  auto* o = reinterpret_cast<uint8_t*>(&out[0]);
  const std::string group = "_" + size_name(kModeBytes);
  library_rows("text_encrypt" + group, kModeBytes, [](size_t i) {
    char* hex = ll11l1l1ll(keys.key(i % texts.size()), kIv, texts[i % texts.size()].c_str());
    benchmark::DoNotOptimize(hex);
    std::free(hex);
  });
  library_rows("text_encrypt" + group, kModeBytes,
               [p, n](size_t i) { qpppqp(p, p, n, keys.key(i), kIv); }, "bare_cbc");
  library_rows("text_decrypt" + group, kModeBytes, [](size_t i) {
    char* text = ll11lll11l(keys.key(i % hexes.size()), kIv, hexes[i % hexes.size()].c_str());
    benchmark::DoNotOptimize(text);
    std::free(text);
  });
  library_rows("text_decrypt" + group, kModeBytes,
               [p, o, n](size_t i) { qqqpqp(o, p, n, keys.key(i), kIv); }, "bare_cbc");

  // 1, 2 and 4 threads at once, beside OpenSSL's CBC of the same bytes on
  // as many threads (each with buffers of its own).
  for (const int threads : {1, 2, 4}) {
    threaded_row("text_encrypt" + group, "library", kModeBytes, threads, [](size_t i) {
      char* hex = ll11l1l1ll(keys.key(i % texts.size()), kIv, texts[i % texts.size()].c_str());
      benchmark::DoNotOptimize(hex);
      std::free(hex);
    });
    threaded_row("text_encrypt" + group, "evp", kModeBytes, threads, [](size_t i) {
      thread_local std::string in(kModeBytes + 16, '\x10'), out(kModeBytes + 16, '\0');
      evp_run(EVP_aes_128_cbc(), true, keys.key(i), reinterpret_cast<const uint8_t*>(in.data()),
              reinterpret_cast<uint8_t*>(&out[0]), in.size());
    });
    threaded_row("text_decrypt" + group, "library", kModeBytes, threads, [](size_t i) {
      char* text = ll11lll11l(keys.key(i % hexes.size()), kIv, hexes[i % hexes.size()].c_str());
      benchmark::DoNotOptimize(text);
      std::free(text);
    });
    threaded_row("text_decrypt" + group, "evp", kModeBytes, threads, [](size_t i) {
      thread_local std::string in(kModeBytes + 16, '\x10'), out(kModeBytes + 16, '\0');
      evp_run(EVP_aes_128_cbc(), false, keys.key(i), reinterpret_cast<const uint8_t*>(in.data()),
              reinterpret_cast<uint8_t*>(&out[0]), in.size());
    });
  }
}

}  // namespace

void register_engine_rows() {
  block_rows();
  mode_rows();
  text_cipher_rows();
}

}  // namespace pelm::bench
