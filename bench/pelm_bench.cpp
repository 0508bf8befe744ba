// Throughput of the library's hot paths, with OpenSSL's EVP beside the
// compact AES-128 engine for scale (EVP uses AES-NI where the CPU has it).
#include <benchmark/benchmark.h>
#include <openssl/evp.h>

#include <cstdlib>
#include <string>

#include "pelm/aes128.h"
#include "pelm/envelope.h"
#include "pelm/text_cipher.h"

namespace {

const uint8_t kKey[16] = {0x2b, 0x7e, 0x15, 0x16, 0x28, 0xae, 0xd2, 0xa6,
                          0xab, 0xf7, 0x15, 0x88, 0x09, 0xcf, 0x4f, 0x3c};
const uint8_t kIv[16] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};

void EngineEcbBlock(benchmark::State& state) {
  uint8_t block[16] = {0};
  for (auto _ : state) {
    qqppqp(block, kKey, block, 16);
    benchmark::DoNotOptimize(block);
  }
  state.SetBytesProcessed(state.iterations() * 16);
}
BENCHMARK(EngineEcbBlock);

void EngineCbcEncrypt(benchmark::State& state) {
  std::string buffer(state.range(0), 'x');
  auto* data = reinterpret_cast<uint8_t*>(&buffer[0]);
  for (auto _ : state) {
    qpppqp(data, data, static_cast<uint32_t>(buffer.size()), kKey, kIv);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * buffer.size());
}
BENCHMARK(EngineCbcEncrypt)->Arg(1 << 10)->Arg(64 << 10);

void EngineCbcDecrypt(benchmark::State& state) {
  std::string in(state.range(0), 'x'), out(state.range(0), '\0');
  for (auto _ : state) {
    qqqpqp(reinterpret_cast<uint8_t*>(&out[0]), reinterpret_cast<const uint8_t*>(in.data()),
           static_cast<uint32_t>(in.size()), kKey, kIv);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * in.size());
}
BENCHMARK(EngineCbcDecrypt)->Arg(64 << 10);

void EngineCtr(benchmark::State& state) {
  std::string buffer(state.range(0), 'x');
  auto* data = reinterpret_cast<uint8_t*>(&buffer[0]);
  for (auto _ : state) {
    qppqqp(data, data, static_cast<uint32_t>(buffer.size()), kKey, kIv);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * buffer.size());
}
BENCHMARK(EngineCtr)->Arg(64 << 10);

void OpenSslCbcEncrypt(benchmark::State& state) {
  std::string buffer(state.range(0), 'x');
  auto* data = reinterpret_cast<unsigned char*>(&buffer[0]);
  EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
  for (auto _ : state) {
    int n = 0;
    EVP_EncryptInit_ex(ctx, EVP_aes_128_cbc(), nullptr, kKey, kIv);
    EVP_CIPHER_CTX_set_padding(ctx, 0);
    EVP_EncryptUpdate(ctx, data, &n, data, static_cast<int>(buffer.size()));
    benchmark::ClobberMemory();
  }
  EVP_CIPHER_CTX_free(ctx);
  state.SetBytesProcessed(state.iterations() * buffer.size());
}
BENCHMARK(OpenSslCbcEncrypt)->Arg(64 << 10);

void TextCipherRoundTrip(benchmark::State& state) {
  const std::string text(state.range(0), 't');
  for (auto _ : state) {
    char* hex = ll11l1l1ll(kKey, kIv, text.c_str());
    char* back = ll11lll11l(kKey, kIv, hex);
    benchmark::DoNotOptimize(back);
    std::free(hex);
    std::free(back);
  }
  state.SetBytesProcessed(state.iterations() * text.size());
}
BENCHMARK(TextCipherRoundTrip)->Arg(100)->Arg(16 << 10);

const std::string kKeyText = "603deb1015ca71be2b73aef0857d77811f352c073b6108d72d9810a30914dff4";
const std::string kIvText = "000102030405060708090a0b0c0d0e0f";

std::string sample_text(size_t size) {
  std::string text;
  while (text.size() < size) text += "The quick brown fox jumps over the lazy dog. ";
  text.resize(size);
  return text;
}

void EnvelopeSeal(benchmark::State& state) {
  const std::string text = sample_text(state.range(0));
  std::string out;
  for (auto _ : state) {
    myEncrypt(kKeyText, kIvText, text, out);
    benchmark::DoNotOptimize(out);
  }
  state.SetBytesProcessed(state.iterations() * text.size());
}
BENCHMARK(EnvelopeSeal)->Arg(100)->Arg(64 << 10);

void EnvelopeOpen(benchmark::State& state) {
  const std::string text = sample_text(state.range(0));
  std::string envelope, out;
  myEncrypt(kKeyText, kIvText, text, envelope);
  for (auto _ : state) {
    myDecrypt(kKeyText, kIvText, envelope, out);
    benchmark::DoNotOptimize(out);
  }
  state.SetBytesProcessed(state.iterations() * text.size());
}
BENCHMARK(EnvelopeOpen)->Arg(100)->Arg(64 << 10);

}  // namespace
