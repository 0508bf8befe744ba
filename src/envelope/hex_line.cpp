// Lenient hex decoding for the envelope's key and IV texts: every byte has a
// value, non-digits count as -1, and only an odd length is refused. The key
// text is a secret, so a character's value is computed with masks: no
// branch and no table index depends on it.
#include "envelope_internal.h"
#include "pelm/envelope.h"

namespace {

// All ones when lo <= c <= hi, else zero. Both differences are non-negative
// exactly when c is in range, so the sign of their OR says it.
inline int in_range(int c, int lo, int hi) {
  return ~((c - lo) | (hi - c)) >> (sizeof(int) * 8 - 1);
}

}  // namespace

int myHexValue(char ch) {
  const int c = static_cast<unsigned char>(ch);
  const int decimal = in_range(c, '0', '9');
  const int upper = in_range(c, 'A', 'F');
  const int lower = in_range(c, 'a', 'f');
  return (decimal & (c - '0')) | (upper & (c - 'A' + 10)) | (lower & (c - 'a' + 10)) |
         ~(decimal | upper | lower);  // -1 for every other byte
}

namespace pelm::envelope {

void hex_line_into(const char* text, size_t byte_count, uint8_t* out) {
  for (size_t i = 0; i < byte_count; ++i) {
    const int high = myHexValue(text[2 * i]);
    const int low = myHexValue(text[2 * i + 1]);
    // Two's-complement wrap: a -1 nibble gives the fixed bytes 0xEF, 0xFF...
    out[i] = static_cast<uint8_t>(static_cast<unsigned>(16 * high + low) & 0xFF);
  }
}

}  // namespace pelm::envelope
