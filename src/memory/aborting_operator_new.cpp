// The library's global operator new and delete in a build without C++
// exceptions, where there is no bad_alloc to throw: malloc and free, and
// when memory runs out, a log record and the end of the process. Without
// these the C++ runtime's own operator new would bring its whole exception
// machinery into the library. Only the std::string results of the C++
// exports are allocated this way; everything else the library allocates
// comes from malloc and reports its failure itself.
#include <cstddef>
#include <cstdlib>
#include <new>

#include "pelm/envelope.h"

namespace {

[[noreturn]] void out_of_memory(size_t size) {
  err_log("out of memory for a %zu-byte std::string", size);
  std::abort();
}

void* allocate(size_t size) {
  void* memory = std::malloc(size == 0 ? 1 : size);
  if (memory == nullptr) out_of_memory(size);
  return memory;
}

void* allocate_aligned(size_t size, std::align_val_t alignment) {
  void* memory = nullptr;
  const size_t bytes = static_cast<size_t>(alignment);
  if (posix_memalign(&memory, bytes < sizeof(void*) ? sizeof(void*) : bytes, size == 0 ? 1 : size) != 0) {
    out_of_memory(size);
  }
  return memory;
}

}  // namespace

// Every form the C++ library's headers may call, the over-aligned ones too:
// an unoptimised build keeps libc++'s choice between them to run time.
void* operator new(size_t size) { return allocate(size); }
void* operator new[](size_t size) { return allocate(size); }
void operator delete(void* memory) noexcept { std::free(memory); }
void operator delete[](void* memory) noexcept { std::free(memory); }
void operator delete(void* memory, size_t) noexcept { std::free(memory); }
void operator delete[](void* memory, size_t) noexcept { std::free(memory); }
void* operator new(size_t size, std::align_val_t alignment) { return allocate_aligned(size, alignment); }
void* operator new[](size_t size, std::align_val_t alignment) { return allocate_aligned(size, alignment); }
void operator delete(void* memory, std::align_val_t) noexcept { std::free(memory); }
void operator delete[](void* memory, std::align_val_t) noexcept { std::free(memory); }
void operator delete(void* memory, size_t, std::align_val_t) noexcept { std::free(memory); }
void operator delete[](void* memory, size_t, std::align_val_t) noexcept { std::free(memory); }
