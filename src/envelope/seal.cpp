// myEncrypt: zlib level 9, AES-256-CFB128, 4-byte big-endian length trailer
// in clear, then one Base64 text.
#include <zlib.h>

#include <new>

#include "envelope_internal.h"
#include "pelm/envelope.h"

using namespace pelm::envelope;

namespace {

void put_be32(uint8_t* out, uint32_t value) {
  out[0] = static_cast<uint8_t>(value >> 24);
  out[1] = static_cast<uint8_t>(value >> 16);
  out[2] = static_cast<uint8_t>(value >> 8);
  out[3] = static_cast<uint8_t>(value);
}

bool seal_envelope(const std::string& key_text, const std::string& iv_text,
          const std::string& data, std::string& out) {
  KeyMaterial material;
  if (!decode_key_material(key_text, iv_text, material)) return false;

  const size_t length = data.size();
  if (length > (SIZE_MAX - kCompressionSlack) / 2) {
    err_log("%s", kInputError);
    return false;
  }
  uLongf stream_length = 2 * length + kCompressionSlack;
  Buffer stream = allocate(stream_length);
  if (!stream) return false;
  if (compress2(stream.get(), &stream_length,
                reinterpret_cast<const Bytef*>(data.data()), length,
                kCompressionLevel) != Z_OK) {
    err_log("%s", kGzipError);
    return false;
  }
  if (stream_length + kTrailerLength > kMaxPayload) {
    err_log("%s", kInputError);
    return false;
  }

  // Encrypt in place; the trailer follows the ciphertext in clear.
  const size_t payload_length = stream_length + kTrailerLength;
  Buffer payload = allocate(payload_length);
  if (!payload) return false;
  cfb256_crypt(material, stream.get(), payload.get(), stream_length, true);
  stream.reset();
  put_be32(payload.get() + stream_length, static_cast<uint32_t>(length));

  std::string text = base64_encode(payload.get(), payload_length);
  out.swap(text);
  return true;
}

}  // namespace

bool myEncrypt(const std::string& key, const std::string& iv,
               const std::string& data, std::string& out) {
  try {
    return seal_envelope(key, iv, data, out);
  } catch (const std::bad_alloc&) {
    return false;  // out is only ever replaced by a finished text
  }
}
