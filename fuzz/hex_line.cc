// myHexLine and myHexValue on arbitrary bytes: half the length (or nothing
// for odd lengths), each byte the two's-complement 16 * H + L.
#include <string>

#include "fuzz_support.h"
#include "pelm/envelope.h"

using namespace pelm::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const std::string bytes = myHexLine(text);
  check(bytes.size() == (size % 2 ? 0 : size / 2), "wrong decoded length");
  for (size_t i = 0; i < bytes.size(); ++i) {
    const int high = myHexValue(text[2 * i]), low = myHexValue(text[2 * i + 1]);
    check(high >= -1 && high <= 15 && low >= -1 && low <= 15, "digit value out of range");
    check(static_cast<uint8_t>(bytes[i]) == static_cast<uint8_t>(16 * high + low),
          "decoded byte differs");
  }
  return 0;
}
