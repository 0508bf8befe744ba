// The four natives. Each reads its three strings in the library's one byte
// form (java_text.h), runs one codec, and builds its result from the bytes
// it got back, so every text, emoji and U+0000 included, survives a round
// trip on every runtime.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "java_strings.h"
#include "memory/secure_wipe.h"
#include "pelm/envelope.h"
#include "pelm/jni_bridge.h"
#include "pelm/text_cipher.h"

using pelm::jni::new_java_string;
using pelm::jni::read_java_text;

namespace {

constexpr size_t kCipherKeyBytes = 16;

// The call's copies of its three strings, wiped when the call is done with
// them: they hold the key, the IV and the plaintext.
struct CallTexts {
  std::string key, iv, data;
  CallTexts() = default;
  CallTexts(const CallTexts&) = delete;
  CallTexts& operator=(const CallTexts&) = delete;
  ~CallTexts() {
    for (std::string* s : {&key, &iv, &data}) pelm::secure_wipe(&(*s)[0], s->size());
  }
};

// The codec's result, wiped once the Java string is made from it.
struct WipedResult {
  std::string text;
  ~WipedResult() { pelm::secure_wipe(&text[0], text.size()); }
};

// Reads data, key and IV in that order; stops at the first failure, which
// leaves the runtime's exception pending if it raised one.
bool read_texts(JNIEnv* env, jstring key, jstring iv, jstring data, CallTexts& texts) {
  if (key == nullptr || iv == nullptr || data == nullptr) return false;
  return read_java_text(env, data, texts.data) && read_java_text(env, key, texts.key) &&
         read_java_text(env, iv, texts.iv);
}

using EnvelopeCodec = bool (*)(const std::string&, const std::string&,
                               const std::string&, std::string&);
using TextCipher = char* (*)(const uint8_t*, const uint8_t*, const char*);

jstring run_envelope(JNIEnv* env, jstring key, jstring iv, jstring data,
                     EnvelopeCodec codec) {
  WipedResult out;
  {
    CallTexts texts;
    if (!read_texts(env, key, iv, data, texts)) return nullptr;
    if (!codec(texts.key, texts.iv, texts.data, out.text)) return nullptr;
  }
  // An opened text ends at its first zero byte; U+0000 travels as C0 80.
  return new_java_string(env, out.text.c_str(), std::strlen(out.text.c_str()));
}

// A result string holds at most INT32_MAX characters, so method03's hex (two
// per byte of the padded text) allows texts below this many bytes. A string
// is at least as many bytes as it has UTF-16 units, so longer ones are
// refused before anything is read, allocated or encrypted.
constexpr size_t kMaxTextForHex = INT32_MAX / 2 / 16 * 16 - 1;

jstring run_text_cipher(JNIEnv* env, jstring key, jstring iv, jstring data,
                        TextCipher cipher, size_t max_data_bytes) {
  if (data != nullptr && static_cast<size_t>(env->GetStringLength(data)) > max_data_bytes) {
    return nullptr;
  }
  char* result;
  {
    CallTexts texts;
    if (!read_texts(env, key, iv, data, texts)) return nullptr;
    if (texts.data.size() > max_data_bytes) return nullptr;
    // The cipher reads 16 bytes of each; shorter texts would be overread.
    if (texts.key.size() < kCipherKeyBytes || texts.iv.size() < kCipherKeyBytes) {
      return nullptr;
    }
    result = cipher(reinterpret_cast<const uint8_t*>(texts.key.data()),
                    reinterpret_cast<const uint8_t*>(texts.iv.data()), texts.data.c_str());
  }
  if (result == nullptr) return nullptr;
  const size_t length = std::strlen(result);
  jstring string = new_java_string(env, result, length);
  pelm::secure_wipe(result, length);
  std::free(result);
  return string;
}

}  // namespace

extern "C" jstring method01(JNIEnv* env, jobject, jstring key, jstring iv, jstring data) {
  return run_envelope(env, key, iv, data, myEncrypt);
}

extern "C" jstring method02(JNIEnv* env, jobject, jstring key, jstring iv, jstring data) {
  return run_envelope(env, key, iv, data, myDecrypt);
}

extern "C" jstring method03(JNIEnv* env, jobject, jstring key, jstring iv, jstring data) {
  return run_text_cipher(env, key, iv, data, ll11l1l1ll, kMaxTextForHex);
}

extern "C" jstring method04(JNIEnv* env, jobject, jstring key, jstring iv, jstring data) {
  // The decrypted text is shorter than its hex: no limit beyond the cipher's.
  return run_text_cipher(env, key, iv, data, ll11lll11l, SIZE_MAX);
}
