// Sealing: zlib level 9, AES-256-CFB128, 4-byte big-endian length trailer
// in clear, then one Base64 text.
#include <utility>

#include "deflate_pool.h"
#include "envelope_internal.h"
#include "memory/wiped_text.h"
#include "threads/cancellation.h"
#include "pelm/envelope.h"

using namespace pelm::envelope;
using pelm::WipedText;

namespace {

void put_be32(uint8_t* out, uint32_t value) {
  out[0] = static_cast<uint8_t>(value >> 24);
  out[1] = static_cast<uint8_t>(value >> 16);
  out[2] = static_cast<uint8_t>(value >> 8);
  out[3] = static_cast<uint8_t>(value);
}

}  // namespace

namespace pelm::envelope {

bool seal_envelope(TextSpan key_text, TextSpan iv_text, TextSpan data, WipedText& out) {
  const pelm::CancellationHeldOff not_here;  // err_log writes: a cancellation point
  KeyMaterial material;
  if (!decode_key_material(key_text, iv_text, material)) return false;

  const size_t length = data.length;
  if (length > SIZE_MAX / 2) {  // keeps the buffer arithmetic below from wrapping
    err_log("%s", kInputError);
    return false;
  }
  // The payload buffer takes the zlib stream, which is then encrypted in
  // place, and the trailer after it.
  WipedText payload;
  if (!payload.allocate(compressed_bound(length) + kTrailerLength)) return false;
  size_t stream_length = 0;
  switch (compress_level9(reinterpret_cast<const uint8_t*>(data.data), length,
                          payload.bytes(), stream_length)) {
    case Deflated::kDone:
      break;
    case Deflated::kOutOfMemory:
      return false;
    case Deflated::kFailed:
      err_log("%s", kGzipError);
      return false;
  }
  if (stream_length + kTrailerLength > kMaxPayload) {
    err_log("%s", kInputError);
    return false;
  }
  if (!cfb256_crypt(material, payload.bytes(), payload.bytes(), stream_length, true)) return false;
  put_be32(payload.bytes() + stream_length, static_cast<uint32_t>(length));

  WipedText text;
  if (!text.allocate(base64_length(stream_length + kTrailerLength))) return false;
  base64_encode(payload.bytes(), stream_length + kTrailerLength, text.data());
  out = std::move(text);
  return true;
}

}  // namespace pelm::envelope
