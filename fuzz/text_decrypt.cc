// ll11lll11l on arbitrary texts: null exactly when the hex does not decode,
// otherwise a NUL-terminated text no longer than the whole decoded blocks.
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <string>

#include "fuzz_support.h"
#include "pelm/text_cipher.h"

using namespace pelm::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const uint8_t kKey[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
  static const uint8_t kIv[16] = {0};
  const std::string text(reinterpret_cast<const char*>(data), strnlen(reinterpret_cast<const char*>(data), size));
  bool valid = !text.empty() && text.size() % 2 == 0;
  for (unsigned char c : text) valid = valid && std::isxdigit(c);

  char* plain = ll11lll11l(kKey, kIv, text.c_str());
  check((plain != nullptr) == valid, "null result does not match decodability");
  if (plain != nullptr) {
    check(std::strlen(plain) <= text.size() / 2 / 16 * 16, "result longer than its blocks");
    std::free(plain);
  }
  return 0;
}
