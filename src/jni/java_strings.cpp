#include "java_strings.h"

#include <climits>
#include <memory>
#include <new>

#include "java_text.h"

namespace pelm::jni {

namespace {

// UTF-16 working space: on the stack for the short texts most calls carry,
// on the heap beyond that.
class Units {
 public:
  explicit Units(size_t count) {
    if (count > kInline) {
      heap_.reset(new (std::nothrow) char16_t[count]);
      data_ = heap_.get();
    }
  }
  Units(const Units&) = delete;
  Units& operator=(const Units&) = delete;
  char16_t* get() const { return data_; }  // null when allocation failed

 private:
  static constexpr size_t kInline = 512;
  char16_t inline_[kInline];
  std::unique_ptr<char16_t[]> heap_;
  char16_t* data_ = inline_;
};

static_assert(sizeof(jchar) == sizeof(char16_t), "jchar is a UTF-16 unit");

}  // namespace

bool read_java_text(JNIEnv* env, jstring string, std::string& out) {
  const jsize count = env->GetStringLength(string);
  if (env->ExceptionCheck()) return false;
  Units units(static_cast<size_t>(count));
  if (units.get() == nullptr) return false;
  env->GetStringRegion(string, 0, count, reinterpret_cast<jchar*>(units.get()));
  if (env->ExceptionCheck()) return false;
  try {
    std::string bytes(java_text_length(units.get(), count), '\0');
    encode_java_text(units.get(), count, &bytes[0]);
    out.swap(bytes);
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

jstring new_java_string(JNIEnv* env, const char* bytes, size_t length) {
  if (length > static_cast<size_t>(INT_MAX)) return nullptr;  // not a jsize
  Units units(length);
  if (units.get() == nullptr) return nullptr;
  const size_t count =
      decode_java_text(reinterpret_cast<const uint8_t*>(bytes), length, units.get());
  return env->NewString(reinterpret_cast<const jchar*>(units.get()), static_cast<jsize>(count));
}

}  // namespace pelm::jni
