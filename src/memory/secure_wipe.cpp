#include "secure_wipe.h"

#include <cstring>

namespace pelm {

void secure_wipe(void* data, size_t length) {
  if (data == nullptr || length == 0) return;
  std::memset(data, 0, length);
  // The compiler must assume the asm reads the cleared bytes, so the
  // memset above stays, whatever it can prove about `data` afterwards.
  __asm__ __volatile__("" : : "r"(data) : "memory");
}

// More than the deepest frame of the AES kernels (a few hundred bytes).
constexpr size_t kStackToWipe = 2048;

__attribute__((noinline)) void wipe_stack_below() {
  unsigned char frames[kStackToWipe];
  secure_wipe(frames, sizeof frames);
}

}  // namespace pelm
