// The tool's texts that may be secret (key and IV texts, the data, the
// result): wiped before their memory goes back or is left behind by a
// growth, as the library wipes its own.
#ifndef PELM_CLI_SECRET_TEXT_H
#define PELM_CLI_SECRET_TEXT_H

#include <string.h>

#include <algorithm>
#include <cstddef>
#include <optional>
#include <string>

namespace pelm::cli {

// Clears every byte the string owns, its spare capacity included.
inline void wipe_text(std::string& text) {
  text.resize(text.capacity());
  explicit_bzero(&text[0], text.size());
  text.clear();
}

inline void wipe_text(std::optional<std::string>& text) {
  if (text) wipe_text(*text);
}

// Appends without leaving a copy behind: when the string must grow, the
// bytes move to a buffer twice as large and the old one is wiped first.
inline void append_text(std::string& text, const char* bytes, size_t length) {
  if (text.size() + length > text.capacity()) {
    std::string larger;
    larger.reserve(std::max(2 * text.capacity(), text.size() + length));
    larger.append(text);
    wipe_text(text);
    text.swap(larger);
  }
  text.append(bytes, length);
}

// Runs `wipe` when the scope ends, however it ends:
//   WipeOnExit wipe{[&] { wipe_text(key); wipe_text(data); }};
template <typename Wipe>
class WipeOnExit {
 public:
  explicit WipeOnExit(Wipe wipe) : wipe_(wipe) {}
  ~WipeOnExit() { wipe_(); }
  WipeOnExit(const WipeOnExit&) = delete;
  WipeOnExit& operator=(const WipeOnExit&) = delete;

 private:
  Wipe wipe_;
};

}  // namespace pelm::cli

#endif
