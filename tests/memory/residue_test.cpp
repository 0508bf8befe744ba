// Nothing secret left behind: this program replaces malloc and free, scans
// every block freed during a library call for the key, its schedule, the
// plaintext and the stream compressed from it, and scans every block still
// live after a seal; it can also fail any one allocation of a call, so the
// failure paths are scanned too. Its own program: sanitizer builds bring
// allocators of their own, which this one would fight.
#include <android/log.h>
#include <gtest/gtest.h>
#include <malloc.h>
#include <openssl/crypto.h>
#include <zlib.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "aes128/engine.h"
#include "aes256/aes256.h"
#include "aes_common/instruction_set.h"
#include "envelope/deflate_pool.h"
#include "envelope_reference.h"
#include "openssl_reference.h"
#include "memory/secure_wipe.h"
#include "pelm/aes128.h"
#include "pelm/envelope.h"
#include "pelm/text_cipher.h"
#include "test_support.h"

extern "C" {
void* __libc_malloc(size_t);
void* __libc_calloc(size_t, size_t);
void* __libc_memalign(size_t, size_t);
void __libc_free(void*);
}

namespace {

// What must not be found. Static storage, so the needles are never
// themselves on the heap.
struct Needle {
  const char* name;
  const uint8_t* bytes;
  size_t length;
};
constexpr int kMaxNeedles = 64;
Needle g_needles[kMaxNeedles];
int g_needle_count;
std::atomic<bool> g_scanning{false};
// While scanning: the allocations counted so far, and which one fails
// (0: none).
std::atomic<long> g_allocations{0}, g_fail_at{0};

bool this_allocation_fails() {
  return g_scanning.load() && ++g_allocations == g_fail_at.load();
}

// A gate some threads pass at their next allocation: each waits there until
// `g_gate_target` threads have arrived in all (or a few seconds went by), so
// their calls go on together from that point.
__attribute__((tls_model("initial-exec"))) thread_local bool t_gated = false;
std::atomic<int> g_gate_arrived{0}, g_gate_target{0};

void pass_gate_if_gated() {
  if (!t_gated) return;
  t_gated = false;
  g_gate_arrived++;
  const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (g_gate_arrived.load() < g_gate_target.load() && std::chrono::steady_clock::now() < give_up) {
  }
}
std::atomic<int> g_found{0};
const char* g_first_found;

// Every live block, in an open-addressed table (no allocation in here).
constexpr size_t kSlots = size_t{1} << 20;
void* g_live[kSlots];
size_t g_live_size[kSlots];  // what the caller asked for: the library writes no further
void* const kTombstone = reinterpret_cast<void*>(1);
std::atomic_flag g_lock = ATOMIC_FLAG_INIT;

struct Spin {
  Spin() { while (g_lock.test_and_set(std::memory_order_acquire)) {} }
  ~Spin() { g_lock.clear(std::memory_order_release); }
};

size_t slot_of(void* p) { return (reinterpret_cast<uintptr_t>(p) >> 4) * 0x9E3779B97F4A7C15u >> 44; }

void remember(void* p, size_t size) {
  if (p == nullptr) return;
  Spin spin;
  for (size_t i = slot_of(p);; i = (i + 1) & (kSlots - 1)) {
    if (g_live[i] == nullptr || g_live[i] == kTombstone) {
      g_live[i] = p;
      g_live_size[i] = size;
      return;
    }
  }
}

// The size a live block was asked with, or its usable size for a block
// from before the program's allocator took over; with `drop`, the block is
// forgotten too.
size_t asked_size(void* p, bool drop) {
  Spin spin;
  for (size_t i = slot_of(p); g_live[i] != nullptr; i = (i + 1) & (kSlots - 1)) {
    if (g_live[i] == p) {
      if (drop) g_live[i] = kTombstone;
      return g_live_size[i];
    }
  }
  return malloc_usable_size(p);
}

// Where the first find was: the block's size and the needle's offset in it.
size_t g_found_in_size, g_found_at;

void scan(const void* block, size_t size) {
  for (int n = 0; n < g_needle_count; ++n) {
    const Needle& needle = g_needles[n];
    const void* at = memmem(block, size, needle.bytes, needle.length);
    if (at != nullptr && g_found.fetch_add(1) == 0) {
      g_first_found = needle.name;
      g_found_in_size = size;
      g_found_at = static_cast<size_t>(static_cast<const char*>(at) - static_cast<const char*>(block));
    }
  }
}

}  // namespace

extern "C" {

// A block is scanned over the bytes it was asked with, the only ones its
// owner may write; the rest of it (filled with a pattern here) can hold
// whatever an earlier block there held, the test's own unwiped strings
// among it.
static void* fresh(void* p, size_t size, size_t zeroed) {
  if (p == nullptr) return p;
  const size_t usable = malloc_usable_size(p);
  std::memset(static_cast<char*>(p) + zeroed, 0xA5, usable - zeroed);
  remember(p, size);
  return p;
}

void* malloc(size_t size) {
  pass_gate_if_gated();
  if (this_allocation_fails()) return nullptr;
  return fresh(__libc_malloc(size), size, 0);
}

void* calloc(size_t count, size_t size) {
  if (this_allocation_fails()) return nullptr;
  return fresh(__libc_calloc(count, size), count * size, count * size);
}

void free(void* p) {
  if (p == nullptr) return;
  const size_t size = asked_size(p, true);
  if (g_scanning.load()) scan(p, size);
  __libc_free(p);
}

// Moving a block frees the old one, which is scanned like any other.
void* realloc(void* p, size_t size) {
  if (p == nullptr) return malloc(size);
  void* moved = malloc(size);
  if (moved == nullptr) return nullptr;
  const size_t old = asked_size(p, false);
  std::memcpy(moved, p, old < size ? old : size);
  free(p);
  return moved;
}

void* memalign(size_t alignment, size_t size) {
  if (this_allocation_fails()) return nullptr;
  return fresh(__libc_memalign(alignment, size), size, 0);
}

void* aligned_alloc(size_t alignment, size_t size) { return memalign(alignment, size); }

int posix_memalign(void** out, size_t alignment, size_t size) {
  *out = memalign(alignment, size);
  return *out == nullptr ? ENOMEM : 0;
}

}  // extern "C"

using namespace pelm::test;

namespace {

// The test's own copies of secrets are wiped with the library's wipe: a
// plain memset before free is a dead store a compiler may drop (clang does),
// and the scan of the freed block would then find the test's own text.

// The secrets of every call below, in static storage.
uint8_t g_key[32], g_iv[16], g_text_key[16], g_text_iv[16];
uint8_t g_schedule[pelm::aes256::kScheduleSize];
uint8_t g_text_schedule[pelm::aes128::kScheduleSize];
uint8_t g_stream[1 << 16];
const char kMarker[] = "plaintext-marker-5f3c9a1e77d2";
// Short enough to fit whole in the last 16 bytes of a block.
const char kShortMarker[] = "Kv7#qZ1!";

void add_needle(const char* name, const uint8_t* bytes, size_t length) {
  g_needles[g_needle_count++] = {name, bytes, length};
}

// A text of random letters with the marker inside, and the needles: key,
// each round key of its schedule, the marker, pieces of the zlib stream.
std::string secrets() {
  std::mt19937_64 rng(77);
  for (auto& b : g_key) b = static_cast<uint8_t>(rng());
  for (auto& b : g_iv) b = static_cast<uint8_t>(rng());
  for (auto& b : g_text_key) b = static_cast<uint8_t>(rng());
  for (auto& b : g_text_iv) b = static_cast<uint8_t>(rng());
  std::string text;
  for (int i = 0; i < 3000; ++i) text += static_cast<char>('a' + rng() % 26);
  text.insert(1500, kMarker);

  g_needle_count = 0;
  pelm::aes256::Schedule schedule;
  pelm::aes256::kCompactKernels.expand_key(g_key, schedule);
  std::memcpy(g_schedule, schedule.bytes, sizeof g_schedule);
  static const char* const kRoundKeyNames[] = {
      "AES-256 round key 0", "AES-256 round key 1", "AES-256 round key 2", "AES-256 round key 3",
      "AES-256 round key 4", "AES-256 round key 5", "AES-256 round key 6", "AES-256 round key 7",
      "AES-256 round key 8", "AES-256 round key 9", "AES-256 round key 10", "AES-256 round key 11",
      "AES-256 round key 12", "AES-256 round key 13", "AES-256 round key 14"};
  for (int r = 0; r <= pelm::aes256::kRounds; ++r) add_needle(kRoundKeyNames[r], g_schedule + 16 * r, 16);
  add_needle("the envelope's key", g_key, 32);
  add_needle("the envelope's IV", g_iv, 16);
  add_needle("the AES-128 key", g_text_key, 16);
  {
    pelm::aes128::EngineState state{};
    state.key = g_text_key;
    pelm::aes128::kCompactKernels.expand_key(state);
    std::memcpy(g_text_schedule, state.round_keys, sizeof g_text_schedule);
    pelm::secure_wipe(&state, sizeof state);
  }
  static const char* const kRoundKey128Names[] = {
      "", "AES-128 round key 1", "AES-128 round key 2", "AES-128 round key 3", "AES-128 round key 4",
      "AES-128 round key 5", "AES-128 round key 6", "AES-128 round key 7", "AES-128 round key 8",
      "AES-128 round key 9", "AES-128 round key 10"};
  for (int r = 1; r <= 10; ++r) add_needle(kRoundKey128Names[r], g_text_schedule + 16 * r, 16);
  add_needle("a short plaintext marker", reinterpret_cast<const uint8_t*>(kShortMarker),
             sizeof kShortMarker - 1);
  add_needle("the plaintext marker", reinterpret_cast<const uint8_t*>(kMarker), sizeof kMarker - 1);
  uLongf stream_length = sizeof g_stream;
  compress2(g_stream, &stream_length, reinterpret_cast<const Bytef*>(text.data()), text.size(), 9);
  for (size_t at = 16; at + 16 <= stream_length; at += 256) add_needle("the zlib stream", g_stream + at, 16);
  return text;
}

// The stack below the caller's frame, where the frames of a call made from
// that caller lay: cleared before the call, scanned after it. One function
// for both, so both see the very same bytes; the asm makes the compiler
// take the bytes as written and the clearing as read.
__attribute__((noinline)) int dead_stack(bool clear) {
  uint8_t region[128 << 10];
  if (clear) {
    std::memset(region, 0, sizeof region);
    __asm__ __volatile__("" : : "r"(region) : "memory");
    return 0;
  }
  __asm__ __volatile__("" : : "r"(region) : "memory");
  g_found = 0;
  scan(region, sizeof region);
  return g_found.load();
}

// Runs one library call with every freed block scanned, then scans the
// stack it used (cleared before, so only the call's frames count).
template <typename Call>
int freed_residue(Call call) {
  dead_stack(true);
  g_found = 0;
  g_scanning = true;
  call();
  g_scanning = false;
  const int freed = g_found.load();
  const char* what = g_first_found;
  const int stack = dead_stack(false);
  static char stack_report[96];
  if (freed > 0) {
    g_first_found = what;
  } else if (stack > 0) {
    std::snprintf(stack_report, sizeof stack_report, "%s (on the stack)", g_first_found);
    g_first_found = stack_report;
  }
  return freed + stack;
}

int live_residue() {
  g_found = 0;
  Spin spin;
  for (size_t i = 0; i < kSlots; ++i) {
    if (g_live[i] != nullptr && g_live[i] != kTombstone) scan(g_live[i], g_live_size[i]);
  }
  return g_found.load();
}

// How many blocks are live: a call that returns with more than it started
// with, its results given back, leaks.
long live_blocks() {
  long count = 0;
  Spin spin;
  for (size_t i = 0; i < kSlots; ++i) count += g_live[i] != nullptr && g_live[i] != kTombstone;
  return count;
}

// The library's log records, kept while a test listens: a failure must be
// reported as what it is.
std::atomic<int> g_records{0};
char g_last_record[64];

void keep_record(const __android_logger_data*, const char* message) {
  if (g_records++ == 0) std::snprintf(g_last_record, sizeof g_last_record, "%s", message);
}

std::string hex(const uint8_t* bytes, size_t n) { return to_hex(std::string(reinterpret_cast<const char*>(bytes), n)); }

}  // namespace

TEST(Residue, SealOpenAndFailedOpenLeaveNothingInFreedOrKeptMemory) {
  std::string text = secrets();
  const std::string key_text = hex(g_key, 32), iv_text = hex(g_iv, 16);
  std::string envelope, opened;

  EXPECT_EQ(freed_residue([&] { ASSERT_TRUE(myEncrypt(key_text, iv_text, text, envelope)); }), 0)
      << "seal freed " << g_first_found;
  // The caller's own copy goes; nothing of the text may stay in the library.
  pelm::secure_wipe(&text[0], text.size());
  EXPECT_EQ(live_residue(), 0) << "after a seal, memory the library keeps holds " << g_first_found;

  EXPECT_EQ(freed_residue([&] { ASSERT_TRUE(myDecrypt(key_text, iv_text, envelope, opened)); }), 0)
      << "open freed " << g_first_found;
  EXPECT_TRUE(opened == secrets());  // the same text, made again

  // A damaged checksum: the whole text inflates, then the check fails.
  std::string stream = zlib9(secrets());
  stream.back() ^= 1;
  const std::string damaged = envelope_of_stream(std::string(reinterpret_cast<char*>(g_key), 32),
                                                 std::string(reinterpret_cast<char*>(g_iv), 16),
                                                 stream, 3029);
  std::string none;
  EXPECT_EQ(freed_residue([&] { ASSERT_FALSE(myDecrypt(key_text, iv_text, damaged, none)); }), 0)
      << "failed open freed " << g_first_found;
  pelm::secure_wipe(&opened[0], opened.size());
}

// The first seal of a size class makes its deflate stream: with each of
// that stream's allocations failing, the seal fails and logs nothing (zlib
// did nothing wrong). First of the tests that seal texts of this class.
TEST(Residue, ASealWithoutMemoryForItsStreamBlamesNotItsInput) {
  secrets();
  const std::string key_text = hex(g_key, 32), iv_text = hex(g_iv, 16);
  const std::string text(500, 'm');
  if (pelm::envelope::idle_deflate_streams(text.size()) != 0) {
    GTEST_SKIP() << "a stream for this size class is kept already";
  }
  __android_log_set_logger(keep_record);
  for (long n = 1;; ++n) {
    g_allocations = 0;
    g_fail_at = n;
    g_records = 0;
    std::string envelope;
    bool sealed = false;
    freed_residue([&] { sealed = myEncrypt(key_text, iv_text, text, envelope); });
    const bool failed_one = g_allocations.load() >= n;
    g_fail_at = 0;
    if (!sealed && failed_one) {
      EXPECT_EQ(g_records.load(), 0) << "a seal whose allocation " << n << " failed logged \""
                                     << g_last_record << "\"";
    }
    if (!failed_one) break;
  }
  __android_log_set_logger(__android_log_stderr_logger);
}

TEST(Residue, TextCipherBothWaysFreesNothingSecret) {
  const std::string text = secrets().substr(1400, 300);  // holds the marker
  char* hex_text = nullptr;
  char* plain = nullptr;
  EXPECT_EQ(freed_residue([&] { hex_text = ll11l1l1ll(g_text_key, g_text_iv, text.c_str()); }), 0)
      << "text encryption freed " << g_first_found;
  ASSERT_NE(hex_text, nullptr);
  EXPECT_EQ(freed_residue([&] { plain = ll11lll11l(g_text_key, g_text_iv, hex_text); }), 0)
      << "text decryption freed " << g_first_found;
  ASSERT_NE(plain, nullptr);
  EXPECT_EQ(std::string(plain), text);
  pelm::secure_wipe(plain, std::strlen(plain));
  std::free(plain);
  std::free(hex_text);
}

// Each allocation of each call fails in turn. However it ends, the call
// frees nothing secret and leaks nothing; a call that fails for want of
// memory logs no record that blames the input; and a call that succeeds
// gives exactly the result it gives with memory to spare.
TEST(Residue, EveryFailedAllocationOfACallLeavesNothingBehind) {
  const std::string text = secrets();
  const std::string key_text = hex(g_key, 32), iv_text = hex(g_iv, 16);
  std::string envelope;
  ASSERT_TRUE(myEncrypt(key_text, iv_text, text, envelope));
  const std::string hex_text = [&] {
    char* made = ll11l1l1ll(g_text_key, g_text_iv, text.c_str());
    std::string copy = made;
    std::free(made);
    return copy;
  }();
  const auto same = [](const std::string& result, const std::string& expected) {
    return result.size() == expected.size() &&
           CRYPTO_memcmp(result.data(), expected.data(), expected.size()) == 0;
  };
  const struct {
    const char* name;
    std::function<bool(bool&)> call;  // true when it succeeded; `right` when it gave the result
  } calls[] = {
      {"seal", [&](bool& right) {
         std::string out;
         const bool sealed = myEncrypt(key_text, iv_text, text, out);
         right = same(out, envelope);
         return sealed;
       }},
      {"open", [&](bool& right) {
         std::string out;
         const bool opened = myDecrypt(key_text, iv_text, envelope, out);
         right = same(out, text);
         pelm::secure_wipe(&out[0], out.size());  // the caller's to wipe
         return opened;
       }},
      {"text encryption", [&](bool& right) {
         char* out = ll11l1l1ll(g_text_key, g_text_iv, text.c_str());
         right = out != nullptr && hex_text == out;
         std::free(out);
         return out != nullptr;
       }},
      {"text decryption", [&](bool& right) {
         char* out = ll11lll11l(g_text_key, g_text_iv, hex_text.c_str());
         right = out != nullptr && text == out;
         if (out != nullptr) pelm::secure_wipe(out, std::strlen(out));
         std::free(out);
         return out != nullptr;
       }},
  };
  __android_log_set_logger(keep_record);
  for (const auto& c : calls) {
    bool right = false;
    c.call(right);  // whatever a first call sets up for good is set up now
    for (long n = 1;; ++n) {
      g_allocations = 0;
      g_fail_at = n;
      g_records = 0;
      bool done = false;
      right = false;
      const long live_before = live_blocks();
      const int residue = freed_residue([&] { done = c.call(right); });
      const long leaked = live_blocks() - live_before;
      const bool failed_one = g_allocations.load() >= n;
      g_fail_at = 0;
      EXPECT_EQ(residue, 0) << c.name << " with allocation " << n << " failing (of "
                            << g_allocations.load() << " counted) freed " << g_first_found << ", at "
                            << g_found_at << " of a block of " << g_found_in_size << " bytes";
      EXPECT_EQ(leaked, 0) << c.name << " with allocation " << n << " failing left " << leaked
                           << " block(s) allocated";
      if (done) {
        EXPECT_TRUE(right) << c.name << " with allocation " << n << " failing succeeded with a wrong result";
      } else if (failed_one) {
        EXPECT_EQ(g_records.load(), 0) << c.name << " failed for want of memory (allocation " << n
                                       << ") and logged \"" << g_last_record << "\"";
      }
      if (!failed_one) {
        EXPECT_TRUE(done) << c.name;
        break;
      }
    }
  }
  __android_log_set_logger(__android_log_stderr_logger);
}

// Many seals at once take more deflate streams than the pool keeps: what it
// cannot keep is freed, and nothing is lost when streams come back together.
// Blocks live = blocks of the streams the pool keeps (it fills up to its
// bound as seals happen to overlap) + everything else, which must not grow.
// The same threads seal round after round, so no thread is made or ends
// (which allocates on its own) between the two counts, and each round's
// seals start together at their first allocation, so they overlap however
// busy the machine is.
TEST(Residue, ConcurrentSealsKeepNoMoreStreamsThanThePoolHolds) {
  secrets();
  const std::string key_text = hex(g_key, 32), iv_text = hex(g_iv, 16);
  // A kept stream's blocks, counted on a class no test used before.
  // Long enough to take a while, so seals overlap and the pool overflows.
  std::mt19937_64 rng(12);
  std::string text(60000, '\0');
  for (char& c : text) c = static_cast<char>('a' + rng() % 26);
  const std::string small(100, 's');
  std::string envelope;
  envelope.reserve(120000);
  ASSERT_TRUE(myEncrypt(key_text, iv_text, text, envelope));  // libcrypto's first use, if any
  const size_t idle_small = pelm::envelope::idle_deflate_streams(small.size());
  const long before_small = live_blocks();
  ASSERT_TRUE(myEncrypt(key_text, iv_text, small, envelope));
  if (pelm::envelope::idle_deflate_streams(small.size()) != idle_small + 1) {
    GTEST_SKIP() << "the smallest class's pool was full already";
  }
  const long per_stream = live_blocks() - before_small;
  const auto others = [&] {
    return live_blocks() - per_stream * static_cast<long>(pelm::envelope::idle_deflate_streams(text.size()));
  };
  constexpr int kThreads = 8, kWarmUp = 3, kRounds = 40;
  std::atomic<int> round{0}, sealed{0};
  std::atomic<bool> leave{false};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&] {
      std::string out;
      out.reserve(120000);
      for (int r = 1; r <= kWarmUp + kRounds; ++r) {
        while (round.load() < r) {
        }
        t_gated = true;  // every seal of the round starts together
        myEncrypt(key_text, iv_text, text, out);
        sealed++;
      }
      while (!leave.load()) {
      }
    });
  }
  long settled = 0;
  for (int r = 1; r <= kWarmUp + kRounds; ++r) {
    g_gate_target = r * kThreads;
    round = r;
    while (sealed.load() < r * kThreads) {
    }
    if (r == kWarmUp) settled = others();
  }
  const long after = others();
  leave = true;
  for (auto& t : threads) t.join();
  EXPECT_EQ(after, settled) << "blocks left allocated by " << kRounds << " rounds of " << kThreads
                            << " seals at once, besides the streams the pool keeps";
}

TEST(Residue, SealsOfEverySizeClassLeaveNothingInTheKeptStreams) {
  secrets();
  const std::string key_text = hex(g_key, 32), iv_text = hex(g_iv, 16);
  std::mt19937_64 rng(5);
  for (const size_t length : {40, 127, 200, 500, 1000, 3029, 9000}) {
    std::string text = kMarker;
    while (text.size() < length) text += static_cast<char>('a' + rng() % 26);
    std::string envelope;
    EXPECT_EQ(freed_residue([&] { ASSERT_TRUE(myEncrypt(key_text, iv_text, text, envelope)); }), 0)
        << "a seal of " << length << " bytes freed " << g_first_found;
    pelm::secure_wipe(&text[0], text.size());
    EXPECT_EQ(live_residue(), 0) << "after a seal of " << length << " bytes, kept memory holds "
                                 << g_first_found;
  }
}

// What the other tests' later frames would overwrite: the stack right
// after the envelope's CFB returns (other code of the library calls it
// alone), zlib's window when a failed open's stream overruns its room, and
// the spare room of an opened text cut short by its trailer.
TEST(Residue, NothingAtTheEdgesOfTheEnvelopesSteps) {
  std::string text = secrets();
  const std::string key_text = hex(g_key, 32), iv_text = hex(g_iv, 16);
  std::string cipher(text.size(), '\0');
  // The keystream block of the last, partial block: AES-256 of the last
  // whole ciphertext block, which is the feedback.
  static uint8_t last_keystream[16];
  {
    pelm::aes256::Schedule schedule;
    pelm::aes256::kCompactKernels.expand_key(g_key, schedule);
    const size_t whole = text.size() / 16 * 16;
    std::string reference(text.size(), '\0');
    pelm::aes256::cfb128(g_key, g_iv, u8(text), reinterpret_cast<uint8_t*>(&reference[0]), text.size(), true);
    ASSERT_NE(text.size() % 16, 0u);
    pelm::aes256::kCompactKernels.encrypt_block(schedule, u8(reference) + whole - 16, last_keystream);
    pelm::secure_wipe(&reference[0], reference.size());
    add_needle("the last keystream block", last_keystream, sizeof last_keystream);
  }
  EXPECT_EQ(freed_residue([&] {
              pelm::aes256::cfb128(g_key, g_iv, u8(text), reinterpret_cast<uint8_t*>(&cipher[0]),
                                   text.size(), true);
            }),
            0)
      << "AES-256-CFB128 left " << g_first_found;

  // Far more text than the room a small stream gets: inflate fills its
  // window, to its last bytes, and the open fails.
  std::string repeated;
  while (repeated.size() < 200000) repeated += kMarker;
  std::string short_repeated;
  while (short_repeated.size() < 200000) short_repeated += kShortMarker;
  const std::string raw_key(reinterpret_cast<char*>(g_key), 32), raw_iv(reinterpret_cast<char*>(g_iv), 16);
  for (const std::string* overrun_text : {&repeated, &short_repeated}) {
    const std::string overrun = envelope_of_stream(raw_key, raw_iv, zlib9(*overrun_text), 40000);
    std::string none;
    EXPECT_EQ(freed_residue([&] { EXPECT_FALSE(myDecrypt(key_text, iv_text, overrun, none)); }), 0)
        << "an open whose stream overran its room freed " << g_first_found;
  }

  // The trailer cuts the text before the marker: the marker must not wait
  // in the result's spare room. Random bytes, so the whole text inflates
  // within the room its stream's length gives.
  std::mt19937_64 rng(3);
  std::string incompressible = random_bytes(rng, 3000);
  incompressible.insert(2000, kMarker);
  const std::string cut = envelope_of_stream(raw_key, raw_iv, zlib9(incompressible), 1000);
  std::string opened;
  EXPECT_EQ(freed_residue([&] { ASSERT_TRUE(myDecrypt(key_text, iv_text, cut, opened)); }), 0)
      << "an open cut short by its trailer freed " << g_first_found;
  ASSERT_EQ(opened.size(), 1000u);
  // Read, not resized: growing the string would overwrite the spare room.
  EXPECT_EQ(memmem(opened.data() + 1000, opened.capacity() - 1000, kMarker, sizeof kMarker - 1), nullptr)
      << "the opened text's spare room holds what the trailer cut off";
  pelm::secure_wipe(&opened[0], opened.size());
  pelm::secure_wipe(&incompressible[0], incompressible.size());
  pelm::secure_wipe(&text[0], text.size());
  pelm::secure_wipe(&repeated[0], repeated.size());
  pelm::secure_wipe(&short_repeated[0], short_repeated.size());
}

// Every AES operation on every path this CPU runs, each with its largest
// frames (blocks in flight, a partial CTR block): no round key, key or
// keystream on the stack it leaves or in a freed block.
TEST(Residue, EveryAesPathClearsItsFramesAfterEachOperation) {
  const std::string text = secrets();
  std::mt19937_64 rng(8);
  static uint8_t counter_keystream[16];
  const std::string data = random_bytes(rng, 16 * 37 + 7);
  std::string out(data.size() + 16, '\0');
  auto* o = reinterpret_cast<uint8_t*>(&out[0]);
  const uint32_t n = static_cast<uint32_t>(data.size());
  const struct {
    const char* name;
    std::function<void()> call;
  } operations[] = {
      {"ECB encryption", [&] { qqppqp(u8(data), g_text_key, o, 16); }},
      {"ECB decryption", [&] { qqppqq(u8(data), g_text_key, o, 16); }},
      {"CBC encryption", [&] { qpppqp(o, u8(data), n, g_text_key, g_text_iv); }},
      {"CBC decryption", [&] { qqqpqp(o, u8(data), n, g_text_key, g_text_iv); }},
      {"CTR with a partial block", [&] { qppqqp(o, u8(data), n, g_text_key, g_text_iv); }},
      // As from a signal handler that interrupted an engine call: on a
      // state of the call's own.
      {"CBC encryption inside an engine call", [&] {
         const pelm::EngineEntry outer = pelm::enter_engine();
         qpppqp(o, u8(data), n, g_text_key, g_text_iv);
         pelm::leave_engine(outer);
       }},
      {"text encryption", [&] { std::free(ll11l1l1ll(g_text_key, g_text_iv, text.c_str())); }},
      {"AES-256-CFB128 encryption", [&] { pelm::aes256::cfb128(g_key, g_iv, u8(data), o, n, true); }},
      {"AES-256-CFB128 decryption", [&] { pelm::aes256::cfb128(g_key, g_iv, u8(data), o, n, false); }},
  };
  {
    // CTR's last keystream block, used in part: AES-128 of iv + 37.
    std::string counter(reinterpret_cast<char*>(g_text_iv), 16);
    for (int carry = 37, i = 15; i >= 0 && carry != 0; --i) {
      const int sum = static_cast<uint8_t>(counter[i]) + carry;
      counter[i] = static_cast<char>(sum);
      carry = sum >> 8;
    }
    std::string keystream = evp(EVP_aes_128_ecb(), std::string(reinterpret_cast<char*>(g_text_key), 16), "",
                                counter, true);
    std::memcpy(counter_keystream, keystream.data(), 16);
    pelm::secure_wipe(&keystream[0], keystream.size());
    add_needle("CTR's last keystream block", counter_keystream, 16);
  }
  const bool software_only = pelm::aes::aes_instructions() == pelm::aes::Instructions::kSoftware;
  for (const bool software : {false, true}) {
    if (!software && software_only) continue;  // no AES instructions here
    pelm::aes128::force_compact_engine(software);
    for (const auto& operation : operations) {
      EXPECT_EQ(freed_residue(operation.call), 0)
          << operation.name << (software ? " on the software path" : " on the AES instructions")
          << " left " << g_first_found;
    }
  }
  pelm::aes128::force_compact_engine(false);
  pelm::secure_wipe(o, out.size());
}

#if defined(__x86_64__)
namespace {

// The vector registers right after an AES call, as the next code would
// find them: xmm0-15 read by the caller itself (nothing runs in between),
// zmm16-31 by a function that touches no other vector register first.
uint8_t g_registers[16 * 16 + 16 * 64];

__attribute__((noinline)) void encrypt_then_read_xmm(const uint8_t* block, const uint8_t* key,
                                                     uint8_t* out) {
  qqppqp(block, key, out, 16);
  __asm__ __volatile__(
      "movdqu %%xmm0, 0(%0)\n movdqu %%xmm1, 16(%0)\n movdqu %%xmm2, 32(%0)\n movdqu %%xmm3, 48(%0)\n"
      "movdqu %%xmm4, 64(%0)\n movdqu %%xmm5, 80(%0)\n movdqu %%xmm6, 96(%0)\n movdqu %%xmm7, 112(%0)\n"
      "movdqu %%xmm8, 128(%0)\n movdqu %%xmm9, 144(%0)\n movdqu %%xmm10, 160(%0)\n movdqu %%xmm11, 176(%0)\n"
      "movdqu %%xmm12, 192(%0)\n movdqu %%xmm13, 208(%0)\n movdqu %%xmm14, 224(%0)\n movdqu %%xmm15, 240(%0)\n"
      : : "r"(g_registers) : "memory");
}

__attribute__((target("avx512f"), noinline)) void read_upper_zmm() {
  __asm__ __volatile__(
      "vmovdqu64 %%zmm16, 0(%0)\n vmovdqu64 %%zmm17, 64(%0)\n vmovdqu64 %%zmm18, 128(%0)\n"
      "vmovdqu64 %%zmm19, 192(%0)\n vmovdqu64 %%zmm20, 256(%0)\n vmovdqu64 %%zmm21, 320(%0)\n"
      "vmovdqu64 %%zmm22, 384(%0)\n vmovdqu64 %%zmm23, 448(%0)\n vmovdqu64 %%zmm24, 512(%0)\n"
      "vmovdqu64 %%zmm25, 576(%0)\n vmovdqu64 %%zmm26, 640(%0)\n vmovdqu64 %%zmm27, 704(%0)\n"
      "vmovdqu64 %%zmm28, 768(%0)\n vmovdqu64 %%zmm29, 832(%0)\n vmovdqu64 %%zmm30, 896(%0)\n"
      "vmovdqu64 %%zmm31, 960(%0)\n"
      : : "r"(g_registers + 256) : "memory");
}

}  // namespace

TEST(Residue, NoRoundKeyStaysInAVectorRegisterAfterAnAesCall) {
  if (pelm::aes::aes_instructions() != pelm::aes::Instructions::kAesni) {
    GTEST_SKIP() << "the AES-NI path does not run here";
  }
  secrets();
  static uint8_t block[16] = {1, 2, 3}, out[16];
  encrypt_then_read_xmm(block, g_text_key, out);
  const bool upper = __builtin_cpu_supports("avx512f");
  if (upper) read_upper_zmm();
  int found = 0;
  for (int r = 1; r <= 10; ++r) {
    const uint8_t* round_key = pelm::aes128::g_engine.round_keys + 16 * r;
    found += memmem(g_registers, upper ? sizeof g_registers : 256, round_key, 16) != nullptr;
  }
  EXPECT_EQ(found, 0) << found << " of the 10 round keys are still in vector registers";
  pelm::secure_wipe(g_registers, sizeof g_registers);
}

namespace {

// What the upper halves of ymm0-15 and all of zmm16-31 hold after an AES
// call, when the test filled them with a marker just before it: code the
// library runs (its own, a compiler's vectorised code, libcrypto's) may
// leave secrets there, so the clearing must reach them wherever the CPU has
// them. Filled and read in this one function, so no compiler-inserted
// vzeroupper comes in between.
uint8_t g_wide_marker[64], g_ymm[16 * 32], g_zmm[16 * 64];

__attribute__((noinline)) void fill_call_read_wide(bool avx512, const uint8_t* block, uint8_t* out) {
  __asm__ __volatile__(
      "vmovdqu (%0), %%ymm0\n vmovdqu (%0), %%ymm1\n vmovdqu (%0), %%ymm2\n vmovdqu (%0), %%ymm3\n"
      "vmovdqu (%0), %%ymm4\n vmovdqu (%0), %%ymm5\n vmovdqu (%0), %%ymm6\n vmovdqu (%0), %%ymm7\n"
      "vmovdqu (%0), %%ymm8\n vmovdqu (%0), %%ymm9\n vmovdqu (%0), %%ymm10\n vmovdqu (%0), %%ymm11\n"
      "vmovdqu (%0), %%ymm12\n vmovdqu (%0), %%ymm13\n vmovdqu (%0), %%ymm14\n vmovdqu (%0), %%ymm15\n"
      : : "r"(g_wide_marker) : "memory");
  if (avx512) {
    __asm__ __volatile__(
        "vmovdqu64 (%0), %%zmm16\n vmovdqu64 (%0), %%zmm17\n vmovdqu64 (%0), %%zmm18\n vmovdqu64 (%0), %%zmm19\n"
        "vmovdqu64 (%0), %%zmm20\n vmovdqu64 (%0), %%zmm21\n vmovdqu64 (%0), %%zmm22\n vmovdqu64 (%0), %%zmm23\n"
        "vmovdqu64 (%0), %%zmm24\n vmovdqu64 (%0), %%zmm25\n vmovdqu64 (%0), %%zmm26\n vmovdqu64 (%0), %%zmm27\n"
        "vmovdqu64 (%0), %%zmm28\n vmovdqu64 (%0), %%zmm29\n vmovdqu64 (%0), %%zmm30\n vmovdqu64 (%0), %%zmm31\n"
        : : "r"(g_wide_marker) : "memory");
  }
  qqppqp(block, g_text_key, out, 16);
  __asm__ __volatile__(
      "vmovdqu %%ymm0, 0(%0)\n vmovdqu %%ymm1, 32(%0)\n vmovdqu %%ymm2, 64(%0)\n vmovdqu %%ymm3, 96(%0)\n"
      "vmovdqu %%ymm4, 128(%0)\n vmovdqu %%ymm5, 160(%0)\n vmovdqu %%ymm6, 192(%0)\n vmovdqu %%ymm7, 224(%0)\n"
      "vmovdqu %%ymm8, 256(%0)\n vmovdqu %%ymm9, 288(%0)\n vmovdqu %%ymm10, 320(%0)\n vmovdqu %%ymm11, 352(%0)\n"
      "vmovdqu %%ymm12, 384(%0)\n vmovdqu %%ymm13, 416(%0)\n vmovdqu %%ymm14, 448(%0)\n vmovdqu %%ymm15, 480(%0)\n"
      : : "r"(g_ymm) : "memory");
  if (avx512) {
    __asm__ __volatile__(
        "vmovdqu64 %%zmm16, 0(%0)\n vmovdqu64 %%zmm17, 64(%0)\n vmovdqu64 %%zmm18, 128(%0)\n"
        "vmovdqu64 %%zmm19, 192(%0)\n vmovdqu64 %%zmm20, 256(%0)\n vmovdqu64 %%zmm21, 320(%0)\n"
        "vmovdqu64 %%zmm22, 384(%0)\n vmovdqu64 %%zmm23, 448(%0)\n vmovdqu64 %%zmm24, 512(%0)\n"
        "vmovdqu64 %%zmm25, 576(%0)\n vmovdqu64 %%zmm26, 640(%0)\n vmovdqu64 %%zmm27, 704(%0)\n"
        "vmovdqu64 %%zmm28, 768(%0)\n vmovdqu64 %%zmm29, 832(%0)\n vmovdqu64 %%zmm30, 896(%0)\n"
        "vmovdqu64 %%zmm31, 960(%0)\n"
        : : "r"(g_zmm) : "memory");
  }
  __asm__ __volatile__("vzeroupper" ::: "memory");
}

}  // namespace

TEST(Residue, AnAesCallClearsTheWideRegistersWhereverTheCpuHasThem) {
  if (!__builtin_cpu_supports("avx")) GTEST_SKIP() << "no AVX registers on this CPU";
  secrets();
  const bool avx512 = __builtin_cpu_supports("avx512f");
  for (size_t i = 0; i < sizeof g_wide_marker; ++i) g_wide_marker[i] = static_cast<uint8_t>(0xC3 ^ i);
  static uint8_t block[16] = {4, 5, 6}, out[16];
  fill_call_read_wide(avx512, block, out);
  int upper_left = 0, zmm_left = 0;
  for (int r = 0; r < 16; ++r) {
    upper_left += memmem(g_ymm + 32 * r + 16, 16, g_wide_marker + 16, 16) != nullptr;
    if (avx512) zmm_left += memmem(g_zmm + 64 * r, 64, g_wide_marker, 64) != nullptr;
  }
  EXPECT_EQ(upper_left, 0) << upper_left << " of ymm0-15's upper halves still hold what they held";
  EXPECT_EQ(zmm_left, 0) << zmm_left << " of zmm16-31 still hold what they held";
}
#endif
