// zlib's uncompress over a whole buffer, with inflate's own memory wiped
// before it is freed: its window can hold the opened text.
#include <zlib.h>

#include <climits>
#include <cstdlib>
#include <cstring>

#include "envelope_internal.h"
#include "aes_common/kernel_traces.h"
#include "memory/secure_wipe.h"

namespace pelm::envelope {

namespace {

// Each block carries its size in front, so it can be wiped whole.
constexpr size_t kHeader = alignof(std::max_align_t);

voidpf wiping_alloc(voidpf, uInt items, uInt size) {
  if (size != 0 && items > (SIZE_MAX - kHeader) / size) return Z_NULL;
  const size_t bytes = size_t{items} * size;
  auto* block = static_cast<uint8_t*>(std::malloc(kHeader + bytes));
  if (block == nullptr) return Z_NULL;
  std::memcpy(block, &bytes, sizeof bytes);
  return block + kHeader;
}

void wiping_free(voidpf, voidpf address) {
  uint8_t* block = static_cast<uint8_t*>(address) - kHeader;
  size_t bytes;
  std::memcpy(&bytes, block, sizeof bytes);
  secure_wipe(address, bytes);
  std::free(block);
}

}  // namespace

Inflated inflate_whole(const uint8_t* in, size_t in_length, uint8_t* out, size_t capacity,
                       size_t& produced) {
  produced = 0;
  // Envelopes stay far below zlib's 32-bit counts: streams under 2 GiB,
  // plaintexts under 16 MiB.
  if (in_length > UINT_MAX || capacity > UINT_MAX) return Inflated::kFailed;
  z_stream s{};
  s.zalloc = wiping_alloc;
  s.zfree = wiping_free;
  const int started = inflateInit(&s);
  if (started != Z_OK) return started == Z_MEM_ERROR ? Inflated::kOutOfMemory : Inflated::kFailed;
  s.next_in = const_cast<Bytef*>(in);
  s.avail_in = static_cast<uInt>(in_length);
  s.next_out = out;
  s.avail_out = static_cast<uInt>(capacity);
  // One call with everything at hand, as uncompress succeeds exactly when
  // the stream ends within the room given; Z_FINISH also spares zlib its
  // sliding window.
  const int status = inflate(&s, Z_FINISH);
  produced = capacity - s.avail_out;
  inflateEnd(&s);
  wipe_zlib_traces();
  if (status == Z_STREAM_END) return Inflated::kDone;
  return status == Z_MEM_ERROR ? Inflated::kOutOfMemory : Inflated::kFailed;
}

}  // namespace pelm::envelope
