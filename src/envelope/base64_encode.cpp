// Standard Base64 (RFC 4648: A-Z a-z 0-9 + /, "=" padding, no line breaks)
// for the builtin provider, byte for byte what EVP_EncodeBlock writes. The
// payload it encodes is ciphertext and a length: public data.
#include "envelope_internal.h"

namespace pelm::envelope {

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

}  // namespace

void base64_encode(const uint8_t* data, size_t length, char* out) {
  size_t i = 0;
  for (; i + 3 <= length; i += 3, out += 4) {
    const uint32_t group = uint32_t{data[i]} << 16 | uint32_t{data[i + 1]} << 8 | data[i + 2];
    out[0] = kAlphabet[group >> 18];
    out[1] = kAlphabet[group >> 12 & 63];
    out[2] = kAlphabet[group >> 6 & 63];
    out[3] = kAlphabet[group & 63];
  }
  if (i < length) {  // one or two bytes left: two or one "=" after them
    const bool two = i + 1 < length;
    const uint32_t group = uint32_t{data[i]} << 16 | (two ? uint32_t{data[i + 1]} << 8 : 0);
    out[0] = kAlphabet[group >> 18];
    out[1] = kAlphabet[group >> 12 & 63];
    out[2] = two ? kAlphabet[group >> 6 & 63] : '=';
    out[3] = '=';
    out += 4;
  }
  *out = '\0';
}

}  // namespace pelm::envelope
