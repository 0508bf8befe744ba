// Sealing and opening keep all state per call: many threads at once, each
// with its own key, every result checked against the independent envelope.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "openssl_reference.h"
#include "envelope_reference.h"
#include "pelm/aes128.h"
#include "pelm/envelope.h"
#include "test_support.h"

using namespace pelm::test;

TEST(EnvelopeConcurrency, ManyThreadsSealAndOpen) {
  constexpr int kThreads = 8;
  constexpr int kCalls = 300;
  std::atomic<int> failures{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t, &failures] {
      std::mt19937_64 rng(200 + t);
      const std::string key = random_bytes(rng, 32), iv = random_bytes(rng, 16);
      const std::string key_text = to_hex(key), iv_text = to_hex(iv);
      for (int i = 0; i < kCalls; ++i) {
        const std::string data = random_bytes(rng, rng() % 2000);
        std::string envelope, opened;
        if (!myEncrypt(key_text, iv_text, data, envelope) ||
            envelope != reference_envelope(key, iv, data) ||
            !myDecrypt(key_text, iv_text, envelope, opened) || opened != data) {
          ++failures;
        }
      }
    });
  }
  for (auto& th : threads) th.join();
  EXPECT_EQ(failures.load(), 0);
}

// The envelope's AES-256 shares code, never state, with the AES-128 engine:
// engine calls and envelope calls run side by side, each result checked.
TEST(EnvelopeConcurrency, EnvelopeAndAes128EngineCallsSideBySide) {
  constexpr int kThreads = 6;
  constexpr int kCalls = 300;
  std::atomic<int> failures{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t, &failures] {
      std::mt19937_64 rng(300 + t);
      const std::string key = random_bytes(rng, t % 2 ? 16 : 32), iv = random_bytes(rng, 16);
      for (int i = 0; i < kCalls; ++i) {
        const std::string data = random_bytes(rng, rng() % 1000);
        if (t % 2) {  // the engine, CBC over whole blocks
          const std::string whole = data.substr(0, data.size() / 16 * 16);
          std::string out(whole.size(), '\0');
          qpppqp(reinterpret_cast<uint8_t*>(&out[0]), u8(whole), static_cast<uint32_t>(whole.size()),
                 u8(key), u8(iv));
          if (out != evp(EVP_aes_128_cbc(), key, iv, whole, true)) ++failures;
        } else {
          std::string envelope, opened;
          if (!myEncrypt(to_hex(key), to_hex(iv), data, envelope) ||
              envelope != reference_envelope(key, iv, data) ||
              !myDecrypt(to_hex(key), to_hex(iv), envelope, opened) || opened != data) {
            ++failures;
          }
        }
      }
    });
  }
  for (auto& th : threads) th.join();
  EXPECT_EQ(failures.load(), 0);
}
