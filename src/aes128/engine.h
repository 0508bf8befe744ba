// The AES-128 engine's state, its internal steps, and the one dispatch
// point between the compact byte-oriented path and the paths on the CPU's
// AES instructions. Hidden from other native code; the buffer modes and the
// tests build on it.
#ifndef PELM_AES128_ENGINE_H
#define PELM_AES128_ENGINE_H

#include <cstddef>
#include <cstdint>

#include "aes_common/aes_tables.h"
#include "locks/engine_lock.h"

namespace pelm::aes128 {

constexpr size_t kBlockSize = 16;
constexpr size_t kKeySize = 16;
constexpr int kRounds = 10;
constexpr size_t kScheduleSize = kBlockSize * (kRounds + 1);

using aes::kInvSbox;
using aes::kRcon;
using aes::kSbox;

// The engine's working state. The exported operations share one instance,
// g_engine, whose round keys and CBC chaining value carry over between
// calls; the text cipher runs on one of its own per call. The key and block
// pointers are set by each operation before the steps below read them.
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

// The state an exported operation runs on: g_engine under the engine's
// lock, or, for a call made while its own thread is inside the engine
// already (from a signal handler), a state of its own, wiped when it ends.
class EngineAccess {
 public:
  EngineAccess();
  ~EngineAccess();
  EngineAccess(const EngineAccess&) = delete;
  EngineAccess& operator=(const EngineAccess&) = delete;

  EngineState& state() { return *state_; }
  // False for a call on a state of its own, which has no schedule or chain
  // to carry on from.
  bool shared() const { return entry_ == pelm::EngineEntry::kShared; }

 private:
  pelm::EngineEntry entry_;
  EngineState* state_;
  EngineState own_;
};

// The compact path's steps (FIPS-197): they act on g_engine.
void KeyExpansion();
void Cipher();
void InvCipher();
void AddRoundKey(uint8_t round);

// One implementation of the engine's work, on the state it is given:
// expand_key replaces the schedule with the expansion of state.key; the
// block functions use the schedule; the CBC functions chain through
// state.chain and leave the last whole ciphertext block there; ctr encrypts
// `counter`, counter + 1, ... and advances `counter` past the blocks it used.
struct EngineKernels {
  const char* name;
  void (*expand_key)(EngineState& state);
  void (*encrypt_block)(EngineState& state, uint8_t* block);
  void (*decrypt_block)(EngineState& state, uint8_t* block);
  void (*cbc_encrypt)(EngineState& state, uint8_t* out, const uint8_t* in, size_t blocks);
  void (*cbc_decrypt)(EngineState& state, uint8_t* out, const uint8_t* in, size_t blocks);
  void (*ctr)(EngineState& state, uint8_t* out, const uint8_t* in, size_t blocks, uint8_t* counter);
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

// The buffer modes on a given state, as the exported operations define
// them: a null key keeps state's schedule, a null iv its chaining value.
// Buffers must be usable for `length`.
void cbc_encrypt(EngineState& state, uint8_t* output, const uint8_t* input, uint32_t length,
                 const uint8_t* key, const uint8_t* iv);
void cbc_decrypt(EngineState& state, uint8_t* output, const uint8_t* input, uint32_t length,
                 const uint8_t* key, const uint8_t* iv);

}  // namespace pelm::aes128

#endif
