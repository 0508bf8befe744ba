// A working buffer from malloc, wiped before it is freed, for anything that
// holds a secret at some point: plaintexts, keys' work, and what is made
// from them. Null when the allocation failed.
#ifndef PELM_MEMORY_WIPED_BUFFER_H
#define PELM_MEMORY_WIPED_BUFFER_H

#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "secure_wipe.h"

namespace pelm {

class WipedBuffer {
 public:
  explicit WipedBuffer(size_t size)
      : data_(static_cast<uint8_t*>(std::malloc(size == 0 ? 1 : size))), size_(size) {}
  ~WipedBuffer() {
    secure_wipe(data_, size_);
    std::free(data_);
  }
  WipedBuffer(const WipedBuffer&) = delete;
  WipedBuffer& operator=(const WipedBuffer&) = delete;
  uint8_t* get() const { return data_; }
  explicit operator bool() const { return data_ != nullptr; }

 private:
  uint8_t* data_;
  size_t size_;
};

}  // namespace pelm

#endif
