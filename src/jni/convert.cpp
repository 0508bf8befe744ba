// Native text to Java objects. Every runtime call is checked: on failure the
// runtime's exception stays pending, local references are deleted, and the
// result is null.
#include <climits>
#include <cstring>

#include "local_ref.h"
#include "pelm/jni_bridge.h"

using pelm::jni::LocalRef;

namespace {

// A new byte[] with the text's bytes; null if it cannot be made.
jbyteArray new_byte_array(JNIEnv* env, const char* text) {
  const size_t length = std::strlen(text);
  if (length > static_cast<size_t>(INT_MAX)) return nullptr;  // not a jsize
  const jsize size = static_cast<jsize>(length);
  jbyteArray array = env->NewByteArray(size);
  if (array == nullptr) return nullptr;
  env->SetByteArrayRegion(array, 0, size, reinterpret_cast<const jbyte*>(text));
  return array;
}

}  // namespace

extern "C" jstring o0OoOOOO(JNIEnv* env, const char* text) {
  if (env == nullptr || text == nullptr) return nullptr;
  LocalRef<jclass> string_class(env, env->FindClass("java/lang/String"));
  if (!string_class) return nullptr;
  // String(byte[], String charsetName): the runtime decodes standard UTF-8.
  jmethodID constructor =
      env->GetMethodID(string_class.get(), "<init>", "([BLjava/lang/String;)V");
  if (constructor == nullptr) return nullptr;
  LocalRef<jstring> charset(env, env->NewStringUTF("utf-8"));
  if (!charset) return nullptr;
  LocalRef<jbyteArray> bytes(env, new_byte_array(env, text));
  if (!bytes) return nullptr;
  return static_cast<jstring>(
      env->NewObject(string_class.get(), constructor, bytes.get(), charset.get()));
}

extern "C" jbyteArray o000OO0O(JNIEnv* env, const char* text) {
  if (env == nullptr || text == nullptr) return nullptr;
  return new_byte_array(env, text);
}
