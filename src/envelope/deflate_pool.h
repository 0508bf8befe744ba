// zlib level 9 over a whole buffer, byte for byte what compress2 gives, on
// deflate streams kept between calls and wiped after each. A text goes to
// the smallest stream that compresses it exactly as compress2's full one
// does: a few KiB for short texts, where setting up and wiping the full
// stream (about 256 KiB) would cost more than compressing.
#ifndef PELM_ENVELOPE_DEFLATE_POOL_H
#define PELM_ENVELOPE_DEFLATE_POOL_H

#include <cstddef>
#include <cstdint>

namespace pelm::envelope {

// At most this many idle streams are kept per size class: about 16, 18, 30,
// 166 and 262 KiB each, from the shortest texts' class to the longest; a
// class keeps streams only once a text of its size was sealed.
constexpr size_t kKeptDeflateStreams = 2;

// The streams texts are sealed on: texts of up to longest_text bytes (and
// above the class before) go to a level-9 stream with these windowBits and
// memLevel; the last class is compress2's own (15, 8).
struct DeflateStreamClass {
  size_t longest_text;
  int window_bits;
  int mem_level;
};
const DeflateStreamClass* deflate_stream_classes(size_t& count);

// The most bytes compress_level9 can write for `length` input bytes.
size_t compressed_bound(size_t length);

enum class Deflated { kDone, kOutOfMemory, kFailed };

// Compresses `length` bytes into `out` (compressed_bound(length) bytes) and
// sets `written` when done.
Deflated compress_level9(const uint8_t* data, size_t length, uint8_t* out, size_t& written);

// How many streams wait now in the class a text of `length` bytes uses
// (for tests: a seal must give its stream back).
size_t idle_deflate_streams(size_t length);

}  // namespace pelm::envelope

#endif
