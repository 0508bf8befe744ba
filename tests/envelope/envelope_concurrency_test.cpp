// Sealing and opening keep all state per call: many threads at once, each
// with its own key, every result checked against the independent envelope.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "envelope_reference.h"
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
