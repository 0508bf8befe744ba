// The Java text byte form: any UTF-16 (lone surrogates and U+0000 included)
// encodes to bytes with no zero byte that decode back to the same units;
// any bytes decode without overrunning the room they are promised.
#include <cstring>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "jni/java_text.h"

using namespace pelm::fuzz;
using namespace pelm::jni;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<char16_t> units(size / 2);
  if (!units.empty()) std::memcpy(units.data(), data, units.size() * 2);

  std::string bytes(java_text_length(units.data(), units.size()), '\0');
  check(bytes.size() <= 3 * units.size(), "more than three bytes per unit");
  encode_java_text(units.data(), units.size(), &bytes[0]);
  check(bytes.find('\0') == std::string::npos, "a zero byte in the byte form");
  std::vector<char16_t> back(bytes.size());
  back.resize(decode_java_text(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(),
                               back.data()));
  check(back == units, "round trip differs");

  std::vector<char16_t> decoded(size);
  check(decode_java_text(data, size, decoded.data()) <= size, "decoded past its room");
  return 0;
}
