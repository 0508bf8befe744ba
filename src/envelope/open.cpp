// Opening: Base64, the length trailer, AES-256-CFB128, then zlib.
#include <cstring>
#include <utility>

#include "envelope_internal.h"
#include "memory/wiped_text.h"
#include "threads/cancellation.h"
#include "pelm/envelope.h"

using namespace pelm::envelope;
using pelm::WipedText;

namespace {

// The inflate buffer for `cipher_length` stream bytes whose trailer says
// `trailer`: 1 KiB, or one more than the stream when that is larger, raised
// to the trailer plus one. Above kMaxCapacity the envelope is refused.
uint64_t plaintext_capacity(uint64_t cipher_length, uint32_t trailer) {
  const uint64_t start =
      cipher_length <= kMinCapacity ? kMinCapacity : cipher_length + 1;
  return start < trailer ? uint64_t{trailer} + 1 : start;
}

uint32_t get_be32(const uint8_t* in) {
  return uint32_t{in[0]} << 24 | uint32_t{in[1]} << 16 | uint32_t{in[2]} << 8 |
         uint32_t{in[3]};
}

// The part of an envelope text the Base64 decoder reads, as OpenSSL's
// EVP_DecodeBlock takes it: spaces and tabs are set aside at the start, and
// any run of those, line breaks and "-" (the first character of a PEM-style
// end line) at the end, as envelopes pick them up in transit. The padding
// is counted on this same part, so an envelope with a trailing line break
// opens exactly as the bare one does. Anything else around the text is left
// for the decoder to refuse.
struct Trimmed {
  const char* text;
  size_t length;
};

bool is_blank(char c) { return c == ' ' || c == '\t'; }
bool is_trailing_noise(char c) { return is_blank(c) || c == '\r' || c == '\n' || c == '-'; }

Trimmed trim_envelope(TextSpan envelope) {
  size_t begin = 0, end = envelope.length;
  while (begin < end && is_blank(envelope.data[begin])) ++begin;
  while (end > begin && is_trailing_noise(envelope.data[end - 1])) --end;
  return {envelope.data + begin, end - begin};
}

// Counts the "=" ending the trimmed text.
long trailing_padding(const Trimmed& text) {
  long count = 0;
  for (size_t i = text.length; i > 0 && text.text[i - 1] == '='; --i) ++count;
  return count;
}

}  // namespace

namespace pelm::envelope {

bool open_envelope(TextSpan key_text, TextSpan iv_text, TextSpan envelope, WipedText& out) {
  const pelm::CancellationHeldOff not_here;  // err_log writes: a cancellation point
  KeyMaterial material;
  if (!decode_key_material(key_text, iv_text, material)) return false;

  if (envelope.length > kMaxEnvelopeText) {
    err_log("%s", kBase64Error);
    return false;
  }
  const Trimmed text = trim_envelope(envelope);
  WipedText decoded;
  if (!decoded.allocate(text.length)) return false;
  const long decoded_length = base64_decode(text.text, text.length, decoded.bytes());
  if (decoded_length <= 0) {
    err_log("%s", kBase64Error);
    return false;
  }
  // The decoder counts padding characters as zero bytes; take them off.
  const long payload_length = decoded_length - trailing_padding(text);
  if (payload_length <= static_cast<long>(kTrailerLength)) return false;

  const size_t cipher_length = static_cast<size_t>(payload_length) - kTrailerLength;
  const uint32_t trailer = get_be32(decoded.bytes() + cipher_length);

  const uint64_t capacity = plaintext_capacity(cipher_length, trailer);
  if (capacity > kMaxCapacity) {
    err_log("%s", kGzipError);
    return false;
  }
  if (!cfb256_crypt(material, decoded.bytes(), decoded.bytes(), cipher_length, false)) return false;

  WipedText result;  // wiped when it goes, unless it becomes the result
  if (!result.allocate(static_cast<size_t>(capacity))) return false;
  size_t produced = 0;
  const Inflated inflated =
      inflate_whole(decoded.bytes(), cipher_length, result.bytes(), result.length(), produced);
  // zlib wrote `produced` bytes; the zeros below are no secret.
  result.mark_written(produced);
  switch (inflated) {
    case Inflated::kDone:
      break;
    case Inflated::kOutOfMemory:
      return false;  // not the envelope's fault: no record blames it
    case Inflated::kFailed:
      err_log(kCodedErrorFormat, kCodedErrorName, kCodedErrorCode);
      return false;
  }
  // The trailer, not zlib, decides the length: a trailer beyond what zlib
  // produced gets zeros, never uninitialised memory, and what zlib
  // produced past it is wiped with the rest of the room.
  if (produced < trailer) std::memset(result.data() + produced, 0, trailer - produced);
  result.truncate(trailer);
  out = std::move(result);
  return true;
}

}  // namespace pelm::envelope
