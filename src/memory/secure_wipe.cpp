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

}  // namespace pelm
