// The four natives. Each borrows the three strings' modified UTF-8 bytes,
// runs one codec, gives the bytes back, and only then builds its result.
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "pelm/envelope.h"
#include "pelm/jni_bridge.h"
#include "pelm/text_cipher.h"

namespace {

constexpr size_t kCipherKeyBytes = 16;

// The three texts of one call, borrowed in the order data, key, IV and given
// back in that order. Borrowing stops at the first failure, which leaves the
// runtime's exception pending.
class BorrowedTexts {
 public:
  BorrowedTexts(JNIEnv* env, jstring key, jstring iv, jstring data)
      : env_(env), strings_{data, key, iv} {
    for (int i = 0; i < 3; ++i) {
      chars_[i] = env_->GetStringUTFChars(strings_[i], nullptr);
      if (chars_[i] == nullptr) return;
    }
  }
  ~BorrowedTexts() {
    for (int i = 0; i < 3; ++i) {
      if (chars_[i] != nullptr) env_->ReleaseStringUTFChars(strings_[i], chars_[i]);
    }
  }
  BorrowedTexts(const BorrowedTexts&) = delete;
  BorrowedTexts& operator=(const BorrowedTexts&) = delete;

  bool ok() const { return chars_[2] != nullptr; }
  const char* data() const { return chars_[0]; }
  const char* key() const { return chars_[1]; }
  const char* iv() const { return chars_[2]; }

 private:
  JNIEnv* env_;
  jstring strings_[3];
  const char* chars_[3] = {nullptr, nullptr, nullptr};
};

using EnvelopeCodec = bool (*)(const std::string&, const std::string&,
                               const std::string&, std::string&);
using TextCipher = char* (*)(const uint8_t*, const uint8_t*, const char*);

jstring run_envelope(JNIEnv* env, jstring key, jstring iv, jstring data,
                     EnvelopeCodec codec) {
  if (key == nullptr || iv == nullptr || data == nullptr) return nullptr;
  std::string out;
  {
    BorrowedTexts texts(env, key, iv, data);
    if (!texts.ok()) return nullptr;
    try {
      const std::string key_copy(texts.key()), iv_copy(texts.iv()),
          data_copy(texts.data());
      if (!codec(key_copy, iv_copy, data_copy, out)) return nullptr;
    } catch (const std::bad_alloc&) {
      return nullptr;
    }
  }
  return o0OoOOOO(env, out.c_str());
}

jstring run_text_cipher(JNIEnv* env, jstring key, jstring iv, jstring data,
                        TextCipher cipher) {
  if (key == nullptr || iv == nullptr || data == nullptr) return nullptr;
  char* result;
  {
    BorrowedTexts texts(env, key, iv, data);
    if (!texts.ok()) return nullptr;
    // The cipher reads 16 bytes of each; shorter texts would be overread.
    if (std::strlen(texts.key()) < kCipherKeyBytes ||
        std::strlen(texts.iv()) < kCipherKeyBytes) {
      return nullptr;
    }
    result = cipher(reinterpret_cast<const uint8_t*>(texts.key()),
                    reinterpret_cast<const uint8_t*>(texts.iv()), texts.data());
  }
  if (result == nullptr) return nullptr;
  jstring string = o0OoOOOO(env, result);
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
  return run_text_cipher(env, key, iv, data, ll11l1l1ll);
}

extern "C" jstring method04(JNIEnv* env, jobject, jstring key, jstring iv, jstring data) {
  return run_text_cipher(env, key, iv, data, ll11lll11l);
}
