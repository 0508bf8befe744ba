// The AES-128 engine's process-wide state, its internal steps, and the one
// dispatch point between the compact byte-oriented path and the paths on the
// CPU's AES instructions. Hidden from other native code; the buffer modes
// and the tests build on it.
#ifndef PELM_AES128_ENGINE_H
#define PELM_AES128_ENGINE_H

#include <cstddef>
#include <cstdint>
#include <mutex>

#include "aes_common/aes_tables.h"
#include "locks/fork_safe_mutex.h"

namespace pelm::aes128 {

constexpr size_t kBlockSize = 16;
constexpr size_t kKeySize = 16;
constexpr int kRounds = 10;
constexpr size_t kScheduleSize = kBlockSize * (kRounds + 1);

using aes::kInvSbox;
using aes::kRcon;
using aes::kSbox;

// One instance for the whole process. The round keys and the CBC chaining
// value carry over between calls; the key and block pointers are set by
// each operation before the steps below read them.
struct EngineState {
  uint8_t round_keys[kScheduleSize];  // w[0] to w[43], all zeros at load
  const uint8_t* key;                 // read by the key expansion only
  uint8_t* block;                     // the block Cipher/InvCipher transform
  uint8_t chain[kBlockSize];          // CBC chaining value, a copy
  // The round keys in the equivalent-inverse-cipher form the AES
  // instructions decrypt with, derived once per new key when first needed.
  uint8_t decryption_keys[kScheduleSize];
  bool decryption_keys_ready;
};
extern EngineState g_engine;

// Every exported engine operation holds this for its whole run; a fork
// waits for it, so the child finds it free.
using pelm::ForkSafeMutex;
extern ForkSafeMutex g_engine_mutex;

// The compact path's steps (FIPS-197): they act on the state above.
void KeyExpansion();
void Cipher();
void InvCipher();
void AddRoundKey(uint8_t round);

// One implementation of the engine's work. Each function runs under
// g_engine_mutex and reads and writes g_engine: expand_key replaces the
// schedule with the expansion of g_engine.key; the block functions use the
// schedule; the CBC functions chain through g_engine.chain and leave the
// last whole ciphertext block there; ctr encrypts `counter`, counter + 1, ...
// and advances `counter` past the blocks it used.
struct EngineKernels {
  const char* name;
  void (*expand_key)();
  void (*encrypt_block)(uint8_t* block);
  void (*decrypt_block)(uint8_t* block);
  void (*cbc_encrypt)(uint8_t* out, const uint8_t* in, size_t blocks);
  void (*cbc_decrypt)(uint8_t* out, const uint8_t* in, size_t blocks);
  void (*ctr)(uint8_t* out, const uint8_t* in, size_t blocks, uint8_t* counter);
};

extern const EngineKernels kCompactKernels;
// Null where the CPU or the build lacks the instructions.
const EngineKernels* aesni_kernels();
const EngineKernels* armv8_kernels();
// The constant-time software paths, for CPUs without AES instructions: null
// where the CPU lacks SSSE3 (x86) or where the build is not for NEON (Arm).
const EngineKernels* ssse3_kernels();
const EngineKernels* neon_kernels();

// The kernels in use, as the one AES dispatch point decides.
const EngineKernels& engine_kernels();

// Tests only: run every operation on the compact path (true) or on the
// best the CPU offers (false), for both key sizes. Not exported.
void force_compact_engine(bool compact);

// Adds `blocks` to a 128-bit big-endian counter, wrapping at 2^128.
void add_to_counter(uint8_t* counter, uint64_t blocks);

}  // namespace pelm::aes128

#endif
