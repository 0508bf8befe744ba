// Helpers shared by the native test suites.
#ifndef PELM_TEST_SUPPORT_H
#define PELM_TEST_SUPPORT_H

#include <android/log.h>

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <random>
#include <string>
#include <vector>

namespace pelm::test {

std::string from_hex(const std::string& hex);  // either case
std::string to_hex(const std::string& bytes);  // lowercase
std::string random_bytes(std::mt19937_64& rng, size_t length);

inline const uint8_t* u8(const std::string& s) {
  return reinterpret_cast<const uint8_t*>(s.data());
}

// Path of a file under tests/data.
std::string data_path(const std::string& name);

// Blocks of "Name = value" or "Name: value" lines separated by blank lines,
// with '#' comments; each block becomes one map.
std::vector<std::map<std::string, std::string>> read_vector_file(const std::string& path);

// Whether a child process can run under a tight address-space cap: not under
// sanitizers (they reserve address space up front) or a user-mode emulator.
bool memory_cap_works();

// Runs `body` in a forked child whose address space may grow by only
// `headroom` more bytes; returns the child's exit code (128 + signal).
int run_with_memory_cap(size_t headroom, const std::function<int()>& body);

struct LogRecord {
  int priority;
  std::string tag;
  std::string message;
  bool operator==(const LogRecord& o) const {
    return priority == o.priority && tag == o.tag && message == o.message;
  }
};

// Collects every record written through liblog while it lives.
class LogCapture {
 public:
  LogCapture();
  ~LogCapture();
  std::vector<LogRecord> records() const;

 private:
  static void logger(const __android_logger_data* data, const char* message);
};

}  // namespace pelm::test

#endif
