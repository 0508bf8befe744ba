#include "java_strings.h"

#include <climits>
#include <cstdlib>
#include <utility>

#include "aes128/hex_digit.h"
#include "java_text.h"
#include "memory/secure_wipe.h"
#include "local_ref.h"

namespace pelm::jni {

namespace {

static_assert(sizeof(jchar) == sizeof(char16_t), "jchar is a UTF-16 unit");

// UTF-16 working space: on the stack for the short texts most calls carry,
// on the heap beyond that. It holds keys and plaintexts, so it is wiped
// when it goes.
class Units {
 public:
  explicit Units(size_t count) : count_(count) {
    if (count > kInline) {
      data_ = count <= SIZE_MAX / sizeof(char16_t)
                  ? static_cast<char16_t*>(std::malloc(count * sizeof(char16_t)))
                  : nullptr;
    }
  }
  ~Units() {
    if (data_ == nullptr) return;
    secure_wipe(data_, count_ * sizeof(char16_t));
    if (data_ != inline_) std::free(data_);
  }
  Units(const Units&) = delete;
  Units& operator=(const Units&) = delete;
  char16_t* get() const { return data_; }  // null when allocation failed

 private:
  static constexpr size_t kInline = 512;
  char16_t inline_[kInline];
  size_t count_;
  char16_t* data_ = inline_;
};

bool is_ascii(const char* bytes, size_t length) {
  uint8_t any = 0;  // no early exit, so the loop vectorises
  for (size_t i = 0; i < length; ++i) any |= static_cast<uint8_t>(bytes[i]);
  return (any & 0x80) == 0;
}

// Whether every unit is U+0001 to U+007F, whose byte form is the unit itself.
bool is_plain_ascii(const char16_t* units, size_t count) {
  char16_t any = 0, least = 0xFFFF;  // no early exit, so the loop vectorises
  for (size_t i = 0; i < count; ++i) {
    any |= units[i];
    least = units[i] < least ? units[i] : least;
  }
  return (any & 0xFF80) == 0 && (count == 0 || least != 0);
}

void narrow(const char16_t* __restrict units, size_t count, char* __restrict bytes) {
  for (size_t i = 0; i < count; ++i) bytes[i] = static_cast<char>(units[i]);
}

// Above this many bytes an ASCII result is built from a byte[] by the
// runtime's Latin-1 copy, whose two lookups cost less than the runtime's
// byte-by-byte UTF-8 scans; below it NewStringUTF is cheaper.
constexpr size_t kByteArrayResult = 4096;

// Zeroes a Java byte array, also when the call that used it threw: the
// pending exception is set aside for the JNI calls and thrown again.
void clear_byte_array(JNIEnv* env, jbyteArray array, jsize length) {
  LocalRef<jthrowable> pending(env, env->ExceptionOccurred());
  if (pending) env->ExceptionClear();
  if (void* elements = env->GetPrimitiveArrayCritical(array, nullptr)) {
    secure_wipe(elements, static_cast<size_t>(length));
    env->ReleasePrimitiveArrayCritical(array, elements, 0);  // a copy goes back zeroed
  } else {
    env->ExceptionClear();  // no memory for a copy: zeroes in pieces instead
    static const jbyte kZeros[1024] = {};
    for (jsize done = 0; done < length; done += 1024) {
      env->SetByteArrayRegion(array, done, length - done < 1024 ? length - done : 1024, kZeros);
    }
  }
  if (pending) env->Throw(pending.get());
}

jstring new_ascii_string_from_bytes(JNIEnv* env, const char* bytes, jsize length) {
  LocalRef<jclass> string_class(env, env->FindClass("java/lang/String"));
  if (!string_class) return nullptr;
  // String(byte[] ascii, int hibyte, int offset, int count): with hibyte 0
  // each byte is one character, copied as it is.
  const jmethodID constructor = env->GetMethodID(string_class.get(), "<init>", "([BIII)V");
  if (constructor == nullptr) return nullptr;
  LocalRef<jbyteArray> array(env, env->NewByteArray(length));
  if (!array) return nullptr;
  env->SetByteArrayRegion(array.get(), 0, length, reinterpret_cast<const jbyte*>(bytes));
  const auto string = static_cast<jstring>(
      env->NewObject(string_class.get(), constructor, array.get(), jint{0}, jint{0}, length));
  // The String has its own copy; this one would hold an opened text on the
  // Java heap until the collector got to it.
  clear_byte_array(env, array.get(), length);
  return string;
}

// Texts are read in pieces through a small wiped buffer on the stack, so no
// UTF-16 copy of a whole text is allocated, filled and wiped.
constexpr size_t kChunkUnits = 2048;

// Hands the string's `total` units to `take(piece, offset, units)` piece by
// piece until it returns false. False, with the runtime's exception
// pending, when a piece cannot be read.
template <typename Take>
bool read_in_pieces(JNIEnv* env, jstring string, size_t total, Take take) {
  char16_t piece[kChunkUnits];
  bool read = true;
  for (size_t done = 0; done < total; done += kChunkUnits) {
    const size_t n = total - done < kChunkUnits ? total - done : kChunkUnits;
    env->GetStringRegion(string, static_cast<jsize>(done), static_cast<jsize>(n),
                         reinterpret_cast<jchar*>(piece));
    if (env->ExceptionCheck()) {
      read = false;
      break;
    }
    if (!take(piece, done, n)) break;
  }
  secure_wipe(piece, (total < kChunkUnits ? total : kChunkUnits) * sizeof(char16_t));
  return read;
}

// The usual text is plain ASCII, narrowed straight into its byte form. Kept
// only when every piece is plain ASCII; otherwise the caller takes the
// general path.
// False, with `plain` unset, when the string cannot be read or the bytes
// cannot be allocated.
bool read_plain_ascii(JNIEnv* env, jstring string, jsize count, WipedText& out, bool& plain) {
  const size_t total = static_cast<size_t>(count);
  plain = false;
  WipedText bytes;
  if (!bytes.allocate(total)) return false;
  size_t done = 0;
  const bool read = read_in_pieces(env, string, total, [&](const char16_t* piece, size_t at, size_t n) {
    if (!is_plain_ascii(piece, n)) return false;
    narrow(piece, n, bytes.data() + at);
    done = at + n;
    return true;
  });
  plain = read && done == total;
  if (plain) out = std::move(bytes);
  return read;
}

}  // namespace

bool read_java_text(JNIEnv* env, jstring string, WipedText& out) {
  const jsize count = env->GetStringLength(string);
  if (env->ExceptionCheck()) return false;
  bool plain = false;
  if (!read_plain_ascii(env, string, count, out, plain)) return false;
  if (plain) return true;
  Units units(static_cast<size_t>(count));
  if (units.get() == nullptr) return false;
  env->GetStringRegion(string, 0, count, reinterpret_cast<jchar*>(units.get()));
  if (env->ExceptionCheck()) return false;
  WipedText bytes;
  if (!bytes.allocate(java_text_length(units.get(), count))) return false;
  encode_java_text(units.get(), count, bytes.data());
  out = std::move(bytes);
  return true;
}

bool decode_java_hex(JNIEnv* env, jstring string, jsize count, uint8_t* bytes, bool& is_hex) {
  static_assert(kChunkUnits % 2 == 0, "a digit pair never straddles two pieces");
  is_hex = false;
  if (count % 2 != 0) return true;
  const size_t total = static_cast<size_t>(count);
  uint8_t digits[kChunkUnits];  // each piece narrowed, so the decoding vectorises
  uint8_t fault = 0;
  const bool read = read_in_pieces(env, string, total, [&](const char16_t* piece, size_t at, size_t n) {
    char16_t any = 0;
    for (size_t i = 0; i < n; ++i) {
      any |= piece[i];
      digits[i] = static_cast<uint8_t>(piece[i]);
    }
    fault |= static_cast<uint8_t>(any > 0x7F);  // a unit beyond ASCII is no digit
    aes128::decode_hex_pairs(digits, n / 2, bytes + at / 2, fault);
    return fault == 0;
  });
  secure_wipe(digits, total < kChunkUnits ? total : kChunkUnits);
  is_hex = read && fault == 0;
  return read;
}

jstring new_java_string(JNIEnv* env, const char* bytes, size_t length) {
  if (length > static_cast<size_t>(INT_MAX)) return nullptr;  // not a jsize
  // ASCII, the usual result (Base64, hex, most texts), reads the same in
  // every UTF-8 form, and the runtime builds it without a UTF-16 detour.
  if (is_ascii(bytes, length)) {
    return length >= kByteArrayResult
               ? new_ascii_string_from_bytes(env, bytes, static_cast<jsize>(length))
               : env->NewStringUTF(bytes);
  }
  Units units(length);
  if (units.get() == nullptr) return nullptr;
  const size_t count =
      decode_java_text(reinterpret_cast<const uint8_t*>(bytes), length, units.get());
  return env->NewString(reinterpret_cast<const jchar*>(units.get()), static_cast<jsize>(count));
}

}  // namespace pelm::jni
