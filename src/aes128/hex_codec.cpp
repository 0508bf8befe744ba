// Strict hex codec: lowercase out, either case in, nothing else accepted.
// Both directions go through small tables, so no branch depends on the
// characters: a decode collects a fault flag and checks it once at the end.
#include <cstdlib>
#include <cstring>

#include "pelm/hex.h"

namespace {

constexpr uint8_t kNotADigit = 0xff;

struct HexTables {
  char pairs[256][2];      // byte -> its two lowercase digits
  uint8_t nibble[256];     // character -> digit value, or kNotADigit
  constexpr HexTables() : pairs(), nibble() {
    constexpr char kDigits[] = "0123456789abcdef";
    for (int b = 0; b < 256; ++b) {
      pairs[b][0] = kDigits[b >> 4];
      pairs[b][1] = kDigits[b & 0x0f];
      nibble[b] = b >= '0' && b <= '9'   ? b - '0'
                  : b >= 'A' && b <= 'F' ? b - 'A' + 10
                  : b >= 'a' && b <= 'f' ? b - 'a' + 10
                                         : kNotADigit;
    }
  }
};

constexpr HexTables kHex;

}  // namespace

extern "C" char* bbddbbdbb(const uint8_t* bytes, uint64_t length) {
  if (bytes == nullptr || length == 0) return nullptr;
  if (length > (SIZE_MAX - 1) / 2) return nullptr;
  char* text = static_cast<char*>(std::malloc(2 * length + 1));
  if (text == nullptr) return nullptr;
  for (uint64_t i = 0; i < length; ++i) std::memcpy(text + 2 * i, kHex.pairs[bytes[i]], 2);
  text[2 * length] = '\0';
  return text;
}

extern "C" int bbbddbdbb(char ch, uint8_t* out) {
  if (out == nullptr) return 0;
  const uint8_t value = kHex.nibble[static_cast<unsigned char>(ch)];
  if (value == kNotADigit) return 0;
  *out = value;
  return 1;
}

extern "C" uint8_t* bdddbddbb(const char* text) {
  if (text == nullptr || text[0] == '\0') return nullptr;
  const size_t length = std::strlen(text);
  if (length % 2 != 0) return nullptr;
  uint8_t* bytes = static_cast<uint8_t*>(std::malloc(length / 2 + 1));
  if (bytes == nullptr) return nullptr;
  const auto* chars = reinterpret_cast<const unsigned char*>(text);
  uint8_t fault = 0;  // any non-digit sets its high bits
  for (size_t i = 0; i < length / 2; ++i) {
    const uint8_t high = kHex.nibble[chars[2 * i]], low = kHex.nibble[chars[2 * i + 1]];
    fault |= high | low;
    bytes[i] = static_cast<uint8_t>(high << 4 | (low & 0x0f));
  }
  if (fault & 0xf0) {
    std::free(bytes);
    return nullptr;
  }
  bytes[length / 2] = '\0';
  return bytes;
}
