// zlib level 9 over a whole buffer, byte for byte what compress2 gives, on
// deflate streams kept between calls and wiped after each: a level-9 stream
// holds about 256 KiB, and allocating it on every call costs small seals
// more than compressing does.
#ifndef PELM_ENVELOPE_DEFLATE_POOL_H
#define PELM_ENVELOPE_DEFLATE_POOL_H

#include <cstddef>
#include <cstdint>

namespace pelm::envelope {

// At most this many idle streams are kept, about 256 KiB each.
constexpr size_t kKeptDeflateStreams = 2;

// The most bytes compress_level9 can write for `length` input bytes.
size_t compressed_bound(size_t length);

enum class Deflated { kDone, kOutOfMemory, kFailed };

// Compresses `length` bytes into `out` (compressed_bound(length) bytes) and
// sets `written` when done.
Deflated compress_level9(const uint8_t* data, size_t length, uint8_t* out, size_t& written);

// How many streams wait in the pool now (for tests: a seal must give its
// stream back).
size_t idle_deflate_streams();

}  // namespace pelm::envelope

#endif
