#include "java_text.h"

#include <cstring>

namespace pelm::jni {

namespace {

constexpr char16_t kReplacement = 0xFFFD;

bool is_high_surrogate(char16_t u) { return u >= 0xD800 && u <= 0xDBFF; }
bool is_low_surrogate(char16_t u) { return u >= 0xDC00 && u <= 0xDFFF; }
bool is_continuation(uint8_t b) { return (b & 0xC0) == 0x80; }

bool is_ascii16(const uint8_t* bytes) {
  uint64_t a, b;
  std::memcpy(&a, bytes, 8);
  std::memcpy(&b, bytes + 8, 8);
  return ((a | b) & 0x8080808080808080u) == 0;
}

// The range the second byte of a sequence must lie in, by its lead byte.
// ED takes 80..BF (not 80..9F): a three-byte surrogate is one of the forms
// accepted, and the JDK also treats an ED A0..BF prefix as one unit when it
// replaces a truncated sequence.
struct SecondByte {
  uint8_t low, high;
};
SecondByte second_byte_range(uint8_t lead) {
  if (lead == 0xE0) return {0xA0, 0xBF};
  if (lead == 0xF0) return {0x90, 0xBF};
  if (lead == 0xF4) return {0x80, 0x8F};
  return {0x80, 0xBF};
}

// Bytes in a sequence started by `lead`; 0 for a byte that starts none.
size_t sequence_length(uint8_t lead) {
  if (lead < 0x80) return 1;
  if (lead >= 0xC2 && lead <= 0xDF) return 2;
  if (lead >= 0xE0 && lead <= 0xEF) return 3;
  if (lead >= 0xF0 && lead <= 0xF4) return 4;
  return 0;
}

}  // namespace

size_t java_text_length(const char16_t* units, size_t count) {
  size_t length = 0;
  for (size_t i = 0; i < count; ++i) {
    const char16_t u = units[i];
    if (u != 0 && u < 0x80) {
      length += 1;
    } else if (u < 0x800) {
      length += 2;  // U+0000 included, as C0 80
    } else if (is_high_surrogate(u) && i + 1 < count && is_low_surrogate(units[i + 1])) {
      length += 4;
      ++i;
    } else {
      length += 3;  // lone surrogates included
    }
  }
  return length;
}

void encode_java_text(const char16_t* units, size_t count, char* out) {
  auto put = [&out](uint32_t byte) { *out++ = static_cast<char>(byte); };
  for (size_t i = 0; i < count; ++i) {
    const char16_t u = units[i];
    if (u != 0 && u < 0x80) {
      put(u);
    } else if (u < 0x800) {
      put(0xC0 | u >> 6);
      put(0x80 | (u & 0x3F));
    } else if (is_high_surrogate(u) && i + 1 < count && is_low_surrogate(units[i + 1])) {
      const uint32_t c = 0x10000 + ((uint32_t{u} - 0xD800) << 10) + (units[++i] - 0xDC00);
      put(0xF0 | c >> 18);
      put(0x80 | ((c >> 12) & 0x3F));
      put(0x80 | ((c >> 6) & 0x3F));
      put(0x80 | (c & 0x3F));
    } else {
      put(0xE0 | u >> 12);
      put(0x80 | ((u >> 6) & 0x3F));
      put(0x80 | (u & 0x3F));
    }
  }
}

size_t decode_java_text(const uint8_t* bytes, size_t length, char16_t* out) {
  char16_t* const start = out;
  size_t i = 0;
  while (i < length) {
    // Runs of ASCII, the bulk of most results, widen 16 bytes at a time.
    while (length - i >= 16 && is_ascii16(bytes + i)) {
      for (size_t k = 0; k < 16; ++k) out[k] = bytes[i + k];
      out += 16;
      i += 16;
    }
    if (i == length) break;
    const uint8_t lead = bytes[i];
    if (lead < 0x80) {
      *out++ = lead;
      ++i;
      continue;
    }
    if (lead == 0xC0 && i + 1 < length && bytes[i + 1] == 0x80) {
      *out++ = 0;  // the runtimes' U+0000
      i += 2;
      continue;
    }
    const size_t need = sequence_length(lead);
    // The longest prefix of a well-formed sequence, as the JDK counts it:
    // one U+FFFD replaces a truncated sequence or a lone bad byte.
    size_t have = 1;
    if (need > 1 && i + 1 < length) {
      const SecondByte range = second_byte_range(lead);
      if (bytes[i + 1] >= range.low && bytes[i + 1] <= range.high) {
        have = 2;
        while (have < need && i + have < length && is_continuation(bytes[i + have])) ++have;
      }
    }
    if (need == 0 || have < need) {
      *out++ = kReplacement;
      i += have;
      continue;
    }
    if (need == 2) {
      *out++ = static_cast<char16_t>((lead & 0x1F) << 6 | (bytes[i + 1] & 0x3F));
    } else if (need == 3) {
      // Surrogates come through as their own units: a six-byte pair thus
      // rejoins into the supplementary character.
      *out++ = static_cast<char16_t>((lead & 0x0F) << 12 | (bytes[i + 1] & 0x3F) << 6 |
                                     (bytes[i + 2] & 0x3F));
    } else {
      const uint32_t c = (lead & 0x07u) << 18 | (bytes[i + 1] & 0x3Fu) << 12 |
                         (bytes[i + 2] & 0x3Fu) << 6 | (bytes[i + 3] & 0x3Fu);
      *out++ = static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
      *out++ = static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
    }
    i += need;
  }
  return static_cast<size_t>(out - start);
}

}  // namespace pelm::jni
