// The C++ exports: the envelope codec and the lenient hex decoder on
// std::string. Only this file makes std::string objects. It fills them with
// the C++ library's header code alone (the range constructor and move
// assignment), so an optimised build without exceptions links none of the
// C++ library's compiled string functions, whose length checks throw.
//
// Filling a std::string is the one step that cannot report running out of
// memory by a return value. Built with exceptions, that bad_alloc is caught
// here and the call returns false, as every other failure does; built
// without them (Android), the allocation ends the process, as it does in
// any code built that way.
#include <cstdint>
#include <iterator>
#include <new>
#include <string>

#include "envelope_codec.h"
#include "envelope_internal.h"
#include "pelm/envelope.h"

using pelm::WipedText;
using pelm::envelope::TextSpan;

namespace {

TextSpan span(const std::string& text) { return {text.data(), text.size()}; }

// Replaces `out` with the text's bytes; false when memory ran out.
bool replace_with(std::string& out, const WipedText& text) {
  const char* bytes = text.data();
#if defined(__cpp_exceptions)
  try {
    out = std::string(bytes, bytes + text.length());
  } catch (const std::bad_alloc&) {
    return false;  // out keeps what it held
  }
#else
  out = std::string(bytes, bytes + text.length());
#endif
  return true;
}

// Reads a hex text as the bytes its digit pairs stand for, so the key bytes
// go straight into the caller's string with no copy of ours in between.
class HexPairs {
 public:
  using iterator_category = std::forward_iterator_tag;
  using value_type = char;
  using difference_type = std::ptrdiff_t;
  using pointer = const char*;
  using reference = char;

  explicit HexPairs(const char* at) : at_(at) {}
  char operator*() const {
    uint8_t byte;
    pelm::envelope::hex_line_into(at_, 1, &byte);
    return static_cast<char>(byte);
  }
  HexPairs& operator++() {
    at_ += 2;
    return *this;
  }
  HexPairs operator++(int) {
    HexPairs before = *this;
    at_ += 2;
    return before;
  }
  bool operator==(const HexPairs& other) const { return at_ == other.at_; }
  bool operator!=(const HexPairs& other) const { return at_ != other.at_; }

 private:
  const char* at_;
};

}  // namespace

bool myEncrypt(const std::string& key, const std::string& iv, const std::string& data,
               std::string& out) {
  WipedText text;
  if (!pelm::envelope::seal_envelope(span(key), span(iv), span(data), text)) return false;
  return replace_with(out, text);
}

bool myDecrypt(const std::string& key, const std::string& iv, const std::string& envelope,
               std::string& out) {
  WipedText text;
  if (!pelm::envelope::open_envelope(span(key), span(iv), span(envelope), text)) return false;
  return replace_with(out, text);
}

std::string myHexLine(const std::string& text) {
  if (text.size() % 2 != 0) return std::string();
  const char* digits = text.data();
  return std::string(HexPairs(digits), HexPairs(digits + text.size()));
}
