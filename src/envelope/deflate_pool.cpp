#include "deflate_pool.h"

#include <zlib.h>

#include <algorithm>
#include <climits>
#include <mutex>
#include <new>

namespace pelm::envelope {

namespace {

constexpr int kLevel = 9;

// Idle streams, reset and ready. Plain zero-initialised data: nothing runs
// at load, and the pool fills on first use.
std::mutex g_pool_mutex;
z_stream* g_idle[kKeptDeflateStreams];
size_t g_idle_count;

// A stream for one call: an idle one, or a new one.
z_stream* take_stream() {
  {
    std::lock_guard<std::mutex> lock(g_pool_mutex);
    if (g_idle_count > 0) return g_idle[--g_idle_count];
  }
  z_stream* stream = new (std::nothrow) z_stream();
  if (stream != nullptr && deflateInit(stream, kLevel) != Z_OK) {
    delete stream;
    return nullptr;
  }
  return stream;
}

// Reset, a stream compresses exactly as a new one; beyond the pool's bound
// it is freed.
void give_back(z_stream* stream) {
  if (deflateReset(stream) == Z_OK) {
    std::lock_guard<std::mutex> lock(g_pool_mutex);
    if (g_idle_count < kKeptDeflateStreams) {
      g_idle[g_idle_count++] = stream;
      return;
    }
  }
  deflateEnd(stream);
  delete stream;
}

struct Lease {
  z_stream* stream = take_stream();
  ~Lease() {
    if (stream != nullptr) give_back(stream);
  }
};

}  // namespace

size_t compressed_bound(size_t length) { return compressBound(length); }

size_t idle_deflate_streams() {
  std::lock_guard<std::mutex> lock(g_pool_mutex);
  return g_idle_count;
}

Deflated compress_level9(const uint8_t* data, size_t length, uint8_t* out, size_t& written) {
  Lease lease;
  if (lease.stream == nullptr) return Deflated::kOutOfMemory;
  z_stream& s = *lease.stream;
  s.next_in = const_cast<Bytef*>(data);
  s.next_out = out;
  // zlib counts in uInt, so huge buffers go in pieces, as compress2 does.
  size_t in_left = length, out_left = compressed_bound(length);
  int status;
  do {
    const uInt in_piece = static_cast<uInt>(std::min<size_t>(in_left, UINT_MAX));
    const uInt out_piece = static_cast<uInt>(std::min<size_t>(out_left, UINT_MAX));
    s.avail_in = in_piece;
    s.avail_out = out_piece;
    status = deflate(&s, in_left == in_piece ? Z_FINISH : Z_NO_FLUSH);
    in_left -= in_piece - s.avail_in;
    out_left -= out_piece - s.avail_out;
  } while (status == Z_OK);
  if (status != Z_STREAM_END) return Deflated::kFailed;
  written = compressed_bound(length) - out_left;
  return Deflated::kDone;
}

}  // namespace pelm::envelope
