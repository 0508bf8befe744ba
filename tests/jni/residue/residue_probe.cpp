// Preloaded into a JVM: replaces malloc and free for the one thread that
// arms it, scans every block that thread frees for the needles it was given,
// can fail one of the allocations made outside the JVM itself (the library,
// zlib, libcrypto, the C++ runtime), and scans the stack a call left
// behind. Its natives are those of com.trevik.aes.ResidueProbe.
#include <dlfcn.h>
#include <jni.h>
#include <link.h>
#include <malloc.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "aes_common/wide_registers.h"

extern "C" {
void* __libc_malloc(size_t);
void* __libc_calloc(size_t, size_t);
void* __libc_realloc(void*, size_t);
void* __libc_memalign(size_t, size_t);
void __libc_free(void*);
}

namespace {

constexpr int kMaxNeedles = 8;
constexpr size_t kMaxNeedle = 64;
uint8_t g_needles[kMaxNeedles][kMaxNeedle];
size_t g_needle_lengths[kMaxNeedles];
int g_needle_count;
const char* g_found_where;
int g_found_needle = -1;

// Per thread, in the initial TLS block, so reading it never allocates.
__attribute__((tls_model("initial-exec"))) __thread bool t_armed;
__attribute__((tls_model("initial-exec"))) __thread long t_allocations, t_fail_at, t_found;

// libjvm's code: its own allocations are never failed (HotSpot aborts on
// those by design).
uintptr_t g_jvm_begin, g_jvm_end;

int find_jvm(struct dl_phdr_info* info, size_t, void*) {
  if (info->dlpi_name == nullptr || std::strstr(info->dlpi_name, "libjvm.so") == nullptr) return 0;
  for (int i = 0; i < info->dlpi_phnum; ++i) {
    const ElfW(Phdr)& ph = info->dlpi_phdr[i];
    if (ph.p_type == PT_LOAD && (ph.p_flags & PF_X)) {
      g_jvm_begin = info->dlpi_addr + ph.p_vaddr;
      g_jvm_end = g_jvm_begin + ph.p_memsz;
    }
  }
  return 1;
}

void scan(const void* block, size_t size, const char* where) {
  for (int n = 0; n < g_needle_count; ++n) {
    if (memmem(block, size, g_needles[n], g_needle_lengths[n]) != nullptr) {
      if (t_found++ == 0) {
        g_found_needle = n;
        g_found_where = where;
      }
    }
  }
}

bool fails(void* caller) {
  if (!t_armed) return false;
  const auto at = reinterpret_cast<uintptr_t>(caller);
  if (at >= g_jvm_begin && at < g_jvm_end) return false;
  return ++t_allocations == t_fail_at;
}

// The stack below the caller's frame: cleared before a call, scanned after.
__attribute__((noinline)) void dead_stack(bool clear) {
  uint8_t region[64 << 10];
  if (clear) {
    std::memset(region, 0, sizeof region);
    __asm__ __volatile__("" : : "r"(region) : "memory");
    return;
  }
  __asm__ __volatile__("" : : "r"(region) : "memory");
  scan(region, sizeof region, "the stack");
}

#if defined(__x86_64__)
// Copying the needles in moves the key through vector registers (the JVM's
// array copy); cleared here, so nothing the probe itself did is found.
void clear_vector_registers() {
  if (__builtin_cpu_supports("avx")) pelm::clear_avx_registers();
  if (__builtin_cpu_supports("avx512f")) pelm::clear_avx512_registers();
}
#else
void clear_vector_registers() {}
#endif

}  // namespace

extern "C" {

void* malloc(size_t size) {
  if (fails(__builtin_return_address(0))) return nullptr;
  return __libc_malloc(size);
}

void* calloc(size_t count, size_t size) {
  if (fails(__builtin_return_address(0))) return nullptr;
  return __libc_calloc(count, size);
}

void free(void* p) {
  if (p == nullptr) return;
  if (t_armed) scan(p, malloc_usable_size(p), "a freed block");
  __libc_free(p);
}

void* realloc(void* p, size_t size) {
  if (!t_armed) return __libc_realloc(p, size);
  if (fails(__builtin_return_address(0))) return nullptr;
  void* moved = __libc_malloc(size);
  if (moved == nullptr || p == nullptr) return moved;
  const size_t old = malloc_usable_size(p);
  std::memcpy(moved, p, old < size ? old : size);
  free(p);
  return moved;
}

void* memalign(size_t alignment, size_t size) {
  if (fails(__builtin_return_address(0))) return nullptr;
  return __libc_memalign(alignment, size);
}

void* aligned_alloc(size_t alignment, size_t size) { return memalign(alignment, size); }

int posix_memalign(void** out, size_t alignment, size_t size) {
  if (fails(__builtin_return_address(0))) return ENOMEM;
  *out = __libc_memalign(alignment, size);
  return *out == nullptr ? ENOMEM : 0;
}

JNIEXPORT void JNICALL Java_com_trevik_aes_ResidueProbe_arm(JNIEnv* env, jclass, jobjectArray needles,
                                                            jint fail_at) {
  if (g_jvm_end == 0) dl_iterate_phdr(find_jvm, nullptr);
  g_needle_count = 0;
  for (jsize i = 0; i < env->GetArrayLength(needles) && i < kMaxNeedles; ++i) {
    auto needle = static_cast<jbyteArray>(env->GetObjectArrayElement(needles, i));
    const jsize length = env->GetArrayLength(needle);
    if (length <= 0 || static_cast<size_t>(length) > kMaxNeedle) continue;
    env->GetByteArrayRegion(needle, 0, length, reinterpret_cast<jbyte*>(g_needles[g_needle_count]));
    g_needle_lengths[g_needle_count++] = static_cast<size_t>(length);
    env->DeleteLocalRef(needle);
  }
  t_allocations = 0;
  t_fail_at = fail_at;
  t_found = 0;
  g_found_needle = -1;
  clear_vector_registers();
  dead_stack(true);
  t_armed = true;
}

// Disarms; the number of places a needle was found, the stack included.
JNIEXPORT jint JNICALL Java_com_trevik_aes_ResidueProbe_disarm(JNIEnv*, jclass) {
  t_armed = false;
  dead_stack(false);
  return static_cast<jint>(t_found);
}

JNIEXPORT jlong JNICALL Java_com_trevik_aes_ResidueProbe_allocations(JNIEnv*, jclass) {
  return t_allocations;
}

JNIEXPORT jstring JNICALL Java_com_trevik_aes_ResidueProbe_firstFound(JNIEnv* env, jclass) {
  if (g_found_needle < 0) return env->NewStringUTF("nothing");
  char text[96];
  std::snprintf(text, sizeof text, "needle %d in %s", g_found_needle, g_found_where);
  return env->NewStringUTF(text);
}

}  // extern "C"
