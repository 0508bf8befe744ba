#include "java_strings.h"

#include <climits>
#include <memory>
#include <new>

#include "java_text.h"

namespace pelm::jni {

namespace {

static_assert(sizeof(jchar) == sizeof(char16_t), "jchar is a UTF-16 unit");

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

// A string of U+0001 to U+007F only has the same bytes in every form, and
// is the one kind whose modified UTF-8 length equals its length; the
// runtime then copies it out without a UTF-16 detour.
bool read_ascii_text(JNIEnv* env, jstring string, jsize count, std::string& out) {
  try {
    std::string bytes(static_cast<size_t>(count) + 1, '\0');  // room for the NUL it writes
    env->GetStringUTFRegion(string, 0, count, &bytes[0]);
    if (env->ExceptionCheck()) return false;
    bytes.resize(static_cast<size_t>(count));
    out.swap(bytes);
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

bool is_ascii(const char* bytes, size_t length) {
  uint8_t any = 0;  // no early exit, so the loop vectorises
  for (size_t i = 0; i < length; ++i) any |= static_cast<uint8_t>(bytes[i]);
  return (any & 0x80) == 0;
}

}  // namespace

bool read_java_text(JNIEnv* env, jstring string, std::string& out) {
  const jsize count = env->GetStringLength(string);
  if (env->ExceptionCheck()) return false;
  const jsize utf_length = env->GetStringUTFLength(string);
  if (env->ExceptionCheck()) return false;
  if (utf_length == count) return read_ascii_text(env, string, count, out);

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
  // ASCII, the usual result (Base64, hex, most texts), reads the same in
  // every UTF-8 form, and the runtime builds it without a UTF-16 detour.
  if (is_ascii(bytes, length)) return env->NewStringUTF(bytes);
  Units units(length);
  if (units.get() == nullptr) return nullptr;
  const size_t count =
      decode_java_text(reinterpret_cast<const uint8_t*>(bytes), length, units.get());
  return env->NewString(reinterpret_cast<const jchar*>(units.get()), static_cast<jsize>(count));
}

}  // namespace pelm::jni
