// ll11l1l1ll then ll11lll11l gives any NUL-free text back, with key and IV
// taken from the input; the hex is 32 lowercase digits per padded block.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "fuzz_support.h"
#include "pelm/text_cipher.h"

using namespace pelm::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  std::string key = in.ConsumeBytesAsString(16), iv = in.ConsumeBytesAsString(16);
  key.resize(16, 'k');
  iv.resize(16, 'v');
  std::string text = in.ConsumeRemainingBytesAsString();
  text.resize(strnlen(text.c_str(), text.size()));
  const auto* k = reinterpret_cast<const uint8_t*>(key.data());
  const auto* v = reinterpret_cast<const uint8_t*>(iv.data());

  char* hex = ll11l1l1ll(k, v, text.c_str());
  check(hex != nullptr, "encryption gave null");
  check(std::strlen(hex) == 32 * (text.size() / 16 + 1), "wrong hex length");
  check(std::strspn(hex, "0123456789abcdef") == std::strlen(hex), "not lowercase hex");
  char* back = ll11lll11l(k, v, hex);
  check(back != nullptr && text == back, "round trip differs");
  std::free(hex);
  std::free(back);
  return 0;
}
