// Realistic app payloads for the benchmarks: JSON-like records with ids,
// UUIDs, names, timestamps and numbers, many distinct texts per size so no
// single input is learnt by the branch predictor or the caches.
#ifndef PELM_BENCH_APP_TEXT_H
#define PELM_BENCH_APP_TEXT_H

#include <cstdio>
#include <random>
#include <string>
#include <vector>

namespace pelm::bench {

inline std::string app_text(std::mt19937_64& rng, size_t size) {
  static const char* const kNames[] = {"Ada", "Grace", "Linus", "Barbara", "Ken", "Dennis",
                                       "Margaret", "Edsger", "Frances", "Niklaus", "Radia"};
  static const char* const kStates[] = {"active", "pending", "closed", "archived"};
  std::string text = "{\"items\":[";
  char record[256];
  while (text.size() < size) {
    const uint64_t a = rng(), b = rng();
    std::snprintf(record, sizeof record,
                  "{\"id\":%u,\"uuid\":\"%08x-%04x-4%03x-a%03x-%012llx\",\"name\":\"%s\","
                  "\"state\":\"%s\",\"updated\":\"2026-%02u-%02uT%02u:%02u:%02uZ\","
                  "\"amount\":%u.%02u,\"count\":%u},",
                  static_cast<unsigned>(a % 1000000), static_cast<unsigned>(a >> 32),
                  static_cast<unsigned>(b & 0xffff), static_cast<unsigned>((b >> 16) & 0xfff),
                  static_cast<unsigned>((b >> 28) & 0xfff),
                  static_cast<unsigned long long>(b >> 16), kNames[a % 11], kStates[b % 4],
                  static_cast<unsigned>(1 + a % 12), static_cast<unsigned>(1 + b % 28),
                  static_cast<unsigned>(a % 24), static_cast<unsigned>(b % 60),
                  static_cast<unsigned>(a % 60), static_cast<unsigned>(b % 100000),
                  static_cast<unsigned>(a % 100), static_cast<unsigned>(b % 500));
    text += record;
  }
  text.resize(size - 2);
  text += "]}";
  return text;
}

// `count` distinct texts of exactly `size` bytes.
inline std::vector<std::string> app_texts(size_t size, size_t count) {
  std::mt19937_64 rng(size);
  std::vector<std::string> texts;
  for (size_t i = 0; i < count; ++i) texts.push_back(app_text(rng, size));
  return texts;
}

// Fewer distinct inputs for large sizes keeps memory modest.
inline size_t distinct_inputs(size_t size) { return size >= (1 << 20) ? 4 : 64; }

}  // namespace pelm::bench

#endif
