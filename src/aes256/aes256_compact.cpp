// AES-256 on the software rounds both key sizes share.
#include "aes256.h"
#include "aes_common/compact_rounds.h"

namespace pelm::aes256 {

namespace {

namespace compact = pelm::aes::compact;

void expand_key(const uint8_t* key, Schedule& schedule) {
  compact::expand_key(key, kKeySize / 4, kRounds, schedule.bytes);
}

void encrypt_block(const Schedule& schedule, const uint8_t* in, uint8_t* out) {
  uint32_t s[4];
  compact::load_block(s, in);
  compact::encrypt_words(s, schedule.bytes, kRounds);
  compact::store_block(out, s);
}

// CFB is serial both ways here: one block per cipher run either way.
void cfb(const Schedule& schedule, uint8_t* feedback, const uint8_t* in, uint8_t* out,
         size_t blocks, bool encrypt) {
  uint32_t f[4];
  compact::load_block(f, feedback);
  for (size_t k = 0; k < blocks; ++k, in += kBlockSize, out += kBlockSize) {
    uint32_t data[4];
    compact::load_block(data, in);
    compact::encrypt_words(f, schedule.bytes, kRounds);
    for (int c = 0; c < 4; ++c) f[c] ^= data[c];
    compact::store_block(out, f);
    if (!encrypt) {
      for (int c = 0; c < 4; ++c) f[c] = data[c];
    }
  }
  compact::store_block(feedback, f);
}

void cfb_encrypt(const Schedule& schedule, uint8_t* feedback, const uint8_t* in, uint8_t* out,
                 size_t blocks) {
  cfb(schedule, feedback, in, out, blocks, true);
}

void cfb_decrypt(const Schedule& schedule, uint8_t* feedback, const uint8_t* in, uint8_t* out,
                 size_t blocks) {
  cfb(schedule, feedback, in, out, blocks, false);
}

}  // namespace

const Kernels kCompactKernels = {"compact", expand_key, encrypt_block, cfb_encrypt, cfb_decrypt};

}  // namespace pelm::aes256
