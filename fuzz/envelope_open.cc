// myDecrypt on arbitrary input: arbitrary texts with a valid key and IV, with
// arbitrary key and IV texts, and arbitrary payloads wrapped as an envelope so
// the trailer, capacity and inflate paths are reached.
#include <fuzzer/FuzzedDataProvider.h>
#include <openssl/evp.h>

#include <string>

#include "fuzz_support.h"
#include "pelm/envelope.h"

using namespace pelm::fuzz;

namespace {

const std::string kKeyText = "000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f";
const std::string kIvText = "f0f1f2f3f4f5f6f7f8f9fafbfcfdfeff";

// Encrypts the first n - 4 bytes as the envelope does and Base64s it all.
std::string wrap_payload(std::string payload) {
  const std::string key = myHexLine(kKeyText), iv = myHexLine(kIvText);
  const int cipher_length = payload.size() >= 4 ? static_cast<int>(payload.size() - 4) : 0;
  EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
  int len = 0;
  EVP_EncryptInit_ex(ctx, EVP_aes_256_cfb128(), nullptr,
                     reinterpret_cast<const unsigned char*>(key.data()),
                     reinterpret_cast<const unsigned char*>(iv.data()));
  EVP_EncryptUpdate(ctx, reinterpret_cast<unsigned char*>(&payload[0]), &len,
                    reinterpret_cast<const unsigned char*>(payload.data()), cipher_length);
  EVP_CIPHER_CTX_free(ctx);
  std::string text(4 * ((payload.size() + 2) / 3) + 1, '\0');
  text.resize(EVP_EncodeBlock(reinterpret_cast<unsigned char*>(&text[0]),
                              reinterpret_cast<const unsigned char*>(payload.data()),
                              static_cast<int>(payload.size())));
  return text;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  silence_log();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  std::string key = kKeyText, iv = kIvText, text;
  switch (in.ConsumeIntegralInRange(0, 2)) {
    case 0:
      text = in.ConsumeRemainingBytesAsString();
      break;
    case 1:
      key = in.ConsumeRandomLengthString(80);
      iv = in.ConsumeRandomLengthString(48);
      text = in.ConsumeRemainingBytesAsString();
      break;
    default:
      text = wrap_payload(in.ConsumeRemainingBytesAsString());
      break;
  }
  std::string out = "sentinel";
  const bool ok = myDecrypt(key, iv, text, out);
  check(ok || out == "sentinel", "a failed open changed the output");
  return 0;
}
