// The strict hex codec: decoding succeeds exactly for non-empty, even-length
// texts of hex digits and re-encodes to their lowercase form; encoding any
// bytes decodes back to them.
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <string>

#include "fuzz_support.h"
#include "pelm/hex.h"

using namespace pelm::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), strnlen(reinterpret_cast<const char*>(data), size));
  bool valid = !text.empty() && text.size() % 2 == 0;
  for (unsigned char c : text) valid = valid && std::isxdigit(c);

  uint8_t* decoded = bdddbddbb(text.c_str());
  check((decoded != nullptr) == valid, "decoder accepted or refused wrongly");
  if (decoded != nullptr) {
    check(decoded[text.size() / 2] == 0, "decoded bytes not NUL-terminated");
    char* again = bbddbbdbb(decoded, text.size() / 2);
    std::string lower = text;
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    check(again != nullptr && lower == again, "re-encoding differs");
    std::free(again);
    std::free(decoded);
  }

  char* encoded = bbddbbdbb(data, size);
  check((encoded == nullptr) == (size == 0), "encoder result");
  if (encoded != nullptr) {
    check(std::strlen(encoded) == 2 * size, "encoded length");
    uint8_t* back = bdddbddbb(encoded);
    check(back != nullptr && std::memcmp(back, data, size) == 0, "round trip differs");
    std::free(back);
    std::free(encoded);
  }
  return 0;
}
