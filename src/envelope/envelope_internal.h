// Pieces shared by sealing and opening. Not exported.
#ifndef PELM_ENVELOPE_INTERNAL_H
#define PELM_ENVELOPE_INTERNAL_H

#include <cstddef>
#include <cstdint>

#include "envelope_codec.h"
#include "memory/secure_wipe.h"

namespace pelm::envelope {

constexpr size_t kKeyTextLength = 64;
constexpr size_t kIvTextLength = 32;
constexpr size_t kKeyLength = 32;
constexpr size_t kIvLength = 16;
constexpr int kCompressionLevel = 9;
constexpr size_t kCompressionSlack = 65535;
constexpr size_t kTrailerLength = 4;
constexpr uint64_t kMinCapacity = 1024;
constexpr uint64_t kMaxCapacity = 16772160;

// The Base64 calls count in signed 32-bit ints: a payload of 2^31 - 4 bytes
// or more, or an envelope text of 2^31 bytes or more, is refused.
constexpr uint64_t kMaxPayload = (uint64_t{1} << 31) - 5;
constexpr uint64_t kMaxEnvelopeText = (uint64_t{1} << 31) - 1;

constexpr const char kInputError[] = "Input error";
constexpr const char kGzipError[] = "gzip error";
constexpr const char kBase64Error[] = "base64 error";
constexpr const char kCodedErrorFormat[] = "CV_ERR: name %s, code %d";
constexpr const char kCodedErrorName[] = "Corvane_DYNAMIC_ENCRYPT_ERR";
constexpr int kCodedErrorCode = -10001;

// Key and IV decoded from their hex texts; wiped when it goes.
struct KeyMaterial {
  uint8_t key[kKeyLength];
  uint8_t iv[kIvLength];
  KeyMaterial() = default;
  KeyMaterial(const KeyMaterial&) = delete;
  KeyMaterial& operator=(const KeyMaterial&) = delete;
  ~KeyMaterial() { secure_wipe(this, sizeof *this); }
};

// myHexLine's decoding of 2 * byte_count characters straight into `out`,
// with no allocation: for secrets, which must not pass through a string.
void hex_line_into(const char* text, size_t byte_count, uint8_t* out);

// Checks the text lengths and decodes them; logs "Input error" on failure.
bool decode_key_material(TextSpan key_text, TextSpan iv_text, KeyMaterial& material);

// AES-256-CFB128 from keystream position 0, `length` bytes from in to out
// (which may be the same buffer). False when the cipher cannot be set up.
bool cfb256_crypt(const KeyMaterial& material, const uint8_t* in, uint8_t* out,
                  size_t length, bool encrypt);

// Characters of the standard Base64 text of `length` bytes.
constexpr size_t base64_length(size_t length) { return 4 * ((length + 2) / 3); }

// Standard Base64 of `length` bytes into `out`, which has room for
// base64_length(length) characters and a NUL after them (written too).
void base64_encode(const uint8_t* data, size_t length, char* out);

// zlib's uncompress of a whole stream into `capacity` bytes at `out`, with
// zlib's working memory wiped before it is freed. kDone when the stream
// ended within the room; `produced` says how many bytes it wrote. Out of
// memory is told apart from a stream that is not what it should be.
enum class Inflated { kDone, kOutOfMemory, kFailed };
Inflated inflate_whole(const uint8_t* in, size_t in_length, uint8_t* out, size_t capacity,
                       size_t& produced);

// Base64 of `length` characters (no blanks around them) into `out`
// (`length` bytes): three bytes per group of four characters, padding
// included, "=" as a zero digit; negative for a malformed text.
long base64_decode(const char* text, size_t length, uint8_t* out);

}  // namespace pelm::envelope

#endif
