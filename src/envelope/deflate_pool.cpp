#include "deflate_pool.h"

#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstdlib>
#include <new>

#include "aes_common/kernel_traces.h"
#include "memory/secure_wipe.h"

namespace pelm::envelope {

namespace {

constexpr int kLevel = 9;

// The deflate stream a text is compressed on, by its length. Level 9's
// choices do not depend on the stream's memory as long as no limit of the
// smaller stream binds, so each class gives compress2's bytes but for the
// two header bytes, which name the window:
//  - the window (2^w bytes) holds the whole text and the longest look-ahead
//    (n + 262 <= 2^w): no match is out of reach and the window never slides;
//  - the symbol buffer (2^(m+6) - 1 symbols) holds one symbol per byte but
//    the last, which deflate counts after its loop (n <= 2^(m+6) - 1): the
//    block is never cut early;
//  - with memLevel 8 the hash table is compress2's own, so the hash chains
//    are the same; with a smaller one (a smaller table, longer chains) no
//    chain can reach level 9's shortest search limit of 1024 candidates when
//    the text has fewer than 1024 bytes to point at.
// The last class is compress2's stream itself. The windows set the bounds;
// memLevel 4 and 5 are the fastest here (a smaller hash table means longer
// chains to walk, a larger one more to clear). Small classes cost a few
// tens of KiB to set up and wipe instead of the full stream's 256 KiB.
constexpr DeflateStreamClass kClasses[] = {
    {250, 9, 4}, {762, 10, 4}, {1023, 11, 5}, {7930, 13, 8}, {SIZE_MAX, 15, 8},
};
constexpr size_t kClassCount = sizeof kClasses / sizeof kClasses[0];

size_t class_for(size_t length) {
  size_t c = 0;
  while (length > kClasses[c].longest_text) ++c;
  return c;
}

// compress2's header at level 9: a 32 KiB window, the maximum-compression
// flag, and the check bits that make the pair a multiple of 31.
constexpr uint8_t kStreamHeader[2] = {0x78, 0xDA};

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
  size_t stream_class = 0;

  ~KeptStream() {
    for (int i = 0; i < block_count; ++i) std::free(blocks[i].data);
  }

  // From malloc, as every allocation of the library: a failure is a null.
  static KeptStream* create() {
    void* memory = std::malloc(sizeof(KeptStream));
    return memory == nullptr ? nullptr : new (memory) KeptStream();
  }
  static void destroy(KeptStream* kept) {
    kept->~KeptStream();
    std::free(kept);
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
  const DeflateStreamClass& c = kClasses[kept->stream_class];
  return deflateInit2(&kept->stream, kLevel, Z_DEFLATED, c.window_bits, c.mem_level,
                      Z_DEFAULT_STRATEGY) == Z_OK;
}

// Idle streams, ready, one per slot. Taken and given back by one atomic
// exchange each: no lock, so a fork at any moment leaves the pool whole in
// the child. Plain zero-initialised data: nothing runs at load, and the
// pool fills on first use.
std::atomic<KeptStream*> g_idle[kClassCount][kKeptDeflateStreams];

// A stream of the class for one call: an idle one, or a new one.
KeptStream* take_stream(size_t stream_class) {
  for (std::atomic<KeptStream*>& slot : g_idle[stream_class]) {
    if (KeptStream* kept = slot.exchange(nullptr, std::memory_order_acquire)) return kept;
  }
  KeptStream* kept = KeptStream::create();
  if (kept != nullptr) kept->stream_class = stream_class;
  if (kept != nullptr && !init_stream(kept)) {
    deflateEnd(&kept->stream);
    KeptStream::destroy(kept);
    return nullptr;
  }
  return kept;
}

// Ended (every block wiped) and set up afresh on the same blocks, a stream
// compresses exactly as a new one; beyond the pool's bound it is freed.
void give_back(KeptStream* kept) {
  deflateEnd(&kept->stream);
  if (init_stream(kept)) {
    for (std::atomic<KeptStream*>& slot : g_idle[kept->stream_class]) {
      KeptStream* empty = nullptr;
      if (slot.compare_exchange_strong(empty, kept, std::memory_order_release,
                                       std::memory_order_relaxed)) {
        return;
      }
    }
  }
  deflateEnd(&kept->stream);
  KeptStream::destroy(kept);
}

struct Lease {
  KeptStream* kept;
  explicit Lease(size_t stream_class) : kept(take_stream(stream_class)) {}
  ~Lease() {
    if (kept != nullptr) give_back(kept);
  }
};

}  // namespace

size_t compressed_bound(size_t length) { return compressBound(length); }

const DeflateStreamClass* deflate_stream_classes(size_t& count) {
  count = kClassCount;
  return kClasses;
}

size_t idle_deflate_streams(size_t length) {
  size_t idle = 0;
  for (const std::atomic<KeptStream*>& slot : g_idle[class_for(length)]) idle += slot.load() != nullptr;
  return idle;
}

Deflated compress_level9(const uint8_t* data, size_t length, uint8_t* out, size_t& written) {
  const size_t stream_class = class_for(length);
  Lease lease(stream_class);
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
  wipe_zlib_traces();  // deflate's frames held pieces of the plaintext
  if (status != Z_STREAM_END) return Deflated::kFailed;
  written = compressed_bound(length) - out_left;
  if (kClasses[stream_class].window_bits != MAX_WBITS) {
    out[0] = kStreamHeader[0];
    out[1] = kStreamHeader[1];
  }
  return Deflated::kDone;
}

}  // namespace pelm::envelope
