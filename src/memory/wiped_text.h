// Memory the library owns while it may hold a secret, a text or a working
// buffer: `length` bytes and a NUL after them, from malloc, wiped whole
// (or as far as it was ever written) before it is freed. It moves but
// never copies, and no step of it throws: an allocation that fails is a
// false from allocate(), which leaves the text empty.
#ifndef PELM_MEMORY_WIPED_TEXT_H
#define PELM_MEMORY_WIPED_TEXT_H

#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "secure_wipe.h"

namespace pelm {

class WipedText {
 public:
  WipedText() = default;
  WipedText(WipedText&& other) noexcept { take(other); }
  WipedText& operator=(WipedText&& other) noexcept {
    if (this != &other) {
      release();
      take(other);
    }
    return *this;
  }
  WipedText(const WipedText&) = delete;
  WipedText& operator=(const WipedText&) = delete;
  ~WipedText() { release(); }

  // Room for `length` bytes, contents unset, and the NUL after them. What the
  // text held before is wiped and freed, also when this fails.
  bool allocate(size_t length) {
    release();
    if (length == SIZE_MAX) return false;
    data_ = static_cast<char*>(std::malloc(length + 1));
    if (data_ == nullptr) return false;
    data_[length] = '\0';
    length_ = room_ = length;
    wiped_ = length + 1;
    return true;
  }

  // Only the first `count` bytes were ever written with anything but zeros:
  // the rest of the room is as malloc gave it, holding nothing of this
  // text's, so the wipe stops there. A large room barely used (an open's
  // result when the trailer promised more than the stream held) is then not
  // faulted in page by page only to be wiped.
  void mark_written(size_t count) {
    if (count < wiped_) wiped_ = count;
  }

  // Ends the text after its first `length` bytes (no more than it has).
  // The bytes cut off are wiped with the rest when the text goes: nothing
  // hands them out, since every reader stops at length().
  void truncate(size_t length) {
    if (length >= length_) return;
    length_ = length;
    data_[length] = '\0';
  }

  char* data() const { return data_; }
  uint8_t* bytes() const { return reinterpret_cast<uint8_t*>(data_); }
  size_t length() const { return length_; }

 private:
  void take(WipedText& other) {
    data_ = other.data_;
    length_ = other.length_;
    room_ = other.room_;
    wiped_ = other.wiped_;
    other.data_ = nullptr;
    other.length_ = other.room_ = other.wiped_ = 0;
  }
  void release() {
    if (data_ != nullptr) {
      secure_wipe(data_, wiped_);
      std::free(data_);
    }
    data_ = nullptr;
    length_ = room_ = wiped_ = 0;
  }

  char* data_ = nullptr;
  size_t length_ = 0;
  size_t room_ = 0;   // the length allocated
  size_t wiped_ = 0;  // how much of it wiping covers: all of it, NUL included, unless marked
};

}  // namespace pelm

#endif
