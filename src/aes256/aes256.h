// AES-256 (FIPS-197: Nk = 8, Nr = 14) in CFB128 mode, for the sealed
// envelope. It runs on the same rounds and the same one dispatch point as
// the AES-128 engine but shares no state with it: every call has its own
// schedule on its stack, wiped before the call returns, and no lock.
#ifndef PELM_AES256_AES256_H
#define PELM_AES256_AES256_H

#include <cstddef>
#include <cstdint>

namespace pelm::aes256 {

constexpr size_t kKeySize = 32;
constexpr size_t kBlockSize = 16;
constexpr int kRounds = 14;
constexpr size_t kScheduleSize = kBlockSize * (kRounds + 1);

// The 60 words of the FIPS-197 key expansion, in order, as bytes.
struct Schedule {
  uint8_t bytes[kScheduleSize];
};

// One implementation, per instruction set. The CFB functions run over
// whole blocks from `feedback` (the IV, then each ciphertext block) and
// leave the last ciphertext block there; `in` may equal `out`.
struct Kernels {
  const char* name;
  void (*expand_key)(const uint8_t* key, Schedule& schedule);
  void (*encrypt_block)(const Schedule& schedule, const uint8_t* in, uint8_t* out);
  void (*cfb_encrypt)(const Schedule& schedule, uint8_t* feedback, const uint8_t* in,
                      uint8_t* out, size_t blocks);
  void (*cfb_decrypt)(const Schedule& schedule, uint8_t* feedback, const uint8_t* in,
                      uint8_t* out, size_t blocks);
};

extern const Kernels kCompactKernels;
// Null where the CPU or the build lacks the instructions.
const Kernels* aesni_kernels();
const Kernels* armv8_kernels();
// The constant-time software paths: null where the CPU lacks SSSE3 (x86) or
// where the build is not for NEON (Arm).
const Kernels* ssse3_kernels();
const Kernels* neon_kernels();

// The kernels the one AES dispatch point chose.
const Kernels& kernels();

// AES-256-CFB128 from keystream position 0 over `length` bytes, as SP
// 800-38A defines it (a last partial block uses part of its keystream).
// `in` may equal `out`. The schedule and feedback are wiped before return.
void cfb128(const uint8_t* key, const uint8_t* iv, const uint8_t* in, uint8_t* out,
            size_t length, bool encrypt, const Kernels& kernels = aes256::kernels());

}  // namespace pelm::aes256

#endif
