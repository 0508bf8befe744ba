// The engine's ECB, CBC and CTR, and the envelope's AES-256-CFB128, against
// OpenSSL EVP on fuzzer-chosen keys, IVs, lengths and split points, each
// call on a fuzzer-chosen path (compact or the CPU's AES instructions). CBC
// and CTR run in two calls: CBC carries its chain over a whole-block split,
// CTR restarts from the advanced counter. CFB runs in place or not.
#include <fuzzer/FuzzedDataProvider.h>
#include <openssl/evp.h>

#include <string>

#include "aes128/engine.h"
#include "aes256/aes256.h"
#include "fuzz_support.h"
#include "pelm/aes128.h"

using namespace pelm::fuzz;

namespace {

std::string evp(const EVP_CIPHER* cipher, const std::string& key, const std::string& iv,
                const std::string& in, bool encrypt) {
  std::string out(in.size() + 16, '\0');
  EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
  int n = 0;
  EVP_CipherInit_ex(ctx, cipher, nullptr, reinterpret_cast<const unsigned char*>(key.data()),
                    reinterpret_cast<const unsigned char*>(iv.data()), encrypt);
  EVP_CIPHER_CTX_set_padding(ctx, 0);
  EVP_CipherUpdate(ctx, reinterpret_cast<unsigned char*>(&out[0]), &n,
                   reinterpret_cast<const unsigned char*>(in.data()), static_cast<int>(in.size()));
  EVP_CIPHER_CTX_free(ctx);
  out.resize(n);
  return out;
}

const uint8_t* u8(const std::string& s) { return reinterpret_cast<const uint8_t*>(s.data()); }
uint8_t* w(std::string& s) { return reinterpret_cast<uint8_t*>(&s[0]); }

std::string advanced(std::string counter, size_t blocks) {
  for (size_t b = 0; b < blocks; ++b)
    for (size_t i = 16; i-- > 0;)
      if (++counter[i] != 0) break;
  return counter;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  std::string key = in.ConsumeBytesAsString(16), iv = in.ConsumeBytesAsString(16);
  key.resize(16, '\0');
  iv.resize(16, '\0');
  const uint8_t paths = in.ConsumeIntegral<uint8_t>();
  const int mode = in.ConsumeIntegralInRange(0, 4);
  const size_t split_blocks = in.ConsumeIntegralInRange<size_t>(0, 64);
  std::string msg = in.ConsumeRemainingBytesAsString();

  using pelm::aes128::force_compact_engine;
  force_compact_engine(paths & 1);
  if (mode == 0) {  // ECB, one block each way
    msg.resize(16, '\0');
    std::string ct(16, '\0'), pt(16, '\0');
    qqppqp(u8(msg), u8(key), w(ct), 16);
    force_compact_engine(paths & 2);
    qqppqq(u8(ct), u8(key), w(pt), 16);
    check(ct == evp(EVP_aes_128_ecb(), key, "", msg, true), "ECB encryption differs");
    check(pt == msg, "ECB decryption differs");
  } else if (mode == 1 || mode == 2) {  // CBC over whole blocks, split in two calls
    msg.resize(msg.size() / 16 * 16);
    const size_t split = std::min(split_blocks * 16, msg.size());
    const bool encrypt = mode == 1;
    std::string out(msg.size(), '\0');
    auto* op = encrypt ? qpppqp : qqqpqp;
    op(w(out), u8(msg), static_cast<uint32_t>(split), u8(key), u8(iv));
    force_compact_engine(paths & 2);
    op(w(out) + split, u8(msg) + split, static_cast<uint32_t>(msg.size() - split), nullptr, nullptr);
    check(out == evp(EVP_aes_128_cbc(), key, iv, msg, encrypt), "CBC differs");
  } else if (mode == 4) {  // AES-256-CFB128, either way, any length
    std::string key256 = key + iv;  // 32 key bytes from the same input
    const bool encrypt = paths & 4, in_place = paths & 8;
    std::string out = in_place ? msg : std::string(msg.size(), '\0');
    pelm::aes256::cfb128(u8(key256), u8(iv), in_place ? u8(out) : u8(msg), w(out), msg.size(),
                         encrypt);
    check(out == evp(EVP_aes_256_cfb128(), key256, iv, msg, encrypt), "CFB128-AES256 differs");
  } else {  // CTR, any length, split after whole blocks
    const size_t split = std::min(split_blocks * 16, msg.size());
    std::string out(msg.size(), '\0');
    qppqqp(w(out), u8(msg), static_cast<uint32_t>(split), u8(key), u8(iv));
    const std::string next = advanced(iv, split / 16);
    force_compact_engine(paths & 2);
    qppqqp(w(out) + split, u8(msg) + split, static_cast<uint32_t>(msg.size() - split), u8(key), u8(next));
    check(out == evp(EVP_aes_128_ctr(), key, iv, msg, true), "CTR differs");
  }
  return 0;
}
