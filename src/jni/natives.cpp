// The four natives. Each reads its three strings in the library's one byte
// form (java_text.h), runs one codec, and builds its result from the bytes
// it got back, so every text, emoji and U+0000 included, survives a round
// trip on every runtime.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "java_strings.h"
#include "aes128/text_decrypt.h"
#include "envelope/envelope_codec.h"
#include "memory/secure_wipe.h"
#include "memory/wiped_text.h"
#include "pelm/jni_bridge.h"
#include "pelm/text_cipher.h"
#include "threads/cancellation.h"

using pelm::jni::decode_java_hex;
using pelm::jni::new_java_string;
using pelm::jni::read_java_text;
using pelm::WipedText;
using pelm::envelope::TextSpan;

namespace {

constexpr size_t kCipherKeyBytes = 16;

// The call's copies of its three strings, wiped when the call is done with
// them: they hold the key, the IV and the plaintext.
struct CallTexts {
  WipedText key, iv, data;
};

TextSpan span(const WipedText& text) { return {text.data(), text.length()}; }

// Reads data, key and IV in that order; stops at the first failure, which
// leaves the runtime's exception pending if it raised one.
bool read_texts(JNIEnv* env, jstring key, jstring iv, jstring data, CallTexts& texts) {
  if (key == nullptr || iv == nullptr || data == nullptr) return false;
  return read_java_text(env, data, texts.data) && read_java_text(env, key, texts.key) &&
         read_java_text(env, iv, texts.iv);
}

using EnvelopeCodec = bool (*)(TextSpan, TextSpan, TextSpan, WipedText&);

jstring run_envelope(JNIEnv* env, jstring key, jstring iv, jstring data,
                     EnvelopeCodec codec) {
  WipedText out;  // the codec's result, wiped once the Java string is made
  {
    CallTexts texts;
    if (!read_texts(env, key, iv, data, texts)) return nullptr;
    if (!codec(span(texts.key), span(texts.iv), span(texts.data), out)) return nullptr;
  }
  // An opened text ends at its first zero byte; U+0000 travels as C0 80.
  return new_java_string(env, out.data(), std::strlen(out.data()));
}

// A result string holds at most INT32_MAX characters, so method03's hex (two
// per byte of the padded text) allows texts below this many bytes. A string
// is at least as many bytes as it has UTF-16 units, so longer ones are
// refused before anything is read, allocated or encrypted.
constexpr size_t kMaxTextForHex = INT32_MAX / 2 / 16 * 16 - 1;

// The cipher reads 16 bytes of each of key and IV; shorter texts would be
// overread.
bool usable_cipher_keys(const CallTexts& texts) {
  return texts.key.length() >= kCipherKeyBytes && texts.iv.length() >= kCipherKeyBytes;
}

jstring run_text_encrypt(JNIEnv* env, jstring key, jstring iv, jstring data) {
  if (data != nullptr && static_cast<size_t>(env->GetStringLength(data)) > kMaxTextForHex) {
    return nullptr;
  }
  char* result;
  {
    CallTexts texts;
    if (!read_texts(env, key, iv, data, texts)) return nullptr;
    if (texts.data.length() > kMaxTextForHex || !usable_cipher_keys(texts)) return nullptr;
    result = ll11l1l1ll(texts.key.bytes(), texts.iv.bytes(), texts.data.data());
  }
  if (result == nullptr) return nullptr;
  const size_t length = std::strlen(result);
  jstring string = new_java_string(env, result, length);
  pelm::secure_wipe(result, length);
  std::free(result);
  return string;
}

// method04 decodes its hex straight from the Java string into the buffer
// it decrypts in place; the same result as the text cipher on the string's
// bytes, without the whole-text copies.
jstring run_hex_decrypt(JNIEnv* env, jstring key, jstring iv, jstring data) {
  if (key == nullptr || iv == nullptr || data == nullptr) return nullptr;
  const jsize count = env->GetStringLength(data);
  if (env->ExceptionCheck() || count == 0 || count % 2 != 0) return nullptr;
  const size_t length = static_cast<size_t>(count) / 2;
  WipedText text;  // the ciphertext, decrypted in place; the NUL after it ends the text
  if (!text.allocate(length)) return nullptr;
  bool is_hex = false;
  if (!decode_java_hex(env, data, count, text.bytes(), is_hex) || !is_hex) return nullptr;
  {
    CallTexts texts;
    if (!read_java_text(env, key, texts.key) || !read_java_text(env, iv, texts.iv)) return nullptr;
    if (!usable_cipher_keys(texts)) return nullptr;
    pelm::aes128::decrypt_text_in_place(texts.key.bytes(), texts.iv.bytes(), text.bytes(), length);
  }
  return new_java_string(env, text.data(), std::strlen(text.data()));
}

// Every failure of a native is a null result, also when the runtime could
// not allocate a string or array for the call (its OutOfMemoryError is
// cleared, not thrown at the caller): the class promises null on any
// failure, and an app checks for null.
jstring null_on_failure(JNIEnv* env, jstring result) {
  if (env->ExceptionCheck()) {
    env->ExceptionClear();
    if (result != nullptr) env->DeleteLocalRef(result);
    return nullptr;
  }
  return result;
}

}  // namespace

extern "C" jstring method01(JNIEnv* env, jobject, jstring key, jstring iv, jstring data) {
  const pelm::CancellationHeldOff not_here;
  return null_on_failure(env, run_envelope(env, key, iv, data, pelm::envelope::seal_envelope));
}

extern "C" jstring method02(JNIEnv* env, jobject, jstring key, jstring iv, jstring data) {
  const pelm::CancellationHeldOff not_here;
  return null_on_failure(env, run_envelope(env, key, iv, data, pelm::envelope::open_envelope));
}

extern "C" jstring method03(JNIEnv* env, jobject, jstring key, jstring iv, jstring data) {
  const pelm::CancellationHeldOff not_here;
  return null_on_failure(env, run_text_encrypt(env, key, iv, data));
}

extern "C" jstring method04(JNIEnv* env, jobject, jstring key, jstring iv, jstring data) {
  const pelm::CancellationHeldOff not_here;
  return null_on_failure(env, run_hex_decrypt(env, key, iv, data));
}
