#include "test_support.h"

#include <android/log.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <stdexcept>

namespace pelm::test {

namespace {
std::mutex g_log_mutex;
std::vector<LogRecord> g_log_records;

int nibble(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  throw std::invalid_argument("not hex");
}

std::string trim(const std::string& s) {
  const size_t b = s.find_first_not_of(" \t\r");
  if (b == std::string::npos) return "";
  return s.substr(b, s.find_last_not_of(" \t\r") - b + 1);
}
}  // namespace

std::string from_hex(const std::string& hex) {
  std::string out(hex.size() / 2, '\0');
  for (size_t i = 0; i < out.size(); ++i)
    out[i] = static_cast<char>(nibble(hex[2 * i]) * 16 + nibble(hex[2 * i + 1]));
  return out;
}

std::string to_hex(const std::string& bytes) {
  static const char digits[] = "0123456789abcdef";
  std::string out;
  for (unsigned char c : bytes) {
    out += digits[c >> 4];
    out += digits[c & 15];
  }
  return out;
}

std::string random_bytes(std::mt19937_64& rng, size_t length) {
  std::string out(length, '\0');
  for (auto& c : out) c = static_cast<char>(rng());
  return out;
}

std::string data_path(const std::string& name) {
  return std::string(PELM_TEST_DATA_DIR) + "/" + name;
}

std::vector<std::map<std::string, std::string>> read_vector_file(const std::string& path) {
  std::ifstream in(path);
  if (!in) throw std::runtime_error("cannot read " + path);
  std::vector<std::map<std::string, std::string>> blocks;
  std::map<std::string, std::string> block;
  std::string line;
  auto flush = [&] {
    if (!block.empty()) blocks.push_back(block);
    block.clear();
  };
  while (std::getline(in, line)) {
    line = trim(line);
    if (line.empty()) {
      flush();
      continue;
    }
    if (line[0] == '#') continue;
    size_t sep = line.find(" = ");
    size_t skip = 3;
    if (sep == std::string::npos) {
      sep = line.find(':');
      skip = 1;
    }
    if (sep == std::string::npos) {
      // "Plaintext =" with an empty value
      if (line.back() == '=') block[trim(line.substr(0, line.size() - 1))] = "";
      continue;
    }
    block[trim(line.substr(0, sep))] = trim(line.substr(sep + skip));
  }
  flush();
  return blocks;
}

bool memory_cap_works() {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__) || defined(PELM_UNDER_EMULATOR)
  return false;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
  return false;
#else
  return true;
#endif
#else
  return true;
#endif
}

int run_with_memory_cap(size_t headroom, const std::function<int()>& body) {
  const pid_t pid = fork();
  if (pid == 0) {
    std::ifstream statm("/proc/self/statm");
    size_t pages = 0;
    statm >> pages;
    const rlim_t cap = pages * sysconf(_SC_PAGESIZE) + headroom;
    const rlimit limit{cap, cap};
    setrlimit(RLIMIT_AS, &limit);
    _exit(body());
  }
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

LogCapture::LogCapture() {
  std::lock_guard<std::mutex> lock(g_log_mutex);
  g_log_records.clear();
  __android_log_set_logger(&LogCapture::logger);
}

LogCapture::~LogCapture() { __android_log_set_logger(__android_log_stderr_logger); }

std::vector<LogRecord> LogCapture::records() const {
  std::lock_guard<std::mutex> lock(g_log_mutex);
  return g_log_records;
}

void LogCapture::logger(const __android_logger_data* data, const char* message) {
  std::lock_guard<std::mutex> lock(g_log_mutex);
  g_log_records.push_back({data->priority, data->tag ? data->tag : "", message});
}

}  // namespace pelm::test
