// The compact path and the CPU's AES instructions give the same results and
// leave the same state: the same FIPS-197 schedule, and chains that carry
// over from one path to the other. Both are checked against OpenSSL EVP on
// random keys, lengths, tails, splits and in-place buffers, with each call
// on a path chosen at random.
#include <gtest/gtest.h>

#include <cstring>

#if defined(__aarch64__) || defined(__arm__)
#include <sys/auxv.h>
#endif

#include "aes128/engine.h"
#include "aes256/aes256.h"
#include "openssl_reference.h"
#include "pelm/aes128.h"
#include "test_support.h"

using namespace pelm::aes128;
using namespace pelm::test;

namespace {

uint8_t* w(std::string& s) { return reinterpret_cast<uint8_t*>(&s[0]); }

// Restores the path the suite runs on.
struct PathGuard {
  bool compact = std::strcmp(engine_kernels().name, "compact") == 0;
  ~PathGuard() { force_compact_engine(compact); }
};

std::string schedule() {
  EngineAccess access;
  return std::string(reinterpret_cast<const char*>(g_engine.round_keys), kScheduleSize);
}

// The software path: constant-time where the CPU has SSSE3.
std::string path_without_aes_instructions() {
#if defined(__x86_64__) || defined(__i386__)
  if (__builtin_cpu_supports("ssse3")) return "SSSE3 (constant-time)";
#elif defined(__ARM_NEON)
  return "NEON (constant-time)";
#endif
  return "compact";
}

// The kernels the dispatch should pick, asked of the CPU here rather than
// through the library's own feature checks.
std::string path_this_cpu_should_take() {
#if !defined(PELM_NO_AES_INSTRUCTIONS) && (defined(__x86_64__) || defined(__i386__))
  if (__builtin_cpu_supports("aes")) return "AES-NI";
#elif !defined(PELM_NO_AES_INSTRUCTIONS) && defined(__aarch64__)
  if (getauxval(AT_HWCAP) & (1u << 3)) return "ARMv8 Crypto Extensions";  // HWCAP_AES
#elif !defined(PELM_NO_AES_INSTRUCTIONS) && defined(__arm__)
  if (getauxval(26) & 1u) return "ARMv8 Crypto Extensions";  // AT_HWCAP2, HWCAP2_AES
#endif
  return path_without_aes_instructions();
}

}  // namespace

TEST(Paths, DispatchTakesTheCpusInstructionsAndTheSwitchForcesCompact) {
  PathGuard guard;
  force_compact_engine(false);
  EXPECT_EQ(engine_kernels().name, path_this_cpu_should_take());
  EXPECT_EQ(pelm::aes256::kernels().name, path_this_cpu_should_take());
  force_compact_engine(true);
  EXPECT_EQ(engine_kernels().name, path_without_aes_instructions());
  EXPECT_EQ(pelm::aes256::kernels().name, path_without_aes_instructions());
}

TEST(Paths, EveryPathLeavesTheSameSchedule) {
  PathGuard guard;
  std::mt19937_64 rng(31);
  for (int i = 0; i < 200; ++i) {
    const std::string key = random_bytes(rng, 16);
    std::string block(16, '\0');
    force_compact_engine(true);
    qqppqp(u8(block), u8(key), w(block), 16);
    const std::string compact = schedule();
    force_compact_engine(false);
    qqppqq(u8(block), u8(key), w(block), 16);
    ASSERT_EQ(to_hex(schedule()), to_hex(compact));
    ASSERT_EQ(block, std::string(16, '\0'));  // encrypted on one path, decrypted on the other
  }
}

TEST(Paths, RandomCallsOnRandomPathsMatchEvp) {
  PathGuard guard;
  std::mt19937_64 rng(32);
  for (int i = 0; i < 3000; ++i) {
    const int mode = static_cast<int>(rng() % 3);  // CBC encrypt, CBC decrypt, CTR
    const std::string key = random_bytes(rng, 16), iv = random_bytes(rng, 16);
    const size_t length = rng() % 300;
    const size_t split = std::min<size_t>(rng() % 20 * 16, length / 16 * 16);
    const bool in_place = rng() % 2;
    const size_t room = (length + 15) / 16 * 16;
    const std::string input = random_bytes(rng, room);  // bytes past length: whatever is there
    std::string output = in_place ? input : random_bytes(rng, room);
    const std::string before = output;
    const uint8_t* in = in_place ? w(output) : u8(input);

    force_compact_engine(rng() % 2);
    const uint32_t first = static_cast<uint32_t>(split), rest = static_cast<uint32_t>(length - split);
    if (mode == 0) qpppqp(w(output), in, first, u8(key), u8(iv));
    if (mode == 1) qqqpqp(w(output), in, first, u8(key), u8(iv));
    if (mode == 2) qppqqp(w(output), in, first, u8(key), u8(iv));
    force_compact_engine(rng() % 2);
    if (mode == 0) qpppqp(w(output) + split, in + split, rest, nullptr, nullptr);
    if (mode == 1) qqqpqp(w(output) + split, in + split, rest, nullptr, nullptr);
    if (mode == 2) {
      std::string next = iv;
      add_to_counter(w(next), split / 16);
      qppqqp(w(output) + split, in + split, rest, u8(key), u8(next));
    }

    const size_t whole = length / 16 * 16;
    std::string expected;
    if (mode == 0) {  // a tail is zero-filled to a whole block
      expected = evp(EVP_aes_128_cbc(), key, iv, input.substr(0, length) + std::string(room - length, '\0'), true);
    } else if (mode == 1) {  // a tail block is decrypted alone, over the output's former bytes
      expected = evp(EVP_aes_128_cbc(), key, iv, input.substr(0, whole), false);
      if (length > whole) {
        const std::string block = input.substr(whole, length - whole) + before.substr(length, room - length);
        expected += evp(EVP_aes_128_ecb(), key, "", block, false);
      }
    } else {
      expected = evp(EVP_aes_128_ctr(), key, iv, input.substr(0, length), true) + before.substr(length);
    }
    ASSERT_EQ(to_hex(output), to_hex(expected))
        << "mode " << mode << ", length " << length << ", split " << split << ", in place " << in_place;
  }
}

// Every kernel table this CPU can run, the table path included wherever a
// constant-time one replaces it, against EVP: blocks, CBC both ways, CTR.
TEST(Paths, EveryKernelTableMatchesEvp) {
  std::vector<const EngineKernels*> tables = {&kCompactKernels};
  for (const EngineKernels* k : {aesni_kernels(), armv8_kernels(), ssse3_kernels(), neon_kernels()}) {
    if (k != nullptr) tables.push_back(k);
  }
  std::mt19937_64 rng(33);
  for (int i = 0; i < 200; ++i) {
    const std::string key = random_bytes(rng, 16), iv = random_bytes(rng, 16);
    const size_t blocks = rng() % 12;
    const std::string in = random_bytes(rng, 16 * blocks + 16);
    const std::string cbc = evp(EVP_aes_128_cbc(), key, iv, in.substr(0, 16 * blocks), true);
    const std::string plain = evp(EVP_aes_128_cbc(), key, iv, in.substr(0, 16 * blocks), false);
    const std::string ctr = evp(EVP_aes_128_ctr(), key, iv, in.substr(0, 16 * blocks), true);
    const std::string block = evp(EVP_aes_128_ecb(), key, "", in.substr(0, 16), true);
    for (const EngineKernels* k : tables) {
      EngineState state{};
      std::string out(16 * blocks, '\0'), one = in.substr(0, 16), counter = iv;
      state.key = u8(key);
      k->expand_key(state);
      std::memcpy(state.chain, iv.data(), 16);
      k->cbc_encrypt(state, w(out), u8(in), blocks);
      EXPECT_EQ(out, cbc) << k->name;
      std::memcpy(state.chain, iv.data(), 16);
      k->cbc_decrypt(state, w(out), u8(in), blocks);
      EXPECT_EQ(out, plain) << k->name;
      k->ctr(state, w(out), u8(in), blocks, w(counter));
      EXPECT_EQ(out, ctr) << k->name;
      k->encrypt_block(state, w(one));
      EXPECT_EQ(one, block) << k->name;
      k->decrypt_block(state, w(one));
      EXPECT_EQ(one, in.substr(0, 16)) << k->name;
    }
  }
}
