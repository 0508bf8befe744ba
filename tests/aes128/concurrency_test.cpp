// Many threads, each with its own key, through the shared engine at once.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <thread>

#include "openssl_reference.h"
#include "pelm/aes128.h"
#include "pelm/text_cipher.h"
#include "test_support.h"

using namespace pelm::test;

TEST(Concurrency, TextCipherAndBufferModesFromManyThreads) {
  constexpr int kThreads = 8;
  constexpr int kCalls = 2000;
  std::atomic<int> failures{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t, &failures] {
      std::mt19937_64 rng(100 + t);
      const std::string key = random_bytes(rng, 16), iv = random_bytes(rng, 16);
      for (int i = 0; i < kCalls; ++i) {
        const std::string text = "thread " + std::to_string(t) + " call " + std::to_string(i);
        const std::string expected = to_hex(evp(EVP_aes_128_cbc(), key, iv, text, true, true));
        char* hex = ll11l1l1ll(u8(key), u8(iv), text.c_str());
        char* back = hex ? ll11lll11l(u8(key), u8(iv), hex) : nullptr;
        if (!hex || expected != hex || !back || text != back) ++failures;
        std::free(hex);
        std::free(back);
        // Mixed in: CTR and ECB calls with yet other keys.
        std::string ctr(37, '\0');
        qppqqp(reinterpret_cast<uint8_t*>(&ctr[0]), u8(text), 37 < text.size() ? 37 : text.size(), u8(iv), u8(key));
        std::string block(16, '\0');
        qqppqp(u8(key), u8(iv), reinterpret_cast<uint8_t*>(&block[0]), 16);
        if (block != evp(EVP_aes_128_ecb(), iv, "", key, true)) ++failures;
      }
    });
  }
  for (auto& th : threads) th.join();
  EXPECT_EQ(failures.load(), 0);
}
