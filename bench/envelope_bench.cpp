// Sealing and opening beside their stages alone: zlib level 9 (one
// long-lived stream reset per call, which gives compress2's bytes, and
// compress2 itself) for sealing; EVP_DecodeBlock, AES_cfb128_encrypt and
// uncompress into ready buffers for opening.
#define OPENSSL_SUPPRESS_DEPRECATED
#include <openssl/aes.h>
#include <openssl/evp.h>
#include <zlib.h>

#include <string>
#include <vector>

#include "aes256/aes256.h"
#include "app_text.h"
#include "pelm/envelope.h"
#include "rows.h"

namespace pelm::bench {

namespace {

const std::string kKeyText = "603deb1015ca71be2b73aef0857d77811f352c073b6108d72d9810a30914dff4";
const std::string kIvText = "000102030405060708090a0b0c0d0e0f";
const size_t kSizes[] = {200, 4 << 10, 64 << 10, 1 << 20};

struct SizeData {
  std::vector<std::string> texts, envelopes;
  std::string out, scratch_a, scratch_b, scratch_c;
  explicit SizeData(size_t size) : texts(app_texts(size, distinct_inputs(size))) {
    for (const auto& t : texts) {
      std::string e;
      myEncrypt(kKeyText, kIvText, t, e);
      envelopes.push_back(e);
    }
    scratch_a.resize(compressBound(size) + 64);
    scratch_b.resize(compressBound(size) + 64);
    scratch_c.resize(size + 1024);
  }
  static Bytef* at(std::string& s) { return reinterpret_cast<Bytef*>(&s[0]); }
};

// zlib level 9 on one stream that lives across calls.
struct LongLivedDeflate {
  z_stream stream{};
  LongLivedDeflate() { deflateInit(&stream, 9); }
  size_t run(const std::string& in, std::string& out) {
    deflateReset(&stream);
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data()));
    stream.avail_in = static_cast<uInt>(in.size());
    stream.next_out = SizeData::at(out);
    stream.avail_out = static_cast<uInt>(out.size());
    deflate(&stream, Z_FINISH);
    return stream.total_out;
  }
};

void seal_rows(SizeData& d, size_t size) {
  const std::string group = "seal_" + size_name(size);
  row(group, "library", size, [&d](size_t i) {
    myEncrypt(kKeyText, kIvText, d.texts[i % d.texts.size()], d.out);
    benchmark::DoNotOptimize(d.out);
  });
  row(group, "zlib9_stream", size, [&d](size_t i) {
    static LongLivedDeflate deflater;
    benchmark::DoNotOptimize(deflater.run(d.texts[i % d.texts.size()], d.scratch_a));
  });
  row(group, "compress2", size, [&d](size_t i) {
    const std::string& t = d.texts[i % d.texts.size()];
    uLongf n = d.scratch_a.size();
    compress2(SizeData::at(d.scratch_a), &n, reinterpret_cast<const Bytef*>(t.data()), t.size(), 9);
    benchmark::DoNotOptimize(n);
  });
}

void open_rows(SizeData& d, size_t size) {
  const std::string group = "open_" + size_name(size);
  row(group, "library", size, [&d](size_t i) {
    myDecrypt(kKeyText, kIvText, d.envelopes[i % d.envelopes.size()], d.out);
    benchmark::DoNotOptimize(d.out);
  });
  static const std::string key = std::string(
      "\x60\x3d\xeb\x10\x15\xca\x71\xbe\x2b\x73\xae\xf0\x85\x7d\x77\x81"
      "\x1f\x35\x2c\x07\x3b\x61\x08\xd7\x2d\x98\x10\xa3\x09\x14\xdf\xf4", 32);
  row(group, "stages", size, [&d](size_t i) {
    const std::string& e = d.envelopes[i % d.envelopes.size()];
    const int decoded = EVP_DecodeBlock(SizeData::at(d.scratch_a),
                                        reinterpret_cast<const unsigned char*>(e.data()),
                                        static_cast<int>(e.size()));
    const size_t padding = e.size() - e.find_last_not_of('=') - 1;
    const size_t n = decoded - padding - 4;
    AES_KEY schedule;
    unsigned char iv[16] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};
    int position = 0;
    AES_set_encrypt_key(reinterpret_cast<const unsigned char*>(key.data()), 256, &schedule);
    AES_cfb128_encrypt(SizeData::at(d.scratch_a), SizeData::at(d.scratch_b), n, &schedule, iv,
                       &position, AES_DECRYPT);
    uLongf plain = d.scratch_c.size();
    uncompress(SizeData::at(d.scratch_c), &plain, SizeData::at(d.scratch_b), n);
    benchmark::DoNotOptimize(plain);
  });
}

// The envelope's AES-256-CFB128 alone beside EVP's, one key set-up per
// call on both sides.
void cfb_rows(size_t size) {
  static const std::string key(32, '\x2b'), iv(16, '\x01');
  auto* in = new std::string(size, 'p');
  auto* out = new std::string(size, '\0');
  for (const bool encrypt : {true, false}) {
    const std::string group = std::string(encrypt ? "cfb256_encrypt_" : "cfb256_decrypt_") + size_name(size);
    row(group, "library", size, [=](size_t) {
      pelm::aes256::cfb128(reinterpret_cast<const uint8_t*>(key.data()),
                           reinterpret_cast<const uint8_t*>(iv.data()),
                           reinterpret_cast<const uint8_t*>(in->data()), SizeData::at(*out), size,
                           encrypt);
      benchmark::DoNotOptimize(out->data());
    });
    row(group, "evp", size, [=](size_t) {
      static EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
      int n = 0;
      EVP_CipherInit_ex(ctx, EVP_aes_256_cfb128(), nullptr,
                        reinterpret_cast<const unsigned char*>(key.data()),
                        reinterpret_cast<const unsigned char*>(iv.data()), encrypt);
      EVP_CipherUpdate(ctx, SizeData::at(*out), &n,
                       reinterpret_cast<const unsigned char*>(in->data()), static_cast<int>(size));
      benchmark::DoNotOptimize(n);
    });
  }
}

}  // namespace

void register_envelope_rows() {
  cfb_rows(64 << 10);
  for (size_t size : kSizes) {
    auto* d = new SizeData(size);  // lives as long as the run
    seal_rows(*d, size);
    open_rows(*d, size);
  }
}

}  // namespace pelm::bench
