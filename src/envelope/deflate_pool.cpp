#include "deflate_pool.h"

#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <new>

#include "memory/secure_wipe.h"

namespace pelm::envelope {

namespace {

constexpr int kLevel = 9;

// A deflate stream with the memory zlib asked for. zlib frees through
// release_block, which wipes the block and keeps it; a new deflateInit on
// the same stream gets the kept blocks back. So a stream goes back to the
// pool as deflateEnd (every block wiped: window, hash chains, pending and
// symbol buffers, the state with its trees) followed by deflateInit, and
// keeps nothing of the text it compressed, while no memory is allocated
// anew. zlib builds differ in their blocks (Android's system zlib is
// another one), so the stream knows only the blocks it was asked for.
struct KeptStream {
  static constexpr int kMaxBlocks = 8;  // zlib's deflate asks for five
  struct Block {
    void* data;
    size_t size;
    bool in_use;
  };
  z_stream stream{};
  Block blocks[kMaxBlocks] = {};
  int block_count = 0;

  ~KeptStream() {
    for (int i = 0; i < block_count; ++i) std::free(blocks[i].data);
  }
};

voidpf take_block(voidpf opaque, uInt items, uInt size) {
  auto* kept = static_cast<KeptStream*>(opaque);
  if (size != 0 && items > SIZE_MAX / size) return Z_NULL;
  const size_t bytes = size_t{items} * size;
  for (int i = 0; i < kept->block_count; ++i) {
    KeptStream::Block& b = kept->blocks[i];
    if (!b.in_use && b.size == bytes) {
      b.in_use = true;
      return b.data;
    }
  }
  if (kept->block_count == KeptStream::kMaxBlocks) return Z_NULL;
  void* data = std::calloc(1, bytes == 0 ? 1 : bytes);
  if (data == nullptr) return Z_NULL;
  kept->blocks[kept->block_count++] = {data, bytes, true};
  return data;
}

void release_block(voidpf opaque, voidpf address) {
  auto* kept = static_cast<KeptStream*>(opaque);
  for (int i = 0; i < kept->block_count; ++i) {
    KeptStream::Block& b = kept->blocks[i];
    if (b.data == address) {
      secure_wipe(b.data, b.size);
      b.in_use = false;
      return;
    }
  }
}

bool init_stream(KeptStream* kept) {
  kept->stream = z_stream{};
  kept->stream.zalloc = take_block;
  kept->stream.zfree = release_block;
  kept->stream.opaque = kept;
  return deflateInit(&kept->stream, kLevel) == Z_OK;
}

// Idle streams, ready, one per slot. Taken and given back by one atomic
// exchange each: no lock, so a fork at any moment leaves the pool whole in
// the child. Plain zero-initialised data: nothing runs at load, and the
// pool fills on first use.
std::atomic<KeptStream*> g_idle[kKeptDeflateStreams];

// A stream for one call: an idle one, or a new one.
KeptStream* take_stream() {
  for (std::atomic<KeptStream*>& slot : g_idle) {
    if (KeptStream* kept = slot.exchange(nullptr, std::memory_order_acquire)) return kept;
  }
  auto* kept = new (std::nothrow) KeptStream();
  if (kept != nullptr && !init_stream(kept)) {
    deflateEnd(&kept->stream);
    delete kept;
    return nullptr;
  }
  return kept;
}

// Ended (every block wiped) and set up afresh on the same blocks, a stream
// compresses exactly as a new one; beyond the pool's bound it is freed.
void give_back(KeptStream* kept) {
  deflateEnd(&kept->stream);
  if (init_stream(kept)) {
    for (std::atomic<KeptStream*>& slot : g_idle) {
      KeptStream* empty = nullptr;
      if (slot.compare_exchange_strong(empty, kept, std::memory_order_release,
                                       std::memory_order_relaxed)) {
        return;
      }
    }
  }
  deflateEnd(&kept->stream);
  delete kept;
}

struct Lease {
  KeptStream* kept = take_stream();
  ~Lease() {
    if (kept != nullptr) give_back(kept);
  }
};

}  // namespace

size_t compressed_bound(size_t length) { return compressBound(length); }

size_t idle_deflate_streams() {
  size_t idle = 0;
  for (const std::atomic<KeptStream*>& slot : g_idle) idle += slot.load() != nullptr;
  return idle;
}

Deflated compress_level9(const uint8_t* data, size_t length, uint8_t* out, size_t& written) {
  Lease lease;
  if (lease.kept == nullptr) return Deflated::kOutOfMemory;
  z_stream& s = lease.kept->stream;
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
