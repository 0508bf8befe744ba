// Base64 decoding for opening envelopes, with the rules envelopes have
// always been opened by (OpenSSL's EVP_DecodeBlock): four characters give
// three bytes, "=" counts as a zero digit wherever it stands (the caller
// takes the padding off by count), anything outside the alphabet fails.
// Written here rather than taken from libcrypto because BoringSSL's decoder
// refuses some of these texts: the library opens the same texts with either.
#include <cstdint>

#include "envelope_internal.h"

namespace pelm::envelope {

namespace {

constexpr uint8_t kNotBase64 = 0x80;

struct DigitTable {
  uint8_t value[256];
  constexpr DigitTable() : value() {
    for (int c = 0; c < 256; ++c) {
      value[c] = c >= 'A' && c <= 'Z'   ? c - 'A'
                 : c >= 'a' && c <= 'z' ? c - 'a' + 26
                 : c >= '0' && c <= '9' ? c - '0' + 52
                 : c == '+'             ? 62
                 : c == '/'             ? 63
                 : c == '='             ? 0
                                        : kNotBase64;
    }
  }
};

constexpr DigitTable kDigits;

}  // namespace

long base64_decode(const char* text, size_t length, uint8_t* out) {
  if (length % 4 != 0 || length > kMaxEnvelopeText) return -1;
  const auto* in = reinterpret_cast<const uint8_t*>(text);
  uint8_t fault = 0;
  for (size_t i = 0; i < length; i += 4, out += 3) {
    const uint8_t a = kDigits.value[in[i]], b = kDigits.value[in[i + 1]],
                  c = kDigits.value[in[i + 2]], d = kDigits.value[in[i + 3]];
    fault |= a | b | c | d;
    const uint32_t group = uint32_t{a} << 18 | uint32_t{b} << 12 | uint32_t{c} << 6 | d;
    out[0] = static_cast<uint8_t>(group >> 16);
    out[1] = static_cast<uint8_t>(group >> 8);
    out[2] = static_cast<uint8_t>(group);
  }
  if (fault & kNotBase64) return -1;
  return static_cast<long>(length / 4 * 3);
}

}  // namespace pelm::envelope
