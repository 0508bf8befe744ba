// The AES-128 engine's process-wide state and its internal steps. Hidden
// from other native code; the buffer modes and the tests build on it.
#ifndef PELM_AES128_ENGINE_H
#define PELM_AES128_ENGINE_H

#include <cstddef>
#include <cstdint>
#include <mutex>

namespace pelm::aes128 {

constexpr size_t kBlockSize = 16;
constexpr size_t kKeySize = 16;
constexpr int kRounds = 10;
constexpr size_t kScheduleSize = kBlockSize * (kRounds + 1);

extern const uint8_t kSbox[256];
extern const uint8_t kInvSbox[256];
extern const uint8_t kRcon[11];

// One instance for the whole process. The round keys and the CBC chaining
// value carry over between calls; the key and block pointers are set by
// each operation before the steps below read them.
struct EngineState {
  uint8_t round_keys[kScheduleSize];  // w[0] to w[43], all zeros at load
  const uint8_t* key;                 // read by KeyExpansion only
  uint8_t* block;                     // the block Cipher/InvCipher transform
  uint8_t chain[kBlockSize];          // CBC chaining value, a copy
};
extern EngineState g_engine;

// Every exported engine operation holds this for its whole run.
extern std::mutex g_engine_mutex;

void KeyExpansion();
void Cipher();
void InvCipher();
void AddRoundKey(uint8_t round);

}  // namespace pelm::aes128

#endif
